#include "compare/output/table_writers.h"

#include "compare/output/piece_writer.h"
#include "runtime/core/utf8.h"

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

// Rows that are not all there are never written: the file would pass for the whole list.
result not_whole_list()
{
    return {fault::write_failed, "the list is not complete"};
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
    // Bytes that could not be read are saved as the U+FFFD they show as.
    const bool escapes = rows.holds_escapes();
    return write_pieces(rows.count(), out, [&] {
        return [&, tail = row_tail(), text = std::vector<std::string_view>(), text2 = std::vector<std::string_view>()](
                   long first, long last, byte_piece& piece) mutable {
            const auto n = static_cast<std::size_t>(last - first + 1);
            text.resize(n);
            text2.resize(n);
            rows.cells(first, static_cast<long>(n), text.data(), text2.data());
            for (std::size_t i = 0; i < n; ++i) {
                if (i + fetch_ahead < n)
                    fetch_text(text[i + fetch_ahead]);
                if (escapes && holds_byte_escapes(text[i]))
                    put_text(piece, shown(text[i]));
                else
                    put_text(piece, text[i]);
                piece += tail.of(text2[i], make_tail);
            }
        };
    });
}

// A line never holds a line end, but a source's path may hold a line end or a tab, which would
// break its row in two or move its columns. Such a source, or one that begins with a quote, is
// written in quotes with C's escapes (\t, \n, \r, \\ and \"), so that every row is one line,
// and the text after its last tab reads back as the source. Every other source is written as
// it is: a path of backslashes stays as the user knows it.
void put_text_source(std::string& out, std::string_view source)
{
    if (source.find_first_of("\t\n\r") == std::string_view::npos && (source.empty() || source.front() != '"')) {
        out += source;
        return;
    }
    out += '"';
    for (const char c : source) {
        switch (c) {
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\\':
        case '"':
            out += '\\';
            out += c;
            break;
        default:
            out += c;
        }
    }
    out += '"';
}

result write_text(const row_source& rows, std::ostream& out)
{
    if (rows.failed())
        return not_whole_list();
    return write_rows(
        rows, out, [](byte_piece& piece, std::string_view text) { piece += text; },
        [](std::string& t, std::string_view source) {
            t += '\t';
            put_text_source(t, source);
            t += '\n';
        });
}

result write_csv(const row_source& rows, std::ostream& out)
{
    if (rows.failed())
        return not_whole_list();
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
    if (rows.failed())
        return not_whole_list();
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
    if (result written = write_pieces(rows.count(), out,
            [&rows] {
                return [&rows](long first, long last, byte_piece& piece) {
                    for (long row = first; row <= last; ++row) {
                        piece += std::string_view("<tr><td>");
                        if (const std::string_view text = rows.es_text(row); holds_byte_escapes(text))
                            put_html_text(piece, shown(text));
                        else
                            put_html_text(piece, text);
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

} // namespace core
