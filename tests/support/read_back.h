#pragma once
// Saved files read back the way their readers take them: a Text file by its lines, a CSV file
// as RFC 4180 parses it, an HTML page as a browser reads its table, a workbook's sheets out of
// the zip archive as a spreadsheet reads their cells. Knows nothing of Qt, so the save tests and
// the writers' fuzz target share it. A reader that meets what its format does not allow returns
// false with the reason.

#include "support/row_pairs.h"

#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace testing {

namespace read_back_detail {

inline void put_utf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// CR LF and a lone CR read as LF, as XML and HTML parsers take line ends.
inline std::string unify_line_ends(std::string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\r') {
            out += '\n';
            if (i + 1 < s.size() && s[i + 1] == '\n')
                ++i;
        } else {
            out += s[i];
        }
    }
    return out;
}

// Character references and the named ones of XML and HTML undone; false on any other '&'.
inline bool undo_references(std::string_view s, std::string& out)
{
    out.clear();
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '&') {
            out += s[i];
            continue;
        }
        const std::size_t end = s.find(';', i);
        if (end == std::string_view::npos)
            return false;
        const std::string_view name = s.substr(i + 1, end - i - 1);
        static const std::pair<const char*, char> named[]
            = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
        bool done = false;
        for (const auto& [n, c] : named) {
            if (name == n) {
                out += c;
                done = true;
            }
        }
        if (!done) {
            if (name.size() < 2 || name[0] != '#')
                return false;
            const bool hex = name[1] == 'x';
            const std::string digits(name.substr(hex ? 2 : 1));
            if (digits.empty() || digits.size() > 6)
                return false;
            char* stop = nullptr;
            const unsigned long c = std::strtoul(digits.c_str(), &stop, hex ? 16 : 10);
            if (*stop != '\0' || c > 0x10FFFF)
                return false;
            put_utf8(out, static_cast<char32_t>(c));
        }
        i = end;
    }
    return true;
}

inline bool is_hex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A workbook text's "_xHHHH_" escapes undone, left to right, as a spreadsheet reads them.
inline std::string undo_sheet_escapes(std::string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '_' && i + 7 <= s.size() && s[i + 1] == 'x' && is_hex(s[i + 2]) && is_hex(s[i + 3])
            && is_hex(s[i + 4]) && is_hex(s[i + 5]) && s[i + 6] == '_') {
            put_utf8(out, static_cast<char32_t>(std::stoul(std::string(s.substr(i + 2, 4)), nullptr, 16)));
            i += 6;
        } else {
            out += s[i];
        }
    }
    return out;
}

inline std::uint32_t le(const std::string& b, std::size_t at, int bytes)
{
    std::uint32_t v = 0;
    for (int k = bytes - 1; k >= 0; --k)
        v = v << 8 | static_cast<unsigned char>(b[at + static_cast<std::size_t>(k)]);
    return v;
}

// An inflate stream that ends itself.
struct inflater {
    z_stream z {};
    bool ok = inflateInit2(&z, -MAX_WBITS) == Z_OK;
    ~inflater()
    {
        if (ok)
            inflateEnd(&z);
    }
};

} // namespace read_back_detail

// A Text file's source as written in quotes with C's escapes; false on an escape it never writes.
inline bool undo_text_quotes(std::string_view quoted, std::string& out, std::string& why)
{
    out.clear();
    if (quoted.size() < 2 || quoted.back() != '"') {
        why = "a quoted source is not closed";
        return false;
    }
    for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
        if (quoted[i] != '\\') {
            out += quoted[i];
            continue;
        }
        const char e = ++i + 1 < quoted.size() ? quoted[i] : '\0';
        const std::string_view from = "tnr\\\"", to = "\t\n\r\\\"";
        if (from.find(e) == std::string_view::npos) {
            why = "an escape no writer makes";
            return false;
        }
        out += to[from.find(e)];
    }
    return true;
}

// Each line (LF-ended) split at its last tab; a source in quotes has its escapes undone.
inline bool read_text(const std::string& bytes, row_pairs& rows, std::string& why)
{
    rows.clear();
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t end = bytes.find('\n', at);
        if (end == std::string::npos) {
            why = "the last line has no line feed";
            return false;
        }
        const std::string line = bytes.substr(at, end - at);
        const std::size_t tab = line.rfind('\t');
        if (tab == std::string::npos) {
            why = "a line has no tab";
            return false;
        }
        std::string source = line.substr(tab + 1);
        if (!source.empty() && source.front() == '"' && !undo_text_quotes(line.substr(tab + 1), source, why))
            return false;
        rows.emplace_back(line.substr(0, tab), source);
        at = end + 1;
    }
    return true;
}

// RFC 4180 after a UTF-8 byte-order mark: two fields a record, each CRLF-ended, each record
// handed to `row(text, source, why)`, which may stop the reading by returning false.
template <class Row> bool for_each_csv_row(std::string_view bytes, Row&& row, std::string& why)
{
    if (bytes.substr(0, 3) != "\xEF\xBB\xBF") {
        why = "no byte-order mark";
        return false;
    }
    std::vector<std::string> fields(1);
    bool quoted = false, was_quoted = false;
    for (std::size_t i = 3; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (quoted) {
            if (c == '"' && i + 1 < bytes.size() && bytes[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            if (was_quoted || !fields.back().empty()) {
                why = "a quote inside an unquoted field";
                return false;
            }
            quoted = was_quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
            was_quoted = false;
        } else if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            if (fields.size() != 2) {
                why = "a record of " + std::to_string(fields.size()) + " fields";
                return false;
            }
            if (!row(std::move(fields[0]), std::move(fields[1]), why))
                return false;
            fields.assign(1, std::string());
            was_quoted = false;
            ++i;
        } else if (c == '\r' || c == '\n' || was_quoted) {
            why = "a bare line break or text after a closing quote";
            return false;
        } else {
            fields.back() += c;
        }
    }
    if (quoted || fields.size() != 1 || !fields[0].empty()) {
        why = "the last record is not ended";
        return false;
    }
    return true;
}

inline bool read_csv(const std::string& bytes, row_pairs& rows, std::string& why)
{
    rows.clear();
    return for_each_csv_row(
        bytes, [&rows](std::string&& a, std::string&& b, std::string&) { return rows.emplace_back(a, b), true; }, why);
}

// The two cells of each table row of the page, references undone and line ends unified, each
// row handed to `row(text, source, why)`, which may stop the reading by returning false.
template <class Row> bool for_each_html_row(std::string_view page, Row&& row, std::string& why)
{
    const std::size_t body = page.find("<tbody>\n");
    const std::size_t end = page.find("</tbody>");
    if (body == std::string_view::npos || end == std::string_view::npos) {
        why = "no table body";
        return false;
    }
    std::size_t at = body + 8;
    const std::string_view open = "<tr><td>", middle = "</td><td>", close = "</td></tr>\n";
    while (at < end) {
        if (page.compare(at, open.size(), open) != 0) {
            why = "a row does not open as one";
            return false;
        }
        const std::size_t mid = page.find('<', at + open.size());
        const std::size_t last = mid == std::string_view::npos ? mid : page.find('<', mid + middle.size());
        if (last == std::string_view::npos || page.compare(mid, middle.size(), middle) != 0
            || page.compare(last, close.size(), close) != 0) {
            why = "markup inside a cell";
            return false;
        }
        std::string a, b;
        if (!read_back_detail::undo_references(
                read_back_detail::unify_line_ends(page.substr(at + open.size(), mid - at - open.size())), a)
            || !read_back_detail::undo_references(
                read_back_detail::unify_line_ends(page.substr(mid + middle.size(), last - mid - middle.size())), b)) {
            why = "a reference no reader knows";
            return false;
        }
        if (!row(std::move(a), std::move(b), why))
            return false;
        at = last + close.size();
    }
    return true;
}

inline bool read_html(const std::string& page, row_pairs& rows, std::string& why)
{
    rows.clear();
    return for_each_html_row(
        page, [&rows](std::string&& a, std::string&& b, std::string&) { return rows.emplace_back(a, b), true; }, why);
}

// The members of a zip archive by name, inflated.
inline bool unzip(const std::string& archive, std::map<std::string, std::string>& members, std::string& why)
{
    using read_back_detail::le;
    members.clear();
    std::size_t at = 0;
    while (at + 30 <= archive.size() && archive.compare(at, 4, "PK\x03\x04", 4) == 0) {
        const unsigned flags = le(archive, at + 6, 2), method = le(archive, at + 8, 2);
        std::uint64_t packed = le(archive, at + 18, 4), size = le(archive, at + 22, 4);
        const std::size_t name_size = le(archive, at + 26, 2), extra_size = le(archive, at + 28, 2);
        const std::size_t data = at + 30 + name_size + extra_size;
        if (data > archive.size() || (flags & 8)) {
            why = "a member header that cannot be followed";
            return false;
        }
        // Sizes too big for the header are in the zip64 extra field.
        for (std::size_t x = at + 30 + name_size; x + 4 <= data;) {
            const unsigned id = le(archive, x, 2), len = le(archive, x + 2, 2);
            if (id == 1 && len >= 16 && size == 0xFFFFFFFFu) {
                size = le(archive, x + 4, 4) | std::uint64_t(le(archive, x + 8, 4)) << 32;
                packed = le(archive, x + 12, 4) | std::uint64_t(le(archive, x + 16, 4)) << 32;
            }
            x += 4 + len;
        }
        if (data + packed > archive.size()) {
            why = "a member runs past the archive";
            return false;
        }
        std::string& out = members[archive.substr(at + 30, name_size)];
        if (method == 0) {
            out = archive.substr(data, packed);
        } else if (method == 8) {
            read_back_detail::inflater inf;
            out.assign(size, '\0');
            inf.z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(archive.data() + data));
            inf.z.avail_in = static_cast<uInt>(packed);
            inf.z.next_out = reinterpret_cast<Bytef*>(&out[0]);
            inf.z.avail_out = static_cast<uInt>(size);
            if (!inf.ok || (size > 0 && inflate(&inf.z, Z_FINISH) != Z_STREAM_END) || inf.z.total_out != size) {
                why = "a member does not inflate to its size";
                return false;
            }
        } else {
            why = "a member stored by method " + std::to_string(method);
            return false;
        }
        at = data + packed;
    }
    return true;
}

// The shared texts of a workbook's table of them, in order, each with its blanks kept.
inline bool read_shared_strings(std::string_view table, std::vector<std::string>& shared, std::string& why)
{
    shared.clear();
    for (std::size_t at = table.find("<si>"); at != std::string_view::npos; at = table.find("<si>", at + 1)) {
        const std::size_t text = table.find('>', table.find("<t", at)) + 1;
        std::string undone;
        if (!read_back_detail::undo_references(
                read_back_detail::unify_line_ends(table.substr(text, table.find("</t>", text) - text)), undone)) {
            why = "a reference no reader knows";
            return false;
        }
        shared.push_back(read_back_detail::undo_sheet_escapes(undone));
    }
    return true;
}

// Each cell of a sheet's XML, shared texts and escapes resolved, handed in order to
// `cell(row, column, text, why)` (row from 1, column 'A' or 'B'), which may stop the reading by
// returning false; a cell that is not text, or whose blanks a reader would trim, is a fault.
template <class Cell>
bool for_each_sheet_cell(std::string_view xml, const std::vector<std::string>& shared, Cell&& cell, std::string& why)
{
    long row = 0;
    char column = 0;
    std::size_t row_at = xml.find("<row r=\"");
    for (std::size_t at = xml.find("<c "); at != std::string_view::npos; at = xml.find("<c ", at + 1)) {
        // Each row names itself; a cell without a reference stands after the one before it.
        for (; row_at != std::string_view::npos && row_at < at; row_at = xml.find("<row r=\"", row_at + 1)) {
            row = std::stol(std::string(xml.substr(row_at + 8, xml.find('"', row_at + 8) - row_at - 8)));
            column = 0;
        }
        const std::size_t head_end = xml.find('>', at);
        const std::string_view head = xml.substr(at, head_end - at);
        if (head.rfind("<c r=\"", 0) == 0) {
            column = head[6];
            if (std::stol(std::string(head.substr(7, head.find('"', 7) - 7))) != row) {
                why = "a cell outside its row";
                return false;
            }
        } else {
            column = column ? char(column + 1) : 'A';
        }
        if (head.find("t=\"s\"") != std::string_view::npos) {
            const std::size_t v = xml.find("<v>", head_end) + 3;
            const std::size_t index = std::stoul(std::string(xml.substr(v, xml.find("</v>", v) - v)));
            if (index >= shared.size()) {
                why = "a shared text that is not there";
                return false;
            }
            if (!cell(row, column, std::string(shared[index]), why))
                return false;
            continue;
        }
        if (head.find("t=\"inlineStr\"") == std::string_view::npos) {
            why = "a cell that is not text";
            return false;
        }
        const std::size_t t = xml.find("<t", head_end);
        const std::size_t text = xml.find('>', t) + 1;
        const bool keeps_blanks = xml.substr(t, text - t).find("xml:space=\"preserve\"") != std::string_view::npos;
        std::string undone;
        if (!read_back_detail::undo_references(
                read_back_detail::unify_line_ends(xml.substr(text, xml.find("</t>", text) - text)), undone)) {
            why = "a reference no reader knows";
            return false;
        }
        constexpr std::string_view blanks = " \t\n";
        if (!keeps_blanks && !undone.empty()
            && (blanks.find(undone.front()) != blanks.npos || blanks.find(undone.back()) != blanks.npos)) {
            why = "a cell whose blanks a reader trims";
            return false;
        }
        if (!cell(row, column, read_back_detail::undo_sheet_escapes(undone), why))
            return false;
    }
    return true;
}

// The sheet names of a workbook's archive members, in order, and each sheet's cells as rows of
// columns A and B.
inline bool read_xlsx(
    const std::string& archive, std::vector<std::string>& names, std::vector<row_pairs>& sheets, std::string& why)
{
    names.clear();
    sheets.clear();
    std::map<std::string, std::string> members;
    std::vector<std::string> shared;
    if (!unzip(archive, members, why) || !read_shared_strings(members["xl/sharedStrings.xml"], shared, why))
        return false;
    const std::string& book = members["xl/workbook.xml"];
    for (std::size_t at = book.find("<sheet "); at != std::string::npos; at = book.find("<sheet ", at + 1)) {
        const std::size_t name = book.find("name=\"", at) + 6;
        std::string undone;
        read_back_detail::undo_references(book.substr(name, book.find('"', name) - name), undone);
        names.push_back(undone);
    }
    for (std::size_t s = 1; s <= names.size(); ++s) {
        const auto found = members.find("xl/worksheets/sheet" + std::to_string(s) + ".xml");
        if (found == members.end()) {
            why = "sheet " + std::to_string(s) + " is missing";
            return false;
        }
        row_pairs rows;
        const auto put = [&rows](long row, char column, std::string&& text, std::string&) {
            if (rows.size() < static_cast<std::size_t>(row))
                rows.resize(static_cast<std::size_t>(row));
            (column == 'A' ? rows[row - 1].first : rows[row - 1].second) = std::move(text);
            return true;
        };
        if (!for_each_sheet_cell(found->second, shared, put, why))
            return false;
        sheets.push_back(std::move(rows));
    }
    return true;
}

} // namespace testing
