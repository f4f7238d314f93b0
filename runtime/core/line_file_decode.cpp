// Decoding a file's bytes to UTF-8: byte-order marks, well-formed UTF-8, UTF-16 and UTF-32,
// and character sets found by the detector and converted by iconv.

#include "runtime/core/line_file.h"
#include "runtime/core/owner.h"

#include "runtime/core/thread_pool.h"
#include "runtime/core/utf8.h"

#include <uchardet/uchardet.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <iterator>
#include <utility>

namespace core {

namespace {

// ---- UTF-8 ----------------------------------------------------------------------------------

// Below this many bytes a second thread costs more than it saves.
constexpr std::size_t parallel_check = std::size_t(4) << 20;

// utf8_valid_until, over the two halves of a large text at once. The halves meet at a byte
// that starts a character, so each is checked as the whole would be: where the first half is
// well-formed up to the meeting point, the whole is well-formed as far as the second half is.
std::size_t utf8_valid_until_parallel(const unsigned char* s, std::size_t begin, std::size_t n)
{
    if (!second_thread_pays(n - begin, parallel_check))
        return utf8_valid_until(s, begin, n);
    const std::size_t mid = utf8_char_start(s, begin + (n - begin) / 2, n);
    std::size_t first = 0, second = 0;
    on_two_threads(
        true, [&] { second = utf8_valid_until(s, mid, n); }, [&] { first = utf8_valid_until(s, begin, mid); });
    return first < mid ? first : second;
}

void append_code_point(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-8 with every ill-formed sequence replaced; `valid` is where the first one starts.
std::string repair_utf8(const unsigned char* s, std::size_t begin, std::size_t valid, std::size_t n)
{
    std::string out;
    out.reserve(n - begin + 16);
    std::size_t i = begin;
    while (i < n) {
        out.append(reinterpret_cast<const char*>(s) + i, valid - i);
        i = valid;
        if (i >= n)
            break;
        const std::size_t run = utf8_invalid_run(s, i, n);
        put_byte_escapes(out, s + i, run);
        i += run;
        valid = utf8_valid_until(s, i, n);
    }
    return out;
}

// ---- UTF-16 and UTF-32 ----------------------------------------------------------------------

std::string decode_utf16(const unsigned char* s, std::size_t begin, std::size_t n, bool big_endian)
{
    std::string out;
    out.reserve((n - begin) / 2 * 3 / 2 + 16);
    auto unit
        = [&](std::size_t i) -> std::uint32_t { return big_endian ? (s[i] << 8 | s[i + 1]) : (s[i + 1] << 8 | s[i]); };
    std::size_t i = begin;
    while (n - i >= 2) {
        const std::uint32_t u = unit(i);
        i += 2;
        if (u >= 0xD800 && u <= 0xDBFF && n - i >= 2) {
            const std::uint32_t low = unit(i);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                i += 2;
                append_code_point(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) {
            // a surrogate without its partner
            put_byte_escapes(out, s + i - 2, 2);
        } else {
            append_code_point(out, u);
        }
    }
    if (i < n)
        put_byte_escapes(out, s + i, 1); // an odd byte at the end
    return out;
}

std::string decode_utf32(const unsigned char* s, std::size_t begin, std::size_t n, bool big_endian)
{
    std::string out;
    out.reserve((n - begin) / 4 * 2 + 16);
    std::size_t i = begin;
    for (; n - i >= 4; i += 4) {
        const std::uint32_t cp = big_endian ? std::uint32_t(s[i]) << 24 | s[i + 1] << 16 | s[i + 2] << 8 | s[i + 3]
                                            : std::uint32_t(s[i + 3]) << 24 | s[i + 2] << 16 | s[i + 1] << 8 | s[i];
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            put_byte_escapes(out, s + i, 4);
        } else {
            append_code_point(out, cp);
        }
    }
    put_byte_escapes(out, s + i, n - i); // the bytes of a cut last unit
    return out;
}

// The mark of UTF-32LE is also that of UTF-16LE followed by U+0000, so the text behind it is
// taken for UTF-32LE only when its whole units all read as such: each a scalar value outside
// planes 4 to 13. Those planes hold no character, and UTF-16 read four bytes at a time lands in
// them whenever its second unit is a tab, LF or CR ("a\n" gives U+A0061). A file cut short
// within its last unit is still UTF-32; the cut tail's bytes are kept as escapes.
bool plausible_utf32le(const unsigned char* s, std::size_t begin, std::size_t n)
{
    for (std::size_t i = begin; n - i >= 4; i += 4) {
        const std::uint32_t cp = std::uint32_t(s[i + 3]) << 24 | s[i + 2] << 16 | s[i + 1] << 8 | s[i];
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || (cp >= 0x40000 && cp <= 0xDFFFF))
            return false;
    }
    return true;
}

// Text without a byte-order mark that has NUL bytes in most even (big-endian) or most odd
// (little-endian) positions, and hardly any in the others, is taken for UTF-16: that is what
// Latin text looks like in it. Such bytes are also well-formed UTF-8, which is why this is asked
// first. Returns 0 for no, 1 for little-endian, 2 for big-endian.
int looks_like_utf16(const unsigned char* s, std::size_t n)
{
    const std::size_t sample = std::min<std::size_t>(n, 64 * 1024) & ~std::size_t(1);
    if (sample < 4 || !std::memchr(s, 0, sample))
        return 0;
    std::size_t zero_even = 0, zero_odd = 0;
    for (std::size_t i = 0; i < sample; i += 2) {
        zero_even += s[i] == 0;
        zero_odd += s[i + 1] == 0;
    }
    const std::size_t units = sample / 2;
    // "Most" is more than 60 per cent of the units; "hardly any" less than a tenth of that.
    if (zero_odd * 10 > units * 6 && zero_even * 10 < zero_odd)
        return 1;
    if (zero_even * 10 > units * 6 && zero_odd * 10 < zero_even)
        return 2;
    return 0;
}

// ---- detected character sets ----------------------------------------------------------------

struct detector_kind {
    using handle = uchardet_t;
    static uchardet_t none() noexcept { return nullptr; }
    static void free(uchardet_t d) noexcept { uchardet_delete(d); }
};
// The detector's handle, deleted when it goes.
using detector = owner<detector_kind>;

struct converter_kind {
    using handle = iconv_t;
    static iconv_t none() noexcept { return reinterpret_cast<iconv_t>(-1); }
    static void free(iconv_t cd) noexcept { iconv_close(cd); }
};
// An iconv conversion, closed when it goes; empty when iconv does not know a character set.
using converter = owner<converter_kind>;

// The detector's guess for the text, or an empty string when it has none. It is given the part
// of the file around the first non-ASCII byte, since the ASCII before it says nothing.
std::string detect_charset(const unsigned char* s, std::size_t begin, std::size_t n)
{
    std::size_t first = begin;
    while (first < n && s[first] < 0x80)
        ++first;
    const std::size_t from = first - std::min<std::size_t>(first - begin, 4096);
    const std::size_t len = std::min<std::size_t>(n - from, 4u << 20);
    const detector ud(uchardet_new());
    if (!ud)
        return {};
    uchardet_handle_data(ud.get(), reinterpret_cast<const char*>(s) + from, len);
    uchardet_data_end(ud.get());
    const char* name = uchardet_get_charset(ud.get());
    std::string charset = name ? name : "";
    for (char& c : charset)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return charset;
}

// ---- legacy character sets ------------------------------------------------------------------

// What a legacy file in a detector's label holds, as the WHATWG Encoding Standard maps labels to
// encodings: the superset that files so labelled are written in, and that browsers, editors and
// Python's codecs read them as. Each is named as glibc's iconv knows it. A label not listed here
// names its own encoding; so do ISO-2022-KR, ISO-2022-CN and HZ-GB-2312, which the standard
// turns into a single U+FFFD for a web page's safety, a loss no file comparison may make.
struct legacy_encoding {
    const char* label;
    const char* encoding;
};
constexpr legacy_encoding whatwg_encodings[] = {
    {"ASCII", "WINDOWS-1252"},
    {"US-ASCII", "WINDOWS-1252"},
    {"ISO-8859-1", "WINDOWS-1252"},
    {"ISO-8859-9", "WINDOWS-1254"},
    {"ISO-8859-11", "WINDOWS-874"},
    {"TIS-620", "WINDOWS-874"},
    {"SHIFT_JIS", "CP932"},
    {"EUC-JP", "EUC-JP-MS"},
    {"EUC-KR", "CP949"},
    {"UHC", "CP949"},
    {"GB2312", "GB18030"},
    {"GBK", "GB18030"},
    {"BIG5", "BIG5-HKSCS"},
};

std::string whatwg_encoding(const std::string& label)
{
    for (const legacy_encoding& e : whatwg_encodings) {
        if (label == e.label)
            return e.encoding;
    }
    return label;
}

// Where glibc reads a two-byte character otherwise than the standard's index: Big5's own rows
// A1 to A3 (punctuation and symbols) as Big5 has them, where HKSCS reads some as look-alikes
// ("\xA1\xE3" FULLWIDTH TILDE as TILDE OPERATOR) and leaves others undefined.
struct two_byte_char {
    std::uint16_t bytes;
    char32_t code_point;
};
constexpr two_byte_char big5_symbols[] = {
    {0xA145, 0x2027},
    {0xA14E, 0xFE51},
    {0xA15A, 0x2574},
    {0xA1C2, 0x00AF},
    {0xA1C3, 0xFFE3},
    {0xA1C5, 0x02CD},
    {0xA1E3, 0xFF5E},
    {0xA1F2, 0x2295},
    {0xA1F3, 0x2299},
    {0xA1FE, 0xFF0F},
    {0xA240, 0xFF3C},
    {0xA241, 0x2215},
    {0xA242, 0xFE68},
    {0xA244, 0xFFE5},
    {0xA246, 0xFFE0},
    {0xA247, 0xFFE1},
    {0xA2CC, 0x5341},
    {0xA2CE, 0x5345},
    {0xA3E1, 0x20AC},
};

struct two_byte_chars {
    const two_byte_char* begin = nullptr;
    const two_byte_char* end = nullptr;
};

two_byte_chars own_chars_of(const std::string& encoding)
{
    if (encoding == "BIG5-HKSCS")
        return {std::begin(big5_symbols), std::end(big5_symbols)};
    return {};
}

// Converts s[from, to) with iconv and appends it to `out` from `done` on; a byte sequence it
// cannot convert keeps its first byte as an escape, and conversion goes on after it.
void iconv_run(
    iconv_t cd, const unsigned char* s, std::size_t from, std::size_t to, std::string& out, std::size_t& done)
{
    auto grow = [&](std::size_t need) {
        if (out.size() - done < need)
            out.resize(std::max(out.size() * 2, done + need));
    };
    char* in = const_cast<char*>(reinterpret_cast<const char*>(s) + from);
    std::size_t in_left = to - from;
    while (in_left > 0) {
        grow(16);
        char* o = &out[done];
        std::size_t out_left = out.size() - done;
        const std::size_t r = iconv(cd, &in, &in_left, &o, &out_left);
        done = out.size() - out_left;
        if (r != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG) {
            grow(out.size());
        } else if (errno == EILSEQ || errno == EINVAL) {
            grow(byte_escape_size);
            write_byte_escape(&out[done], static_cast<unsigned char>(*in));
            done += byte_escape_size;
            ++in;
            --in_left;
            iconv(cd, nullptr, nullptr, nullptr, nullptr); // back to the initial shift state
        } else {
            break;
        }
    }
}

// Converts with iconv, but for the two-byte characters in `own`, which are written out as the
// standard reads them. False when iconv does not know the encoding.
bool convert_with_iconv(const std::string& encoding, const unsigned char* s, std::size_t n, std::string& out)
{
    const converter cd(iconv_open("UTF-8", encoding.c_str()));
    if (!cd)
        return false;
    out.assign(n * 3 / 2 + 64, '\0');
    std::size_t done = 0;
    std::size_t from = 0;
    const two_byte_chars own = own_chars_of(encoding);
    if (own.begin != own.end) {
        // Characters are walked as the double-byte sets lay them out: a lead byte from 0x81 on
        // takes the byte after it.
        for (std::size_t i = 0; i + 1 < n;) {
            if (s[i] < 0x81 || s[i] == 0xFF) {
                ++i;
                continue;
            }
            const std::uint16_t bytes = static_cast<std::uint16_t>(s[i] << 8 | s[i + 1]);
            i += 2;
            if (bytes < own.begin->bytes || bytes > own.end[-1].bytes)
                continue; // the table is in the order of its bytes
            const auto found
                = std::find_if(own.begin, own.end, [bytes](const two_byte_char& c) { return c.bytes == bytes; });
            if (found != own.end) {
                iconv_run(cd.get(), s, from, i - 2, out, done);
                std::string ch;
                append_code_point(ch, found->code_point);
                if (out.size() - done < ch.size())
                    out.resize(std::max(out.size() * 2, done + ch.size()));
                std::memcpy(&out[done], ch.data(), ch.size());
                done += ch.size();
                from = i;
            }
        }
    }
    iconv_run(cd.get(), s, from, n, out, done);
    // Flush what a stateful encoding may still hold.
    for (;;) {
        if (out.size() - done < 16)
            out.resize(std::max(out.size() * 2, done + 16));
        char* o = &out[done];
        std::size_t out_left = out.size() - done;
        const std::size_t r = iconv(cd.get(), nullptr, nullptr, &o, &out_left);
        done = out.size() - out_left;
        if (r != static_cast<std::size_t>(-1) || errno != E2BIG)
            break;
        out.resize(out.size() * 2);
    }
    out.resize(done);
    return true;
}

// An encoding of one byte a character: the UTF-8 of each byte's character, or none.
struct byte_char {
    char utf8[4];
    unsigned char size; // 0: the byte is no character
};
using byte_table = std::array<byte_char, 256>;

void set_code_point(byte_char& c, std::uint32_t cp)
{
    std::string utf8;
    append_code_point(utf8, cp);
    std::memcpy(c.utf8, utf8.data(), utf8.size());
    c.size = static_cast<unsigned char>(utf8.size());
}

// The table of `encoding` when each of its bytes alone is one character or none, read from
// iconv a byte at a time, so that no converter joins a letter and the mark after it into one
// character (glibc's Windows-1255 and Windows-1258 do; the standard keeps them apart, as the
// same text in UTF-8 has them). False for an encoding with characters of several bytes.
bool single_byte_table(const std::string& encoding, byte_table& table)
{
    const converter cd(iconv_open("UTF-8", encoding.c_str()));
    if (!cd)
        return false;
    for (int b = 0; b < 256; ++b) {
        char in_byte = static_cast<char>(b);
        char* in = &in_byte;
        std::size_t in_left = 1;
        char buffer[16];
        char* o = buffer;
        std::size_t out_left = sizeof buffer;
        iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd.get(), &in, &in_left, &o, &out_left) == static_cast<std::size_t>(-1)) {
            if (errno != EILSEQ)
                return false; // the byte begins a longer character
            table[b].size = 0;
            continue;
        }
        iconv(cd.get(), nullptr, nullptr, &o, &out_left);
        const auto* u = reinterpret_cast<const unsigned char*>(buffer);
        const auto length = static_cast<std::size_t>(o - buffer);
        if (length == 0 || length > 4 || utf8_valid_until(u, 0, length) != length
            || utf8_char_start(u, 1, length) != length)
            return false; // not one character for the byte
        std::memcpy(table[b].utf8, buffer, length);
        table[b].size = static_cast<unsigned char>(length);
    }
    // The standard's Windows code pages read a byte they leave undefined in 0x80..0x9F as the
    // C1 control of that number, as Windows does; its x-mac-cyrillic has the euro at 0xFF,
    // where glibc keeps the currency sign of older Macs.
    if (encoding.compare(0, 8, "WINDOWS-") == 0) {
        for (int b = 0x80; b < 0xA0; ++b) {
            if (table[b].size == 0)
                set_code_point(table[b], static_cast<std::uint32_t>(b));
        }
    } else if (encoding == "MAC-CYRILLIC") {
        set_code_point(table[0xFF], 0x20AC);
    }
    return true;
}

std::string convert_with_table(const byte_table& table, const unsigned char* s, std::size_t n)
{
    // Measured first, so that the text takes no more memory than it needs.
    std::size_t size = 0;
    for (std::size_t i = 0; i < n; ++i)
        size += table[s[i]].size == 0 ? byte_escape_size : table[s[i]].size;
    std::string out(size, '\0');
    char* o = &out[0];
    for (std::size_t i = 0; i < n; ++i) {
        const byte_char& c = table[s[i]];
        if (c.size == 0) {
            write_byte_escape(o, s[i]);
            o += byte_escape_size;
        } else {
            std::memcpy(o, c.utf8, c.size);
            o += c.size;
        }
    }
    return out;
}

// Decodes the bytes as `encoding`; false when iconv does not know it.
bool convert_legacy(const std::string& encoding, const unsigned char* s, std::size_t n, std::string& out)
{
    byte_table table;
    if (single_byte_table(encoding, table)) {
        out = convert_with_table(table, s, n);
        return true;
    }
    return convert_with_iconv(encoding, s, n, out);
}

file_text decoded(std::string text, const char* charset)
{
    // The text is held as long as its rows: room reserved for a worse case goes back.
    if (text.capacity() - text.size() > text.size() / 16)
        text.shrink_to_fit();
    file_text t;
    t.end = text.size();
    const bool escaped = holds_byte_escapes(text);
    t.block = make_block(std::move(text), escaped);
    t.charset = charset;
    return t;
}

} // namespace

// The character set is chosen in this order:
//  1. a byte-order mark: UTF-8, UTF-32 LE/BE, UTF-16 LE/BE (the mark is not text); FF FE 00 00
//     is UTF-32LE only when the rest is plausible UTF-32LE, else UTF-16LE starting with U+0000;
//  2. NUL bytes at alternate positions: UTF-16 without a mark (see looks_like_utf16);
//  3. well-formed UTF-8 (ASCII included) is UTF-8 and is used as it is;
//  4. the detector's guess: UTF-8 (mostly well-formed text) is kept with escapes for what is
//     not; another label is read as the encoding the WHATWG Encoding Standard gives it
//     (whatwg_encodings): Shift_JIS as Windows-31J, ISO-8859-1 as Windows-1252, whose letters
//     in 0x80..0x9F Latin text means far more often than C1 controls, and so on;
//  5. Windows-1252 when the detector has no guess, guesses ASCII, or names a set iconv does
//     not know.
file_text decode_text(std::shared_ptr<const text_block> raw, std::size_t utf8_checked)
{
    const auto* s = reinterpret_cast<const unsigned char*>(raw->data());
    const std::size_t n = raw->size();

    auto starts_with = [&](const char* mark, std::size_t len) { return n >= len && std::memcmp(s, mark, len) == 0; };
    std::size_t begin = 0;
    const char* bom = nullptr;
    if (starts_with("\xEF\xBB\xBF", 3)) {
        begin = 3;
        bom = "UTF-8";
    } else if (starts_with("\xFF\xFE\0\0", 4) && plausible_utf32le(s, 4, n)) {
        return decoded(decode_utf32(s, 4, n, false), "UTF-32LE");
    } else if (starts_with("\0\0\xFE\xFF", 4)) {
        return decoded(decode_utf32(s, 4, n, true), "UTF-32BE");
    } else if (starts_with("\xFF\xFE", 2)) {
        return decoded(decode_utf16(s, 2, n, false), "UTF-16LE");
    } else if (starts_with("\xFE\xFF", 2)) {
        return decoded(decode_utf16(s, 2, n, true), "UTF-16BE");
    }

    if (!bom) {
        if (const int utf16 = looks_like_utf16(s, n))
            return decoded(decode_utf16(s, 0, n, utf16 == 2), utf16 == 2 ? "UTF-16BE" : "UTF-16LE");
    }

    const std::size_t valid = utf8_valid_until_parallel(s, std::min(std::max(begin, utf8_checked), n), n);
    if (valid == n) {
        file_text t;
        t.block = std::move(raw);
        t.begin = begin;
        t.end = n;
        t.charset = "UTF-8";
        return t;
    }
    if (bom)
        return decoded(repair_utf8(s, begin, valid, n), "UTF-8");

    const std::string charset = detect_charset(s, begin, n);
    if (charset == "UTF-8")
        return decoded(repair_utf8(s, begin, valid, n), "UTF-8");
    std::string encoding = whatwg_encoding(charset.empty() ? "ASCII" : charset);
    std::string text;
    if (!convert_legacy(encoding, s, n, text)) {
        encoding = "WINDOWS-1252";
        convert_legacy(encoding, s, n, text);
    }
    return decoded(std::move(text), encoding.c_str());
}

} // namespace core
