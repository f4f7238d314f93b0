#include "compare/linetable/line_table_impl.h"

namespace core {
namespace detail {

bool parse_sort(std::string_view expression, std::vector<sort_term>& out)
{
    std::vector<sort_term> terms;
    std::string_view rest = expression;
    for (;;) {
        const std::size_t comma = rest.find(", ");
        const std::string_view term = rest.substr(0, comma);
        const std::size_t blank = term.rfind(' ');
        if (blank == std::string_view::npos || blank + 2 != term.size())
            return false;
        sort_term t {};
        if (!column_from_name(term.substr(0, blank), t.col))
            return false;
        switch (term[blank + 1]) {
        case 'A':
        case 'a':
            t.ascending = true;
            break;
        case 'D':
        case 'd':
            t.ascending = false;
            break;
        default:
            return false;
        }
        terms.push_back(t);
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 2);
    }
    out = std::move(terms);
    return true;
}

} // namespace detail
} // namespace core
