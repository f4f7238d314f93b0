#include "compare/import/source_load.h"

#include "compare/linetable/line_table_impl.h"
#include "runtime/line_file.h"

#include <new>
#include <vector>

namespace core {

namespace {

// Rows are handed to the table in runs of this many, so that the spans of a huge file never
// stand in memory beside its rows all at once.
constexpr std::size_t rows_per_append = std::size_t(1) << 18;

// Makes room for the rows of the whole text at the rate of the first full run of lines, so
// that the rows are not moved (and their memory not faulted in anew) at every growth. Only a
// hint: without the memory the rows grow as they would have.
void reserve_for_rest(line_table& pane, const file_text& text, const std::vector<line_span>& first)
{
    line_table::impl& d = line_table_access::of(pane);
    const std::size_t covered = first.back().offset + first.back().size - text.begin;
    const std::size_t total = text.end - text.begin;
    if (covered == 0 || covered >= total)
        return;
    const double rate = static_cast<double>(first.size()) / static_cast<double>(covered);
    const auto guess = static_cast<std::size_t>(rate * static_cast<double>(total) * 1.02) + 1024;
    try {
        d.rows.reserve(d.rows.size() + std::min(guess, d.room_left()));
    } catch (const std::bad_alloc&) {
    }
}

// Gives back room that a guess left unused well beyond what the growth of the rows allows.
void trim_rows(line_table& pane)
{
    line_table::impl& d = line_table_access::of(pane);
    if (d.rows.capacity() - d.rows.size() <= d.rows.size() / 2)
        return;
    try {
        d.rows.shrink_to_fit();
    } catch (const std::bad_alloc&) {
    }
}

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
    bool first = true;
    while (lines.next(spans, rows_per_append)) {
        if (first && spans.size() == rows_per_append)
            reserve_for_rest(pane, text, spans);
        first = false;
        if (pane.append_lines(text.block, spans.data(), spans.size()) < 0)
            break;
    }
    trim_rows(pane);
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
