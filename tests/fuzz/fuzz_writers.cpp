// Fuzzes the writers by reading what they write back: rows cut from the input are written as
// Text, CSV, HTML and (when the first byte asks) a workbook, and each file must read back, the
// way its readers take it, to the same rows. The input's lines are the rows; a 0xFF byte ends a
// row's text and begins its source, a 0xFE byte stands for a line feed inside a field, and any
// other byte that is not valid UTF-8 reads as U+FFFD, as the line reader makes every line.

#include "compare/output/table_writers.h"
#include "support/read_back.h"
#include "support/row_pairs.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using testing::row_pairs;

// Appends the byte run as valid UTF-8: each maximal bad sequence becomes one U+FFFD.
void put_valid(std::string& out, const std::uint8_t* p, std::size_t n)
{
    std::size_t i = 0;
    while (i < n) {
        const unsigned c = p[i];
        std::size_t extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : 9;
        bool ok = extra < 9 && i + extra < n;
        char32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        for (std::size_t k = 1; ok && k <= extra; ++k) {
            ok = (p[i + k] & 0xC0) == 0x80;
            cp = cp << 6 | (p[i + k] & 0x3F);
        }
        static const char32_t least[] = {0, 0x80, 0x800, 0x10000};
        if (ok && (cp < least[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (ok) {
            out.append(reinterpret_cast<const char*>(p + i), extra + 1);
            i += extra + 1;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
}

std::string field_of(const std::uint8_t* p, std::size_t n)
{
    std::string out;
    std::size_t from = 0;
    for (std::size_t i = 0; i <= n; ++i) {
        if (i == n || p[i] == 0xFE) {
            put_valid(out, p + from, i - from);
            if (i < n)
                out += '\n';
            from = i + 1;
        }
    }
    return out;
}

row_pairs rows_of(const std::uint8_t* data, std::size_t size)
{
    row_pairs rows;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= size; ++i) {
        if (i < size && data[i] != '\n')
            continue;
        if (i == size && i == start)
            break;
        std::size_t cut = start;
        while (cut < i && data[cut] != 0xFF)
            ++cut;
        rows.emplace_back(
            field_of(data + start, cut - start), cut < i ? field_of(data + cut + 1, i - cut - 1) : std::string());
        start = i + 1;
    }
    return rows;
}

// What an HTML page can show of a text: controls it cannot carry as the replacement
// character, line ends as a browser reads them.
std::string as_html_shows(const std::string& text)
{
    std::string shown;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F)
            shown += "\xEF\xBF\xBD";
        else
            shown += ch;
    }
    return testing::read_back_detail::unify_line_ends(shown);
}

[[noreturn]] void fail(const char* type, const std::string& why)
{
    std::fprintf(stderr, "fuzz_writers: %s: %s\n", type, why.c_str());
    std::abort();
}

// A text with its bytes other than printable ASCII in hex, for the report of a difference.
std::string shown(const std::string& text)
{
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += c >= 0x20 && c < 0x7F && c != '\\' ? std::string(1, ch) : std::string(hex);
    }
    return out;
}

void expect_same(const char* type, const row_pairs& back, const row_pairs& want)
{
    for (std::size_t r = 0; r < std::max(back.size(), want.size()); ++r) {
        if (r >= back.size() || r >= want.size() || back[r] != want[r]) {
            const auto text = [&](const row_pairs& rows) {
                return r < rows.size() ? "[" + shown(rows[r].first) + "] [" + shown(rows[r].second) + "]"
                                       : std::string("no row");
            };
            fail(type, "row " + std::to_string(r + 1) + " reads back as " + text(back) + " for " + text(want));
        }
    }
}

void expect_rows(const char* type, bool read, const std::string& why, const row_pairs& back, const row_pairs& want)
{
    if (!read)
        fail(type, "does not read back: " + why);
    expect_same(type, back, want);
}

// A scratch folder for the workbooks and the writer's working files, emptied at exit; in memory
// where the machine has it, since a workbook is several files made and removed.
struct scratch_folder {
    std::string path;
    scratch_folder()
    {
        std::string name = access("/dev/shm", W_OK) == 0 ? "/dev/shm/fuzz_writers.XXXXXX" : "/tmp/fuzz_writers.XXXXXX";
        if (!mkdtemp(&name[0]))
            std::abort();
        path = name;
    }
    ~scratch_folder()
    {
        std::remove((path + "/book.xlsx").c_str());
        rmdir(path.c_str());
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const unsigned flags = data[0];
    const row_pairs rows = rows_of(data + 1, size - 1);
    const testing::vector_rows source(rows);
    std::string why;
    row_pairs back;

    // A Text file cannot tell a line feed in a line from its own; a loaded line never holds one.
    bool text_can_carry = true;
    for (const auto& [text, text2] : rows)
        text_can_carry = text_can_carry && text.find('\n') == std::string::npos;
    {
        std::ostringstream out;
        if (const core::result written = core::write_text(source, out); !written)
            fail("text", "not written: " + written.reason());
        if (text_can_carry)
            expect_rows("text", testing::read_text(out.str(), back, why), why, back, rows);
    }
    {
        std::ostringstream out;
        if (const core::result written = core::write_csv(source, out); !written)
            fail("csv", "not written: " + written.reason());
        expect_rows("csv", testing::read_csv(out.str(), back, why), why, back, rows);
    }
    {
        std::ostringstream out;
        if (const core::result written = core::write_html(source, out, "rows"); !written)
            fail("html", "not written: " + written.reason());
        row_pairs shown;
        for (const auto& [text, text2] : rows)
            shown.emplace_back(as_html_shows(text), as_html_shows(text2));
        expect_rows("html", testing::read_html(out.str(), back, why), why, back, shown);
    }
    // A workbook costs some forty times what the other three do, so one input in eight writes
    // one (bits 2 to 4 of the first byte 0, 0 and 1); bits 0 and 1 choose the rows a sheet takes.
    if ((flags & 0x1C) == 0x04) {
        static scratch_folder scratch;
        const std::string path = scratch.path + "/book.xlsx";
        // A few rows a sheet, so that a list runs over several sheets; no more than four of
        // them, since a sheet costs the workbook library more than all its rows of text.
        const long rows_in = static_cast<long>(rows.size());
        const long sheet_rows = (flags & 3) ? std::max<long>(flags & 3, (rows_in + 3) / 4) : core::xlsx_row_max;
        if (const core::result written = core::write_xlsx_file(source, path, sheet_rows); !written) {
            // Only a text longer than a cell holds may fail the workbook.
            for (const auto& [text, text2] : rows) {
                if (text.size() > core::xlsx_cell_max || text2.size() > core::xlsx_cell_max)
                    return 0;
            }
            fail("workbook", "not written: " + written.reason());
        }
        std::ifstream in(path, std::ios::binary);
        const std::string archive((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::string> names;
        std::vector<row_pairs> sheets;
        if (!testing::read_xlsx(archive, names, sheets, why))
            fail("workbook", "does not read back: " + why);
        row_pairs all;
        const std::size_t per_sheet = static_cast<std::size_t>(sheet_rows);
        for (std::size_t s = 0; s < sheets.size(); ++s) {
            // Rows with no text are not written, so a sheet may read back short of them.
            const std::size_t first = s * per_sheet;
            const std::size_t held = std::min(per_sheet, rows.size() - std::min(rows.size(), first));
            if (sheets[s].size() > held)
                fail("workbook", "a sheet holds more rows than its share");
            sheets[s].resize(held);
            all.insert(all.end(), sheets[s].begin(), sheets[s].end());
            const std::string name = sheets.size() == 1
                ? "Sheet1"
                : "Rows " + std::to_string(first + 1) + " to " + std::to_string(first + held);
            if (names[s] != name)
                fail("workbook", "sheet " + std::to_string(s + 1) + " is named " + names[s]);
        }
        expect_same("workbook", all, rows);
    }
    return 0;
}
