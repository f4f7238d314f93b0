#pragma once
// Well-formed UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF; and how a byte
// that could not be read as a character is kept in a text read from a file.

#include <cstddef>
#include <string>
#include <string_view>

namespace core {

// The length of the longest well-formed prefix of s[begin, n), counted from s.
std::size_t utf8_valid_until(const unsigned char* s, std::size_t begin, std::size_t n);

// How many bytes one U+FFFD replaces at an ill-formed s[i]: the lead byte and the continuation
// bytes that still fitted it (the "maximal subpart"), at least one.
std::size_t utf8_invalid_run(const unsigned char* s, std::size_t i, std::size_t n);

// The first offset from i on, before n, whose byte does not continue a character: where text
// cut at i takes up again with a whole character; n when there is none.
inline std::size_t utf8_char_start(const unsigned char* s, std::size_t i, std::size_t n)
{
    while (i < n && (s[i] & 0xC0) == 0x80)
        ++i;
    return i;
}

inline bool valid_utf8(std::string_view s)
{
    return utf8_valid_until(reinterpret_cast<const unsigned char*>(s.data()), 0, s.size()) == s.size();
}

// Bytes that no reading of their file could make a character of stand in the text as escapes
// of three bytes each, as many as U+FFFD takes: a mark and the byte's value in two hex digits.
// The first byte of what would have been one U+FFFD is marked 0xFF, the bytes after it in the
// same stretch 0xFE. No well-formed UTF-8 holds either mark, so a line with such a byte never
// equals one that was read whole, and two lines whose bytes differ stay different; an escape
// makes no line end and no blank. Whatever shows, prints, copies or saves a text shows each
// stretch, from its 0xFF on, as one U+FFFD.
constexpr char byte_escape_mark = '\xFF';
constexpr char byte_escape_more = '\xFE';
constexpr std::size_t byte_escape_size = 3;

// Writes the escape of `byte` into out[0..3); `first` of its stretch, or one that goes on.
inline void write_byte_escape(char* out, unsigned char byte, bool first = true)
{
    static const char digits[] = "0123456789ABCDEF";
    out[0] = first ? byte_escape_mark : byte_escape_more;
    out[1] = digits[byte >> 4];
    out[2] = digits[byte & 15];
}

// Appends the escapes of the stretch of bytes s[0..n).
inline void put_byte_escapes(std::string& out, const unsigned char* s, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        char e[byte_escape_size];
        write_byte_escape(e, s[i], i == 0);
        out.append(e, byte_escape_size);
    }
}

inline bool holds_byte_escapes(std::string_view text)
{
    return text.find(byte_escape_mark) != std::string_view::npos;
}

// Where the stretch of escapes that begins at `at` ends.
inline std::size_t past_escapes(std::string_view text, std::size_t at)
{
    at += byte_escape_size;
    while (at < text.size() && text[at] == byte_escape_more)
        at += byte_escape_size;
    return at < text.size() ? at : text.size();
}

// Appends `text` to `out` as it is shown: each stretch of escapes as one U+FFFD.
template <class Out> void put_shown(Out& out, std::string_view text)
{
    std::size_t at = 0;
    for (std::size_t mark = text.find(byte_escape_mark); mark != std::string_view::npos;
         mark = text.find(byte_escape_mark, at)) {
        out += text.substr(at, mark - at);
        out += std::string_view("\xEF\xBF\xBD");
        at = past_escapes(text, mark);
    }
    out += text.substr(at);
}

// `text` as it is shown.
inline std::string shown(std::string_view text)
{
    std::string out;
    put_shown(out, text);
    return out;
}

} // namespace core
