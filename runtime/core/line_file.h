#pragma once
// Line-mode reading of a source file: the whole file is read at once, decoded to UTF-8 and cut
// into lines. A line ends at LF, CRLF or a lone CR; a last line without terminator is a line;
// every other byte, NUL included, belongs to its line. Lines have no length limit.

#include "runtime/core/big_memory.h"
#include "runtime/core/result.h"
#include "runtime/core/seam.h"
#include "runtime/core/text_block.h"

#include <cstddef>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace core {

// The decoded text of a file.
struct file_text {
    std::shared_ptr<const text_block> block; // UTF-8; null only before anything was read
    std::size_t begin = 0; // past a byte-order mark
    std::size_t end = 0; // where the lines end; see line_file::read_text
    std::string charset; // what the bytes were decoded from, e.g. "UTF-16LE"
};

// Decodes raw file bytes to UTF-8 (see line_file_decode.cpp for how the character set is chosen).
// Text that is already valid UTF-8 keeps `raw` as its block, without a copy. Bytes that cannot
// be decoded are kept as escapes (utf8.h), shown as U+FFFD. `utf8_checked`: the bytes before it are already known to be
// well-formed UTF-8 ending at a character's end, so their check is not made again.
file_text decode_text(std::shared_ptr<const text_block> raw, std::size_t utf8_checked = 0);

// One file open for reading.
class line_file {
public:
    line_file() = default;
    ~line_file();
    line_file(const line_file&) = delete;
    line_file& operator=(const line_file&) = delete;

    // Opens `host_path` for reading; fails (open_failed) when it is missing, a directory or a
    // device, refused, or the path is empty.
    result open(const std::string& host_path);
    bool is_open() const { return fd_ >= 0; }
    // Closes the file; closing a file that is not open does nothing.
    void close();

    // Reads the rest of the file and decodes it. Fails (read_failed) when reading stopped in
    // mid-file: then `out` ends after the last complete line before the failure. A file that is
    // not open, or whose text there is no memory to decode, fails with an empty text.
    result read_text(file_text& out);

    // The read system call; tests stand in for it to make reading fail in mid-file.
    using read_function = ssize_t (*)(int fd, void* buffer, std::size_t count);
    // The seam through which tests read; reading files on any thread goes through it.
    static seam<read_function>& read_seam();

private:
    int fd_ = -1;
};

// Spans of many lines at once: they are mapped on their own like the rows they become.
using span_vector = std::vector<line_span, big_allocator<line_span>>;
using short_span_vector = std::vector<short_span, big_allocator<short_span>>;

// Where the first line that ends at or after `from` in text[.., end) ends, past its terminator
// (both bytes of a CRLF); `end` when no line ends there. Cutting text at this point, each part
// gives the lines that the whole gives, so the parts can be cut into lines at the same time.
std::size_t past_line_end(const char* text, std::size_t from, std::size_t end);

// Cuts text into the lines that a source keeps: every line that is neither empty nor made of
// blanks (code 32) only, as it stands, without its terminator.
class kept_lines {
public:
    kept_lines(const char* text, std::size_t begin, std::size_t end)
        : text_(text)
        , pos_(begin)
        , end_(end)
    {
    }

    // Replaces `out` with the next kept lines, at most `max` of them; false once none are left.
    bool next(span_vector& out, std::size_t max);
    // Appends the next kept lines to `out`, at most `max` of them; false once none are left.
    // Only for a text that ends before 4 GB, so that every span is short.
    bool append(short_span_vector& out, std::size_t max);

private:
    template <class Spans> void cut(Spans& out, std::size_t max);

    const char* text_;
    std::size_t pos_;
    std::size_t end_;
};

} // namespace core
