// TEMPORARY STUB — replaced by the real implementation.
#include "compare/linetable/line_table.h"
namespace core {
struct line_table::impl {};
bool column_from_name(std::string_view, column&) { return false; }
line_table::line_table() : d_(std::make_unique<impl>()) {}
line_table::~line_table() = default;
long line_table::reset() { return 1; }
long line_table::insertrow(long) { return -1; }
long line_table::rowcount() const { return 0; }
std::string_view line_table::get(column, long) const { return {}; }
long line_table::set(column, long, std::string_view) { return -1; }
long line_table::setsort(std::string_view) { return -1; }
long line_table::sort() { return -1; }
long line_table::rowscopy(long, long, line_table&, long) const { return -1; }
long line_table::append_lines(std::shared_ptr<const text_block>, const line_span*, std::size_t) { return -1; }
void line_table::set_row_limit(long) {}
long line_table::row_limit() { return 0; }
line_table::batch::batch(line_table& t) : t_(t) {}
line_table::batch::~batch() {}
}
