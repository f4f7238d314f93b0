#include "compare/import/source_load.h"

#include "compare/linetable/joining_thread.h"
#include "compare/linetable/line_table_impl.h"
#include "runtime/line_file.h"

#include <algorithm>
#include <limits>
#include <new>
#include <thread>
#include <vector>

namespace core {

namespace {

// Rows are handed to the table in runs of this many, so that the spans of a huge file never
// stand in memory beside its rows all at once.
constexpr std::size_t rows_per_append = std::size_t(1) << 16;
// Below this many bytes a second thread costs more than it saves.
constexpr std::size_t parallel_split = std::size_t(4) << 20;

// Makes room for the rows of the whole text at the rate of the first full run of lines, so
// that the rows are not moved (and their memory not faulted in anew) at every growth. Only a
// hint: without the memory the rows grow as they would have.
void reserve_for_rest(line_table& pane, const file_text& text, const span_vector& first)
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
    const char* data = text.block->data();
    // A large text is cut into lines in two parts at once: the part after a line end near the
    // middle on a second thread, into spans of its own, while this one fills the pane.
    std::size_t cut = text.end;
    if (text.end - text.begin >= parallel_split && std::thread::hardware_concurrency() > 1)
        cut = past_line_end(data, text.begin + (text.end - text.begin) / 2, text.end);
    span_vector tail;
    bool tail_failed = false;
    on_two_threads(
        cut < text.end,
        [&] {
            try {
                tail.reserve((text.end - cut) / 32);
                kept_lines rest(data, cut, text.end);
                rest.next(tail, std::numeric_limits<std::size_t>::max());
            } catch (const std::bad_alloc&) {
                tail_failed = true;
            }
        },
        [&] {
            kept_lines lines(data, text.begin, cut);
            span_vector spans;
            bool first = true;
            while (lines.next(spans, rows_per_append)) {
                if (first && spans.size() == rows_per_append)
                    reserve_for_rest(pane, text, spans);
                first = false;
                if (pane.append_lines(text.block, spans.data(), spans.size()) < 0)
                    break;
            }
        });
    if (tail_failed) {
        // What the second thread could not hold is cut here, in runs, as a small text is.
        kept_lines rest(data, cut, text.end);
        span_vector spans;
        while (pane.rowcount() >= 0 && rest.next(spans, rows_per_append))
            pane.append_lines(text.block, spans.data(), spans.size());
    } else {
        for (std::size_t i = 0; i < tail.size() && pane.rowcount() >= 0; i += rows_per_append)
            pane.append_lines(text.block, tail.data() + i, std::min(rows_per_append, tail.size() - i));
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
