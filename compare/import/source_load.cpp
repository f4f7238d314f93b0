#include "compare/import/source_load.h"

#include "runtime/line_file.h"

#include <vector>

namespace core {

namespace {

// Rows are handed to the table in runs of this many, so that the spans of a huge file never
// stand in memory beside its rows all at once.
constexpr std::size_t rows_per_append = std::size_t(1) << 18;

} // namespace

load_result read_source(line_file& file, line_table& pane)
{
    load_result result;
    if (!file.is_open()) {
        result.error = load_error::open_failed;
        result.reason = file.error();
        return result;
    }
    file_text text;
    if (!file.read_text(text)) {
        result.error = load_error::read_failed;
        result.reason = file.error();
    }
    kept_lines lines(text.block->data(), text.begin, text.end);
    std::vector<line_span> spans;
    while (lines.next(spans, rows_per_append)) {
        if (pane.append_lines(text.block, spans.data(), spans.size()) < 0)
            break;
    }
    if (pane.rowcount() < 0 && result.error == load_error::none) {
        result.error = load_error::table_failed;
        result.reason = "The table cannot hold the file's lines";
    }
    return result;
}

load_result load_source(const std::string& host_path, line_table& pane)
{
    line_table::batch changes(pane);
    line_file file;
    file.open(host_path);
    pane.reset();
    load_result result = read_source(file, pane);
    if (pane.rowcount() >= 0) {
        pane.setsort("es_text A");
        pane.sort();
    }
    return result;
}

} // namespace core
