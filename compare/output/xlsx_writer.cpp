// The workbook type: the sheets' XML is made and deflated a piece at a time on two threads, and
// the archive is read back from the file before the save counts as done.

#include "compare/output/piece_writer.h"
#include "compare/output/table_writers.h"
#include "compare/output/xlsx_readback.h"
#include "compare/output/zip_archive.h"
#include "runtime/core/utf8.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace core {

namespace {

constexpr std::string_view xml_declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr std::string_view main_ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view relationships_ns = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
// Most second texts are the paths of the two sources, over and over: they go into the
// workbook's table of shared texts once each, unless there are more of them than this.
constexpr std::size_t most_shared = 1 << 16;
constexpr std::size_t fetch_ahead = 64;

bool is_hex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The length of the well-formed UTF-8 character at text[i], a byte of 0x80 or above; 0 when
// the bytes there are not one.
std::size_t utf8_length(std::string_view text, std::size_t i)
{
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const std::size_t left = text.size() - i;
    const unsigned char c = b(0);
    const auto tail = [&](std::size_t k) { return k < left && (b(k) & 0xC0) == 0x80; };
    if (c >= 0xC2 && c <= 0xDF)
        return tail(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (!tail(1) || !tail(2) || (c == 0xE0 && b(1) < 0xA0) || (c == 0xED && b(1) > 0x9F))
            return 0;
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (!tail(1) || !tail(2) || !tail(3) || (c == 0xF0 && b(1) < 0x90) || (c == 0xF4 && b(1) > 0x8F))
            return 0;
        return 4;
    }
    return 0;
}

// U+FFFE and U+FFFF are characters, but not ones XML lets a document hold.
bool xml_noncharacter(std::string_view text, std::size_t i)
{
    return static_cast<unsigned char>(text[i]) == 0xEF && static_cast<unsigned char>(text[i + 1]) == 0xBF
        && (static_cast<unsigned char>(text[i + 2]) & 0xFE) == 0xBE;
}

// The controls a cell cannot hold as they are: all of C0 but tab and line feed.
bool sheet_control(unsigned char c)
{
    return c < 0x20 && c != '\t' && c != '\n';
}

// Whether the text at i goes into the sheet as an escape, which begins with an underscore.
bool escapes_at(std::string_view text, std::size_t i)
{
    const auto c = static_cast<unsigned char>(text[i]);
    return sheet_control(c) || (c >= 0x80 && utf8_length(text, i) == 3 && xml_noncharacter(text, i));
}

// Whether "_xHHHH" stands at i and would read as an escape: its underscore closes it, or the
// escape of what follows does.
bool reads_as_escape(std::string_view text, std::size_t i)
{
    if (i + 6 >= text.size() || text[i + 1] != 'x')
        return false;
    for (std::size_t k = 2; k < 6; ++k)
        if (!is_hex(text[i + k]))
            return false;
    return text[i + 6] == '_' || escapes_at(text, i + 6);
}

// Whether the byte asks for more than a copy in a sheet's text.
constexpr bool needs_care(unsigned char c)
{
    return c < 0x20 || c >= 0x80 || c == '&' || c == '<' || c == '>' || c == '_';
}

// How far from `i` the bytes need no care.
std::size_t plain_run(std::string_view text, std::size_t i)
{
    const char* p = text.data() + i;
    const char* const end = text.data() + text.size();
#if defined(__SSE2__)
    const __m128i amp = _mm_set1_epi8('&'), lt = _mm_set1_epi8('<'), gt = _mm_set1_epi8('>'),
                  under = _mm_set1_epi8('_'), space = _mm_set1_epi8(0x20);
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        // Bytes below 0x20 or from 0x80 on, which are below 0x20 as signed bytes.
        const __m128i odd = _mm_cmplt_epi8(v, space);
        const __m128i hit = _mm_or_si128(_mm_or_si128(odd, _mm_cmpeq_epi8(v, amp)),
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, lt), _mm_cmpeq_epi8(v, gt)), _mm_cmpeq_epi8(v, under)));
        if (const int mask = _mm_movemask_epi8(hit))
            return static_cast<std::size_t>(p - (text.data() + i)) + static_cast<std::size_t>(__builtin_ctz(mask));
    }
#endif
    while (p < end && !needs_care(static_cast<unsigned char>(*p)))
        ++p;
    return static_cast<std::size_t>(p - (text.data() + i));
}

// A text as a cell holds it: markup characters as references; a control, U+FFFE and U+FFFF as
// "_xHHHH_", which a spreadsheet reads back as the character; letters that would read as such
// an escape keep their underscore as "_x005F_"; bytes that are no UTF-8 as U+FFFD. One pass,
// so that no escape it makes is read into another.
void put_sheet_text(byte_piece& out, std::string_view text)
{
    static const char digits[] = "0123456789ABCDEF";
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t run = plain_run(text, i);
        out += text.substr(i, run);
        i += run;
        if (i == text.size())
            break;
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '&') {
            out += std::string_view("&amp;");
        } else if (c == '<') {
            out += std::string_view("&lt;");
        } else if (c == '>') {
            out += std::string_view("&gt;");
        } else if (c == '_') {
            out += reads_as_escape(text, i) ? std::string_view("_x005F_") : std::string_view("_");
        } else if (c < 0x80) {
            if (sheet_control(c)) {
                const char escape[] = {'_', 'x', '0', '0', digits[c >> 4], digits[c & 15], '_'};
                out += std::string_view(escape, sizeof escape);
            } else {
                out += static_cast<char>(c); // tab, line feed
            }
        } else if (text[i] == byte_escape_mark) {
            // A stretch of bytes that could not be read, as it shows.
            out += std::string_view("\xEF\xBF\xBD");
            i = past_escapes(text, i);
            continue;
        } else {
            const std::size_t n = utf8_length(text, i);
            if (n == 0) {
                out += std::string_view("\xEF\xBF\xBD");
                ++i;
                continue;
            }
            if (n == 3 && xml_noncharacter(text, i))
                out += (static_cast<unsigned char>(text[i + 2]) == 0xBE) ? std::string_view("_xFFFE_")
                                                                         : std::string_view("_xFFFF_");
            else
                out += text.substr(i, n);
            i += n;
            continue;
        }
        ++i;
    }
}

// The length of a text as a spreadsheet counts it, in UTF-16 units, each byte that is no UTF-8
// counting as the U+FFFD it becomes.
std::size_t sheet_length(std::string_view text)
{
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (text[i] == byte_escape_mark) {
            ++units; // a stretch of them shows as one U+FFFD
            i = past_escapes(text, i);
            continue;
        }
        const std::size_t n = c < 0x80 ? 1 : utf8_length(text, i);
        units += n == 4 ? 2 : 1;
        i += n == 0 ? 1 : n;
    }
    return units;
}

// Blanks at either end of a cell's text are kept only where the text says so.
bool needs_preserve(std::string_view text)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
    return !text.empty() && (blank(text.front()) || blank(text.back()));
}

void put_number(byte_piece& out, unsigned long n)
{
    char digits[24];
    char* p = digits + sizeof digits;
    do {
        *--p = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n);
    out += std::string_view(p, static_cast<std::size_t>(digits + sizeof digits - p));
}

// A count as a person reads it: 1,048,576.
std::string grouped(unsigned long n)
{
    std::string digits = std::to_string(n);
    for (std::size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, 1, ',');
    return digits;
}

// A cell without a reference stands in the column after the cell before it in its row (column A
// for a row's first): readers place it so, and the workbook is a fifth smaller to make, pack
// and read back. `row` 0: no reference.
void put_cell_head(byte_piece& out, char column, long row, std::string_view type)
{
    out += std::string_view("<c ");
    if (row > 0) {
        out += std::string_view("r=\"");
        out += column;
        put_number(out, static_cast<unsigned long>(row));
        out += std::string_view("\" ");
    }
    out += type;
}

void put_inline_cell(byte_piece& out, char column, long row, std::string_view text)
{
    put_cell_head(out, column, row, std::string_view("t=\"inlineStr\""));
    out += needs_preserve(text) ? std::string_view("><is><t xml:space=\"preserve\">") : std::string_view("><is><t>");
    put_sheet_text(out, text);
    out += std::string_view("</t></is></c>");
}

// The second texts that go into the table of shared texts, each with its place there.
struct shared_texts {
    std::vector<std::string_view> texts;
    std::unordered_map<std::string_view, unsigned long> index;
    unsigned long uses = 0;
    bool all = true; // false when there were too many to share, and none is
};

// What one look over the rows finds before anything is written.
struct survey {
    shared_texts shared;
    long too_long_row = 0; // the first row with a text longer than a cell holds
    std::size_t too_long_units = 0;
};

survey look_over(const row_source& rows, long n)
{
    survey s;
    constexpr long chunk = 4096;
    std::vector<std::string_view> text(chunk), text2(chunk);
    std::string_view last;
    bool have_last = false;
    for (long first = 1; first <= n; first += chunk) {
        const long k = std::min(chunk, n - first + 1);
        rows.cells(first, k, text.data(), text2.data());
        for (long i = 0; i < k; ++i) {
            for (const std::string_view t : {text[i], text2[i]})
                if (t.size() > static_cast<std::size_t>(xlsx_cell_max) && s.too_long_row == 0)
                    if (const std::size_t units = sheet_length(t); units > static_cast<std::size_t>(xlsx_cell_max)) {
                        s.too_long_row = first + i;
                        s.too_long_units = units;
                    }
            const std::string_view t2 = text2[i];
            if (t2.empty() || !s.shared.all)
                continue;
            ++s.shared.uses;
            if (have_last && t2.data() == last.data() && t2.size() == last.size())
                continue;
            last = t2;
            have_last = true;
            if (s.shared.index.emplace(t2, s.shared.texts.size()).second) {
                s.shared.texts.push_back(t2);
                if (s.shared.texts.size() > most_shared) {
                    s.shared = shared_texts {};
                    s.shared.all = false;
                }
            }
        }
    }
    return s;
}

// Formats the rows of a piece as sheet XML and deflates them, one thread's tools at hand.
class piece_maker {
public:
    piece_maker(const row_source& rows, long sheet_first, const shared_texts& shared, xlsx_layout::sheet& layout)
        : rows_(rows)
        , sheet_first_(sheet_first)
        , shared_(shared)
        , layout_(layout)
    {
    }

    void operator()(long first, long last, byte_piece& piece)
    {
        const auto n = static_cast<std::size_t>(last - first + 1);
        text_.resize(n);
        text2_.resize(n);
        rows_.cells(sheet_first_ + first - 1, static_cast<long>(n), text_.data(), text2_.data());
        xml_.clear();
        long written = 0;
        for (std::size_t i = 0; i < n; ++i) {
            // The texts lie all over the loaded files: asking for those of a row some way ahead
            // lets the memory fetch them while the rows before it are made.
            if (i + fetch_ahead < n && !text_[i + fetch_ahead].empty()) {
                __builtin_prefetch(text_[i + fetch_ahead].data());
                __builtin_prefetch(text_[i + fetch_ahead].data() + text_[i + fetch_ahead].size() - 1);
            }
            const std::string_view a = text_[i], b = text2_[i];
            if (a.empty() && b.empty())
                continue; // a row with no text has no place in the sheet
            ++written;
            const long row = first + static_cast<long>(i);
            xml_ += std::string_view("<row r=\"");
            put_number(xml_, static_cast<unsigned long>(row));
            xml_ += std::string_view("\">");
            if (!a.empty())
                put_inline_cell(xml_, 'A', 0, a);
            if (!b.empty()) {
                // Column B names itself only where no cell of column A goes before it.
                const long b_ref = a.empty() ? row : 0;
                if (shared_.all) {
                    put_cell_head(xml_, 'B', b_ref, std::string_view("t=\"s\""));
                    xml_ += std::string_view("><v>");
                    put_number(xml_, shared_index(b));
                    xml_ += std::string_view("</v></c>");
                } else {
                    put_inline_cell(xml_, 'B', b_ref, b);
                }
            }
            xml_ += std::string_view("</row>");
        }
        const std::string_view made(xml_.data(), xml_.size());
        // Each piece's figures have a place of their own: pieces are made on two threads.
        xlsx_layout::part& part = layout_.parts[static_cast<std::size_t>((first - 1) / rows_per_piece) + 1];
        part.size = made.size();
        part.crc = zip_crc(0, made);
        part.rows = written;
        const std::size_t before = piece.size();
        if (!deflate_.put(made, piece, false))
            throw std::bad_alloc();
        part.packed = piece.size() - before;
    }

private:
    unsigned long shared_index(std::string_view b)
    {
        if (b.data() != last_.data() || b.size() != last_.size()) {
            last_ = b;
            last_index_ = shared_.index.at(b);
        }
        return last_index_;
    }

    const row_source& rows_;
    const long sheet_first_;
    const shared_texts& shared_;
    xlsx_layout::sheet& layout_;
    std::vector<std::string_view> text_, text2_;
    byte_piece xml_;
    deflater deflate_;
    std::string_view last_;
    unsigned long last_index_ = 0;
};

// Writes one sheet's member: its head, its rows in pieces, its tail.
bool write_sheet(zip_writer& zip, std::ostream& out, const row_source& rows, long first, long last, long number,
    bool selected, const shared_texts& shared, xlsx_layout::sheet& layout, result& failure)
{
    const long n = last - first + 1;
    layout.member = "xl/worksheets/sheet" + std::to_string(number) + ".xml";
    layout.parts.assign(static_cast<std::size_t>((n + rows_per_piece - 1) / rows_per_piece) + 2, {});
    std::string head(xml_declaration);
    head += "<worksheet xmlns=\"" + std::string(main_ns) + "\" xmlns:r=\"" + std::string(relationships_ns) + "\">";
    head += "<dimension ref=\"A1" + (n > 0 ? ":B" + std::to_string(n) : std::string()) + "\"/>";
    head += selected ? "<sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\"/></sheetViews>"
                     : "<sheetViews><sheetView workbookViewId=\"0\"/></sheetViews>";
    head += "<sheetFormatPr defaultRowHeight=\"15\"/><sheetData>";
    const std::string tail = "</sheetData><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" "
                             "header=\"0.3\" footer=\"0.3\"/></worksheet>";
    if (!zip.begin(layout.member))
        return false;
    deflater ends;
    byte_piece packed;
    xlsx_layout::part& h = layout.parts.front();
    h.size = head.size();
    h.crc = zip_crc(0, head);
    if (!ends.put(head, packed, false))
        throw std::bad_alloc();
    h.packed = packed.size();
    out.write(packed.data(), static_cast<std::streamsize>(packed.size()));

    if (result written = write_pieces(n, out,
            [&] {
                return [maker = std::make_shared<piece_maker>(rows, first, shared, layout)](
                           long a, long b, byte_piece& piece) { (*maker)(a, b, piece); };
            });
        !written) {
        failure = written;
        return false;
    }

    xlsx_layout::part& t = layout.parts.back();
    packed.clear();
    t.size = tail.size();
    t.crc = zip_crc(0, tail);
    if (!ends.put(tail, packed, true))
        throw std::bad_alloc();
    t.packed = packed.size();
    out.write(packed.data(), static_cast<std::streamsize>(packed.size()));

    std::uint64_t all_packed = 0, all_size = 0;
    std::uint32_t crc = 0;
    for (const xlsx_layout::part& p : layout.parts) {
        all_packed += p.packed;
        all_size += p.size;
        crc = zip_crc_join(crc, p.crc, p.size);
    }
    return zip.end(crc, all_packed, all_size);
}

} // namespace

result write_xlsx(const row_source& rows, std::ostream& out, xlsx_layout& layout, long sheet_rows)
{
    if (rows.failed())
        return {fault::write_failed, "the list is not complete"};
    const long n = rows.count();
    sheet_rows = sheet_rows > 0 ? sheet_rows : xlsx_row_max;
    const long sheets = n > sheet_rows ? (n + sheet_rows - 1) / sheet_rows : 1;
    const result refused {fault::write_failed, "the data could not be written"};
    layout.sheets.assign(static_cast<std::size_t>(sheets), {});
    try {
        const survey s = look_over(rows, n);
        if (s.too_long_row > 0)
            return {fault::write_failed,
                "row " + grouped(static_cast<unsigned long>(s.too_long_row)) + " holds " + grouped(s.too_long_units)
                    + " characters, more than the " + grouped(xlsx_cell_max) + " a workbook cell can hold"};

        zip_writer zip(out);
        std::string types = std::string(xml_declaration)
            + "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
              "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
              "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
              "<Override PartName=\"/xl/workbook.xml\" "
              "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>";
        std::string book = std::string(xml_declaration) + "<workbook xmlns=\"" + std::string(main_ns) + "\" xmlns:r=\""
            + std::string(relationships_ns) + "\"><bookViews><workbookView/></bookViews><sheets>";
        std::string book_rels = std::string(xml_declaration)
            + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
        for (long k = 1; k <= sheets; ++k) {
            const long first = (k - 1) * sheet_rows + 1, last = std::min(n, k * sheet_rows);
            const std::string id = std::to_string(k);
            const std::string name
                = sheets > 1 ? "Rows " + std::to_string(first) + " to " + std::to_string(last) : "Sheet1";
            types += "<Override PartName=\"/xl/worksheets/sheet" + id
                + ".xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>";
            book += "<sheet name=\"" + name + "\" sheetId=\"" + id + "\" r:id=\"rId" + id + "\"/>";
            book_rels += "<Relationship Id=\"rId" + id
                + "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
                  "Target=\"worksheets/sheet"
                + id + ".xml\"/>";
        }
        types += "<Override PartName=\"/xl/styles.xml\" "
                 "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>";
        book_rels += "<Relationship Id=\"rId" + std::to_string(sheets + 1)
            + "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
              "Target=\"styles.xml\"/>";
        const bool any_shared = s.shared.all && !s.shared.texts.empty();
        if (any_shared) {
            types += "<Override PartName=\"/xl/sharedStrings.xml\" "
                     "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>";
            book_rels += "<Relationship Id=\"rId" + std::to_string(sheets + 2)
                + "\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" "
                  "Target=\"sharedStrings.xml\"/>";
        }
        types += "</Types>";
        book += "</sheets></workbook>";
        book_rels += "</Relationships>";
        const std::string package_rels = std::string(xml_declaration)
            + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
              "<Relationship Id=\"rId1\" "
              "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
              "Target=\"xl/workbook.xml\"/></Relationships>";
        const std::string styles = std::string(xml_declaration) + "<styleSheet xmlns=\"" + std::string(main_ns)
            + "\"><fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font></fonts>"
              "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
              "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
              "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
              "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
              "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/></cellXfs>"
              "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
              "</styleSheet>";
        if (!zip.add("[Content_Types].xml", types) || !zip.add("_rels/.rels", package_rels)
            || !zip.add("xl/workbook.xml", book) || !zip.add("xl/_rels/workbook.xml.rels", book_rels)
            || !zip.add("xl/styles.xml", styles))
            return refused;
        if (any_shared) {
            byte_piece sst;
            sst += std::string_view(xml_declaration);
            sst += std::string_view("<sst xmlns=\"");
            sst += main_ns;
            sst += std::string_view("\" count=\"");
            put_number(sst, s.shared.uses);
            sst += std::string_view("\" uniqueCount=\"");
            put_number(sst, s.shared.texts.size());
            sst += std::string_view("\">");
            for (const std::string_view t : s.shared.texts) {
                sst += needs_preserve(t) ? std::string_view("<si><t xml:space=\"preserve\">")
                                         : std::string_view("<si><t>");
                put_sheet_text(sst, t);
                sst += std::string_view("</t></si>");
            }
            sst += std::string_view("</sst>");
            if (!zip.add("xl/sharedStrings.xml", std::string_view(sst.data(), sst.size())))
                return refused;
        }
        for (long k = 1; k <= sheets; ++k) {
            const long first = (k - 1) * sheet_rows + 1, last = std::min(n, k * sheet_rows);
            result failure;
            if (!write_sheet(zip, out, rows, first, last, k, k == 1, s.shared,
                    layout.sheets[static_cast<std::size_t>(k - 1)], failure))
                return failure.ok() ? refused : failure;
        }
        if (!zip.finish())
            return refused;
    } catch (const std::bad_alloc&) {
        return {fault::write_failed, "there was not enough memory"};
    }
    return {};
}

result write_xlsx_file(const row_source& rows, const std::string& path, long sheet_rows)
{
    xlsx_layout layout;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (!out)
            return {fault::open_failed, std::strerror(errno)};
        if (result written = write_xlsx(rows, out, layout, sheet_rows); !written)
            return written;
        out.close();
        if (!out)
            return {fault::write_failed, "the data could not be written"};
    }
    return xlsx_reads_back(path, layout);
}

} // namespace core
