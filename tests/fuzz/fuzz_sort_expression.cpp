// Fuzzes the sort expression of a line table. An input is an expression, a newline, then rows
// of "es_text<TAB>es_text2" one a line. The expression must be accepted exactly when it has the
// form "column direction[, column direction...]", and a sort must then leave the rows in the
// stable order that the terms ask for; a refused expression must leave the earlier one in force.

#include "compare/linetable/line_table.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_sort_expression: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what)
{
    if (!ok)
        fail(what);
}

struct term {
    bool second; // es_text2 rather than es_text
    bool ascending;
};

struct row {
    std::string text, text2;
};

bool take(std::string_view& s, std::string_view prefix)
{
    if (s.substr(0, prefix.size()) != prefix)
        return false;
    s.remove_prefix(prefix.size());
    return true;
}

// The grammar read left to right, one token at a time.
bool reference_parse(std::string_view e, std::vector<term>& out)
{
    for (;;) {
        term t {};
        if (take(e, "es_text2 "))
            t.second = true;
        else if (!take(e, "es_text "))
            return false;
        if (e.empty() || std::string_view("AaDd").find(e[0]) == std::string_view::npos)
            return false;
        t.ascending = e[0] == 'A' || e[0] == 'a';
        e.remove_prefix(1);
        out.push_back(t);
        if (e.empty())
            return true;
        if (!take(e, ", "))
            return false;
    }
}

// Code-point order of UTF-8 is the order of the bytes taken as unsigned.
int compare_bytes(const std::string& a, const std::string& b)
{
    const int c = a.compare(b);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

std::vector<row> reference_sort(std::vector<row> rows, const std::vector<term>& terms)
{
    std::stable_sort(rows.begin(), rows.end(), [&](const row& a, const row& b) {
        for (const term& t : terms) {
            const int c = t.second ? compare_bytes(a.text2, b.text2) : compare_bytes(a.text, b.text);
            if (c != 0)
                return t.ascending ? c < 0 : c > 0;
        }
        return false;
    });
    return rows;
}

void fill(core::line_table& table, const std::vector<row>& rows)
{
    table.reset();
    for (const row& r : rows) {
        const long at = table.insertrow(0);
        check(at == table.rowcount(), "insertrow did not append");
        check(table.set(core::column::es_text, at, r.text) == 1, "set es_text failed");
        check(table.set(core::column::es_text2, at, r.text2) == 1, "set es_text2 failed");
    }
}

void check_rows(const core::line_table& table, const std::vector<row>& expected, const char* what)
{
    check(table.rowcount() == static_cast<long>(expected.size()), what);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const long r = static_cast<long>(i + 1);
        check(table.get(core::column::es_text, r) == expected[i].text, what);
        check(table.get(core::column::es_text2, r) == expected[i].text2, what);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t nl = input.find('\n');
    const std::string_view expression = input.substr(0, nl);

    std::vector<row> rows;
    if (nl != std::string_view::npos) {
        std::string_view rest = input.substr(nl + 1);
        while (!rest.empty() && rows.size() < 64) {
            const std::string_view line = rest.substr(0, rest.find('\n'));
            rest.remove_prefix(std::min(rest.size(), line.size() + 1));
            const std::size_t tab = line.find('\t');
            row r;
            r.text = std::string(line.substr(0, tab));
            if (tab != std::string_view::npos)
                r.text2 = std::string(line.substr(tab + 1));
            rows.push_back(std::move(r));
        }
    }

    core::line_table table;
    fill(table, rows);
    check(table.sort() == -1, "sort without an expression did not fail");

    std::vector<term> terms;
    const bool parses = reference_parse(expression, terms);
    const long set = table.setsort(expression);
    check(set == 1 || set == -1, "setsort gave neither 1 nor -1");
    check((set == 1) == parses, "setsort disagrees with the grammar");
    if (set == 1) {
        check(table.sort() == 1, "sort by an accepted expression failed");
        check_rows(table, reference_sort(rows, terms), "rows not in the order of the expression");
    }

    // A refused expression leaves the one before it in force.
    fill(table, rows);
    check(table.setsort("es_text D") == 1, "a plain expression was refused");
    if (!parses) {
        check(table.setsort(expression) == -1, "a refused expression was accepted on the second try");
        check(table.sort() == 1, "sort after a refused expression failed");
        check_rows(table, reference_sort(rows, {{false, false}}), "a refused expression changed the order");
    }
    return 0;
}
