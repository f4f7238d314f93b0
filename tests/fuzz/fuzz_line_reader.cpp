// Fuzzes the decoder and the line cutter with arbitrary file contents, in memory and through a
// real file descriptor, against a plain reference: the decoded text is well-formed UTF-8, text
// that was UTF-8 already comes back unchanged, and the kept rows are exactly the reference's
// lines, none holding a line terminator.

#include "compare/import/source_load.h"
#include "runtime/core/line_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_line_reader: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what)
{
    if (!ok)
        fail(what);
}

// Well-formed UTF-8 by the definition: shortest form, no surrogates, nothing past U+10FFFF.
bool valid_utf8(const unsigned char* s, std::size_t n)
{
    static const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    std::size_t i = 0;
    while (i < n) {
        const std::uint32_t c = s[i];
        std::size_t len;
        std::uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (n - i < len)
            return false;
        for (std::size_t k = 1; k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (s[i + k] & 0x3F);
        }
        if (cp < smallest[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

// What decoding makes: well-formed UTF-8, where bytes no reading makes a character of stand as
// escapes, each a mark (0xFF first in its stretch, 0xFE after) and two upper-case hex digits.
bool valid_decoded(const unsigned char* s, std::size_t n)
{
    const auto hex = [](unsigned char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); };
    const auto escape = [&](std::size_t at, unsigned char mark) {
        return n - at >= 3 && s[at] == mark && hex(s[at + 1]) && hex(s[at + 2]);
    };
    std::size_t from = 0;
    for (std::size_t i = 0; i < n;) {
        if (s[i] != 0xFF) {
            ++i;
            continue;
        }
        if (!valid_utf8(s + from, i - from) || !escape(i, 0xFF))
            return false;
        for (i += 3; escape(i, 0xFE);)
            i += 3;
        from = i;
    }
    return valid_utf8(s + from, n - from);
}

// The lines a source keeps, cut the slow and obvious way.
std::vector<std::string> reference_lines(const char* s, std::size_t begin, std::size_t end)
{
    std::vector<std::string> out;
    std::size_t start = begin;
    for (std::size_t i = begin; i <= end; ++i) {
        if (i < end && s[i] != '\n' && s[i] != '\r')
            continue;
        const std::string_view line(s + start, i - start);
        if (line.find_first_not_of(' ') != std::string_view::npos)
            out.emplace_back(line);
        if (i + 1 < end && s[i] == '\r' && s[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    return out;
}

std::vector<std::string> cut(const core::file_text& t, std::size_t batch)
{
    const char* text = t.block->data();
    core::kept_lines lines(text, t.begin, t.end);
    core::span_vector spans;
    std::vector<std::string> rows;
    while (lines.next(spans, batch)) {
        check(!spans.empty() && spans.size() <= batch, "a batch of the wrong size");
        for (const core::line_span& s : spans) {
            check(s.offset >= t.begin && s.offset <= t.end && s.size <= t.end - s.offset, "a row outside the text");
            rows.emplace_back(text + s.offset, s.size);
        }
    }
    return rows;
}

// A file of this process that every input is written into, so the reading road is fuzzed too.
int scratch_file()
{
    static const int fd = ::memfd_create("fuzz_line_reader", MFD_CLOEXEC);
    return fd;
}

bool write_scratch(const std::uint8_t* data, std::size_t size)
{
    const int fd = scratch_file();
    if (fd < 0 || ::ftruncate(fd, 0) != 0)
        return false;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t w = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (w <= 0)
            return false;
        done += static_cast<std::size_t>(w);
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const core::file_text t = core::decode_text(core::make_block(bytes));
    check(t.block != nullptr, "no text block");
    check(t.begin <= t.end && t.end <= t.block->size(), "text bounds outside the block");
    const auto* text = reinterpret_cast<const unsigned char*>(t.block->data());
    check(valid_decoded(text + t.begin, t.end - t.begin), "decoded text is not well-formed UTF-8 with escapes");

    // UTF-8 without NUL bytes cannot be taken for UTF-16, so it must come back as it was.
    if (std::memchr(data, 0, size) == nullptr && valid_utf8(data, size)) {
        const std::size_t bom = size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
        check(t.charset == "UTF-8", "UTF-8 input decoded as another character set");
        check(std::string_view(t.block->data() + t.begin, t.end - t.begin) == std::string_view(bytes).substr(bom),
            "UTF-8 input changed by decoding");
    }

    const std::vector<std::string> expected = reference_lines(t.block->data(), t.begin, t.end);
    for (const std::string& row : expected)
        check(row.find_first_of("\r\n") == std::string::npos, "reference row with a terminator");
    check(cut(t, 1 + size % 5) == expected, "rows differ from the reference (small batches)");
    const std::vector<std::string> rows = cut(t, 1u << 18);
    check(rows == expected, "rows differ from the reference");

    // The same bytes read from a file descriptor: the same rows, in file order.
    if (write_scratch(data, size)) {
        core::line_file file;
        check(file.open("/proc/self/fd/" + std::to_string(scratch_file())).ok(), "the scratch file did not open");
        core::line_table pane;
        check(core::read_source(file, pane).ok(), "reading a readable file failed");
        check(pane.rowcount() == static_cast<long>(expected.size()), "read row count differs");
        for (long i = 1; i <= pane.rowcount(); ++i) {
            check(pane.get(core::column::es_text, i) == expected[static_cast<std::size_t>(i - 1)],
                "read rows differ from the lines");
            check(pane.get(core::column::es_text2, i).empty(), "a read row has a second text");
        }

        // Read as a source pane loads it: the same rows, sorted.
        core::line_file again;
        check(
            again.open("/proc/self/fd/" + std::to_string(scratch_file())).ok(), "the scratch file did not open again");
        core::line_table loaded;
        check(core::read_sorted_source(again, loaded).ok(), "loading a readable file failed");
        std::vector<std::string> ordered = expected;
        std::sort(ordered.begin(), ordered.end());
        check(loaded.rowcount() == static_cast<long>(ordered.size()), "loaded row count differs");
        for (long i = 1; i <= loaded.rowcount(); ++i)
            check(loaded.get(core::column::es_text, i) == ordered[static_cast<std::size_t>(i - 1)],
                "loaded rows differ from the sorted lines");
    }
    return 0;
}
