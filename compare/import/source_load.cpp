#include "compare/import/source_load.h"

#include "runtime/core/line_file.h"
#include "runtime/core/thread_pool.h"
#include "runtime/core/work_gauge.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

namespace core {

namespace {

// Rows are handed to the table in runs of this many, so that the spans of a huge file never
// stand in memory beside its rows all at once.
constexpr std::size_t rows_per_append = std::size_t(1) << 16;
// Below this many bytes a second thread costs more than it saves.
constexpr std::size_t parallel_split = std::size_t(4) << 20;
constexpr std::size_t no_limit = std::numeric_limits<std::size_t>::max();

// How many lines `bytes` bytes of text hold, going by the first `counted` of them, which took
// `covered` bytes: a little more than the rate promises, so that the guess is rarely short.
std::size_t lines_expected(std::size_t counted, std::size_t covered, std::size_t bytes)
{
    if (covered == 0)
        return counted;
    const double rate = static_cast<double>(counted) / static_cast<double>(covered);
    return static_cast<std::size_t>(rate * static_cast<double>(bytes) * 1.02) + 1024;
}

// Makes room for the rows of the whole text at the rate of the first full run of lines, so
// that the rows are not moved (and their memory not faulted in anew) at every growth.
void reserve_for_rest(line_table& pane, const file_text& text, const span_vector& first)
{
    const std::size_t covered = first.back().offset + first.back().size - text.begin;
    if (covered < text.end - text.begin)
        pane.reserve_rows(lines_expected(first.size(), covered, text.end - text.begin));
}

// Where the text between `text.begin` and `text.end` is cut in two parts, to be cut into lines
// at once: past a line end near its middle, or `text.end` when one thread does it all.
std::size_t second_part(const file_text& text)
{
    const char* data = text.block->data();
    if (!second_thread_pays(text.end - text.begin, parallel_split))
        return text.end;
    return past_line_end(data, text.begin + (text.end - text.begin) / 2, text.end);
}

// Appends the kept lines of the text to the pane in file order; without memory for them, the
// pane keeps the rows that went in and fails.
void fill_in_file_order(const file_text& text, line_table& pane)
{
    const char* data = text.block->data();
    // A large text is cut into lines in two parts at once: the part after a line end near the
    // middle on a second thread, into spans of its own, while this one fills the pane.
    const std::size_t cut = second_part(text);
    span_vector tail;
    bool tail_failed = false;
    try {
        on_two_threads(
            cut < text.end,
            [&] {
                try {
                    // Cut into spans of this thread's own frame, for the reason cut_short gives.
                    span_vector mine;
                    mine.reserve((text.end - cut) / 32);
                    kept_lines rest(data, cut, text.end);
                    rest.next(mine, no_limit);
                    tail = std::move(mine);
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
    } catch (const std::bad_alloc&) {
        // The pane could not hold what it was given: it keeps the rows it has and reports the
        // failure by its row count, as the row limit does.
        pane.mark_failed();
    }
    pane.trim_rows();
}

// The short spans of the kept lines of data[begin, end), with room made for `whole` bytes' worth
// of them at the rate of the first lines. The spans grow in a vector of the calling thread's own
// frame: the two threads of a load each write their vector's end at every line, and two vectors
// side by side in one frame shared a cache line, which made the cutting up to three times slower.
short_span_vector cut_short(const char* data, std::size_t begin, std::size_t end, std::size_t whole)
{
    short_span_vector out;
    kept_lines lines(data, begin, end);
    if (!lines.append(out, rows_per_append) || out.size() < rows_per_append)
        return out;
    const std::size_t covered = out.back().offset + out.back().size - begin;
    try {
        out.reserve(lines_expected(out.size(), covered, whole));
    } catch (const std::bad_alloc&) {
        // The spans grow as they come.
    }
    lines.append(out, no_limit);
    return out;
}

// Fills the empty pane with the kept lines of the text in ascending text order, sorted straight
// from their spans: the unsorted rows, the largest temporary array of a load, are never made.
// The result is that of fill_in_file_order and a stable sort "es_text A". False, with the pane
// untouched, where this road is closed: a text of 4 GB or more, a pane with rows, more lines
// than a table may hold, or too little memory; the file-order road then decides.
bool fill_sorted(const file_text& text, line_table& pane)
{
    if (text.end > std::numeric_limits<std::uint32_t>::max() || pane.rowcount() != 0)
        return false;
    const char* data = text.block->data();
    const std::size_t cut = second_part(text);
    // Each part's spans stay where its thread cut them; the sort reads the two as one.
    short_span_vector spans, tail;
    bool head_failed = false, tail_failed = false;
    on_two_threads(
        cut < text.end,
        [&] {
            try {
                tail = cut_short(data, cut, text.end, text.end - cut);
            } catch (const std::bad_alloc&) {
                tail_failed = true;
            }
        },
        [&] {
            try {
                spans = cut_short(data, text.begin, cut, cut - text.begin);
            } catch (const std::bad_alloc&) {
                head_failed = true;
            }
        });
    work::begin_stage(1, spans.size() + tail.size());
    return !head_failed && !tail_failed
        && pane.fill_sorted(text.block, spans.data(), spans.size(), tail.data(), tail.size());
}

// Opens nothing: reads the open `file` into `text`. Whether it read every byte shows in `read`;
// false only when there is nothing to read.
bool read_whole(line_file& file, file_text& text, result& read)
{
    if (!file.is_open()) {
        read = {fault::open_failed, "Bad file descriptor"};
        return false;
    }
    read = file.read_text(text);
    return true;
}

// Whatever step of a load ran out of memory, the rows that went in stay and the pane fails.
void out_of_memory(line_table& pane, result& loaded) noexcept
{
    pane.mark_failed();
    if (!loaded)
        return;
    try {
        loaded = {fault::table_failed, "There is not enough memory for the file's lines"};
    } catch (const std::bad_alloc&) {
        loaded = {fault::table_failed, std::string()};
    }
}

void note_table_failure(const line_table& pane, result& loaded)
{
    if (pane.rowcount() < 0 && loaded)
        loaded = {fault::table_failed, "The table cannot hold the file's lines"};
}

// Reads the open file whole and fills the pane from its text by `fill`; what went wrong, if
// anything, as read_source tells it.
template <class Fill> result read_into(line_file& file, line_table& pane, Fill fill)
{
    result loaded;
    try {
        file_text text;
        if (!read_whole(file, text, loaded))
            return loaded;
        fill(text);
        note_table_failure(pane, loaded);
    } catch (const std::bad_alloc&) {
        out_of_memory(pane, loaded);
    }
    return loaded;
}

} // namespace

result read_source(line_file& file, line_table& pane)
{
    return read_into(file, pane, [&pane](const file_text& text) { fill_in_file_order(text, pane); });
}

result read_sorted_source(line_file& file, line_table& pane)
{
    return read_into(file, pane, [&pane](const file_text& text) {
        if (fill_sorted(text, pane))
            return;
        fill_in_file_order(text, pane);
        // Rows without the memory to sort them stay as read, and the pane fails.
        if (pane.rowcount() >= 0 && (pane.setsort("es_text A") < 0 || pane.sort() < 0))
            pane.mark_failed();
    });
}

result load_source(const std::string& host_path, line_table& pane)
{
    line_table::batch changes(pane);
    line_file file;
    const result opened = file.open(host_path);
    pane.reset();
    if (!opened)
        return opened;
    return read_sorted_source(file, pane);
}

} // namespace core
