#include "compare/output/table_writers.h"

#include "compare/output/piece_writer.h"
#include "compare/output/xlsx_readback.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace core {

namespace {

template <class Out> void put(Out& out, std::string_view s)
{
    out += s;
}

// The rows of a combined list point all over the loaded files; asking for the texts of a row some
// way ahead lets the memory fetch them while the rows before it are written.
constexpr long fetch_ahead = 64;

void fetch_text(std::string_view text)
{
    if (!text.empty()) {
        __builtin_prefetch(text.data());
        __builtin_prefetch(text.data() + text.size() - 1);
    }
}

// True when a byte of `field` is a comma, a quote, a CR or a LF. Lines run to hundreds of
// megabytes in all, so sixteen bytes are looked at in one step where the processor can.
bool csv_needs_quotes(std::string_view field)
{
    const char* p = field.data();
    const char* const end = p + field.size();
#if defined(__SSE2__)
    if (field.size() >= 16) {
        const __m128i comma = _mm_set1_epi8(','), quote = _mm_set1_epi8('"'), cr = _mm_set1_epi8('\r'),
                      lf = _mm_set1_epi8('\n');
        const auto hit = [&](const char* at) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
            return _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, comma), _mm_cmpeq_epi8(v, quote)),
                       _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))))
                != 0;
        };
        for (; end - p > 16; p += 16)
            if (hit(p))
                return true;
        return hit(end - 16); // the last sixteen bytes, some looked at before
    }
#endif
    for (; p < end; ++p)
        if (*p == ',' || *p == '"' || *p == '\r' || *p == '\n')
            return true;
    return false;
}

// Appends the field quoted, its quotes doubled.
template <class Out> void put_quoted_csv_field(Out& out, std::string_view field)
{
    out += '"';
    for (std::size_t start = 0;;) {
        const std::size_t quote = field.find('"', start);
        if (quote == std::string_view::npos) {
            put(out, field.substr(start));
            break;
        }
        put(out, field.substr(start, quote + 1 - start));
        out += '"';
        start = quote + 1;
    }
    out += '"';
}

template <class Out> void put_csv_field(Out& out, std::string_view field)
{
    if (csv_needs_quotes(field))
        put_quoted_csv_field(out, field);
    else
        put(out, field);
}

// Markup characters become references; C0 controls other than tab, LF and CR have no place in
// an HTML document, not even as references, so they show as the replacement character.
template <class Out> void put_html_text(Out& out, std::string_view text)
{
    std::size_t plain = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const char* replacement = nullptr;
        switch (c) {
        case '&':
            replacement = "&amp;";
            break;
        case '<':
            replacement = "&lt;";
            break;
        case '>':
            replacement = "&gt;";
            break;
        case '"':
            replacement = "&quot;";
            break;
        case '\'':
            replacement = "&#39;";
            break;
        default:
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
                replacement = "\xEF\xBF\xBD";
            else if (c == 0x7F)
                replacement = "\xEF\xBF\xBD";
        }
        if (!replacement)
            continue;
        put(out, text.substr(plain, i - plain));
        out += std::string_view(replacement);
        plain = i + 1;
    }
    put(out, text.substr(plain));
}

bool is_hex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The controls a workbook cannot hold as they are: all of C0 but tab and line feed.
bool sheet_control(unsigned char c)
{
    return c < 0x20 && c != '\t' && c != '\n';
}

// A text as a workbook cell holds it. A workbook reads "_xHHHH_" as an escaped character: each
// control goes in as one ("_x0000_" for a NUL, which would otherwise end the text handed to the
// workbook library), and letters that would read as one, with the underscore that closes them
// either their own or the start of a control's escape, keep their opening underscore as
// "_x005F_". One pass, so that no escape it makes is read into another.
void put_sheet_text(std::string& out, std::string_view text)
{
    static const char digits[] = "0123456789ABCDEF";
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (sheet_control(c)) {
            out += "_x00";
            out += digits[c >> 4];
            out += digits[c & 15];
            out += '_';
        } else if (c == '_' && i + 6 < text.size() && text[i + 1] == 'x' && is_hex(text[i + 2]) && is_hex(text[i + 3])
            && is_hex(text[i + 4]) && is_hex(text[i + 5])
            && (text[i + 6] == '_' || sheet_control(static_cast<unsigned char>(text[i + 6])))) {
            out += "_x005F_";
        } else {
            out += static_cast<char>(c);
        }
    }
}

} // namespace

// What follows a row's text: the separator, its source as the type writes it and the line end.
// The source column holds the same few paths over and over, and the rows do not change while
// they are written, so a source at the same place as the row before's has the same tail.
class row_tail {
public:
    template <class Make> const std::string& of(std::string_view source, Make make)
    {
        if (!made_ || ((source.data() != seen_.data() || source.size() != seen_.size()) && source != source_)) {
            made_ = true;
            source_.assign(source);
            tail_.clear();
            make(tail_, source);
        }
        seen_ = source;
        return tail_;
    }

private:
    std::string_view seen_;
    std::string source_;
    std::string tail_;
    bool made_ = false;
};

// Writes each row as its text (put by `put_text`) and then its tail (made by `make_tail` once per
// source: the separator, the source, the line end).
template <class PutText, class MakeTail>
result write_rows(const row_source& rows, std::ostream& out, PutText put_text, MakeTail make_tail)
{
    return write_pieces(
        rows.count(), out,
        [&] {
            return [&, tail = row_tail(), text = std::vector<std::string_view>(),
                       text2 = std::vector<std::string_view>()](long first, long last, byte_piece& piece) mutable {
                const auto n = static_cast<std::size_t>(last - first + 1);
                text.resize(n);
                text2.resize(n);
                rows.cells(first, static_cast<long>(n), text.data(), text2.data());
                for (std::size_t i = 0; i < n; ++i) {
                    if (i + fetch_ahead < n)
                        fetch_text(text[i + fetch_ahead]);
                    put_text(piece, text[i]);
                    piece += tail.of(text2[i], make_tail);
                }
            };
        });
}

result write_text(const row_source& rows, std::ostream& out)
{
    return write_rows(
        rows, out, [](byte_piece& piece, std::string_view text) { piece += text; },
        [](std::string& t, std::string_view source) {
            t += '\t';
            t += source;
            t += '\n';
        });
}

result write_csv(const row_source& rows, std::ostream& out)
{
    out << "\xEF\xBB\xBF";
    return write_rows(
        rows, out, [](byte_piece& piece, std::string_view text) { put_csv_field(piece, text); },
        [](std::string& t, std::string_view source) {
            t += ',';
            put_csv_field(t, source);
            t += "\r\n";
        });
}

result write_html(const row_source& rows, std::ostream& out, std::string_view title)
{
    std::string head = "<!DOCTYPE html>\n"
                       "<html>\n"
                       "<head>\n"
                       "<meta charset=\"utf-8\">\n"
                       "<title>";
    put_html_text(head, title);
    head += "</title>\n"
            "<style>\n"
            "table { border-collapse: collapse; font-family: sans-serif; font-size: 10pt; }\n"
            "td { border: 1px solid #c0c0c0; padding: 1px 6px; white-space: pre; vertical-align: top; }\n"
            "</style>\n"
            "</head>\n"
            "<body>\n"
            "<table>\n"
            "<tbody>\n";
    out << head;
    if (result written = write_pieces(
            rows.count(), out,
            [&rows] {
                return [&rows](long first, long last, byte_piece& piece) {
                    for (long row = first; row <= last; ++row) {
                        piece += std::string_view("<tr><td>");
                        put_html_text(piece, rows.es_text(row));
                        piece += std::string_view("</td><td>");
                        put_html_text(piece, rows.es_text2(row));
                        piece += std::string_view("</td></tr>\n");
                    }
                };
            });
        !written)
        return written;
    out << "</tbody>\n"
           "</table>\n"
           "</body>\n"
           "</html>\n";
    out.flush();
    if (out)
        return {};
    return {fault::write_failed, "the data could not be written"};
}

namespace {

// A workbook being written. close() writes it out and frees it; one that is given up on is
// closed when it goes.
class workbook {
public:
    workbook(const std::string& path, lxw_workbook_options& options) noexcept
        : book_(workbook_new_opt(path.c_str(), &options))
    {
    }
    ~workbook() { close(); }
    workbook(const workbook&) = delete;
    workbook& operator=(const workbook&) = delete;
    workbook(workbook&& other) noexcept
        : book_(std::exchange(other.book_, nullptr))
    {
    }
    workbook& operator=(workbook&& other) noexcept
    {
        std::swap(book_, other.book_);
        return *this;
    }

    // Null when the workbook could not be created, and once it is closed.
    lxw_workbook* get() const noexcept { return book_; }

    // What writing the workbook out reported; closing a closed workbook does nothing.
    lxw_error close() noexcept { return book_ ? workbook_close(std::exchange(book_, nullptr)) : LXW_NO_ERROR; }

private:
    lxw_workbook* book_;
};

} // namespace

result write_xlsx(const row_source& rows, const std::string& path, const std::string& temp_dir, long sheet_rows)
{
    const long n = rows.count();
    sheet_rows = sheet_rows > 0 ? sheet_rows : xlsx_row_max;
    const long sheets = n > sheet_rows ? (n + sheet_rows - 1) / sheet_rows : 1;

    lxw_workbook_options options {};
    // Rows go out to disk as they are written, so a long list needs no more memory than a short one.
    options.constant_memory = LXW_TRUE;
    options.tmpdir = temp_dir.empty() ? nullptr : const_cast<char*>(temp_dir.c_str());
    options.use_zip64 = LXW_TRUE;
    workbook book(path, options);
    if (!book.get())
        return {fault::write_failed, "the workbook could not be created"};

    std::string cell;
    lxw_error failed = LXW_NO_ERROR;
    long failed_row = 0;
    std::vector<long> written(static_cast<std::size_t>(sheets), 0); // a row with no text is not written at all
    for (long s = 0; s < sheets && failed == LXW_NO_ERROR; ++s) {
        const long first = s * sheet_rows + 1;
        const long last = std::min(n, first + sheet_rows - 1);
        const std::string name
            = sheets > 1 ? "Rows " + std::to_string(first) + " to " + std::to_string(last) : std::string();
        lxw_worksheet* sheet = workbook_add_worksheet(book.get(), sheets > 1 ? name.c_str() : nullptr);
        if (!sheet)
            return {fault::write_failed, "the workbook could not be created"};
        for (long row = first; row <= last && failed == LXW_NO_ERROR; ++row) {
            const std::string_view texts[2] = {rows.es_text(row), rows.es_text2(row)};
            if (!texts[0].empty() || !texts[1].empty())
                ++written[static_cast<std::size_t>(s)];
            for (lxw_col_t col = 0; col < 2 && failed == LXW_NO_ERROR; ++col) {
                if (texts[col].empty())
                    continue;
                put_sheet_text(cell, texts[col]);
                // A string cell is always text: the sheet never reads it as a formula or a number.
                failed = worksheet_write_string(sheet, static_cast<lxw_row_t>(row - first), col, cell.c_str(), nullptr);
                failed_row = row;
            }
        }
        // The library opens a working file for each sheet and closes it only when it copies the
        // sheet's rows out of it; a sheet that got no cell would keep its file open for good, a
        // descriptor lost with every such save. Nothing was written to it, so it goes now.
        if (written[static_cast<std::size_t>(s)] == 0 && sheet->optimize_tmpfile) {
            std::fclose(sheet->optimize_tmpfile);
            sheet->optimize_tmpfile = nullptr;
        }
    }
    const lxw_error closed = book.close();
    if (failed != LXW_NO_ERROR)
        return {fault::write_failed, "row " + std::to_string(failed_row) + ": " + lxw_strerror(failed)};
    if (closed != LXW_NO_ERROR)
        return {fault::write_failed, lxw_strerror(closed)};
    return xlsx_sheets_are_whole(path, written);
}

} // namespace core
