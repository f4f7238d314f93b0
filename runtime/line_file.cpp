#include "runtime/line_file.h"

#include <uchardet/uchardet.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iconv.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace core {

namespace {

// The buffer a file is read into, which becomes the text itself when the file is UTF-8 already.
// Large buffers are mapped directly and asked for huge pages: filling 40 MB of small pages costs
// more than reading the file.
class file_buffer : public text_block {
public:
    file_buffer() = default;
    file_buffer(const file_buffer&) = delete;
    file_buffer& operator=(const file_buffer&) = delete;
    ~file_buffer() override { release(); }
    const char* data() const override { return data_; }
    std::size_t size() const override { return size_; }

    char* bytes() { return data_; }
    std::size_t capacity() const { return capacity_; }
    void set_size(std::size_t size) { size_ = size; }

    // Makes room for `capacity` bytes, keeping the first size() of them; false when there is no
    // memory for it (the buffer is then unchanged).
    bool reserve(std::size_t capacity)
    {
        if (capacity <= capacity_)
            return true;
        char* p = nullptr;
        std::size_t mapped = 0;
        if (capacity >= map_threshold) {
            mapped = (capacity + huge_page - 1) / huge_page * huge_page;
            void* m = ::mmap(nullptr, mapped + huge_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (m == MAP_FAILED)
                return false;
            // Trim to a huge-page boundary at both ends, so the whole buffer can use them.
            auto* raw = static_cast<char*>(m);
            const std::uintptr_t addr = reinterpret_cast<std::uintptr_t>(raw);
            const std::size_t head = (huge_page - addr % huge_page) % huge_page;
            if (head)
                ::munmap(raw, head);
            if (huge_page - head)
                ::munmap(raw + head + mapped, huge_page - head);
            p = raw + head;
            ::madvise(p, mapped, MADV_HUGEPAGE);
        } else {
            p = static_cast<char*>(std::malloc(capacity));
            if (!p)
                return false;
        }
        if (size_)
            std::memcpy(p, data_, size_);
        release();
        data_ = p;
        capacity_ = mapped ? mapped : capacity;
        mapped_ = mapped;
        return true;
    }

    // Gives back what is well beyond the size (a file that shrank while it was read).
    void trim()
    {
        if (mapped_) {
            const std::size_t keep = std::max<std::size_t>((size_ + huge_page - 1) / huge_page, 1) * huge_page;
            if (keep < mapped_) {
                ::munmap(data_ + keep, mapped_ - keep);
                mapped_ = capacity_ = keep;
            }
        } else if (capacity_ - size_ > 64 * 1024) {
            if (char* p = static_cast<char*>(std::realloc(data_, std::max<std::size_t>(size_, 1)))) {
                data_ = p;
                capacity_ = std::max<std::size_t>(size_, 1);
            }
        }
    }

private:
    static constexpr std::size_t huge_page = 2u << 20;
    static constexpr std::size_t map_threshold = 4u << 20;

    void release()
    {
        if (mapped_)
            ::munmap(data_, mapped_);
        else
            std::free(data_);
        data_ = nullptr;
        capacity_ = mapped_ = 0;
    }

    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::size_t mapped_ = 0; // the mapped length, 0 for a malloc'd buffer
};

std::atomic<line_file::read_function> read_hook {nullptr};

std::string error_text(int err)
{
    return std::strerror(err);
}

// ---- UTF-8 ----------------------------------------------------------------------------------

// The length of the well-formed sequence starting at s[i], or 0 when it is not one. Well-formed
// means shortest form, no surrogates, nothing above U+10FFFF.
std::size_t utf8_sequence(const unsigned char* s, std::size_t i, std::size_t n)
{
    const unsigned char c = s[i];
    if (c < 0x80)
        return 1;
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF; // range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        if (c == 0xE0)
            lo = 0xA0;
        else if (c == 0xED)
            hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        if (c == 0xF0)
            lo = 0x90;
        else if (c == 0xF4)
            hi = 0x8F;
    } else {
        return 0;
    }
    if (n - i < len)
        return 0;
    if (s[i + 1] < lo || s[i + 1] > hi)
        return 0;
    for (std::size_t k = 2; k < len; ++k) {
        if ((s[i + k] & 0xC0) != 0x80)
            return 0;
    }
    return len;
}

// How many bytes one U+FFFD replaces at an ill-formed s[i]: the lead byte and the continuation
// bytes that still fitted it (the "maximal subpart"), at least one.
std::size_t utf8_invalid_run(const unsigned char* s, std::size_t i, std::size_t n)
{
    const unsigned char c = s[i];
    std::size_t len;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF)
        len = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        len = 3;
        lo = c == 0xE0 ? 0xA0 : 0x80;
        hi = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        len = 4;
        lo = c == 0xF0 ? 0x90 : 0x80;
        hi = c == 0xF4 ? 0x8F : 0xBF;
    } else
        return 1;
    std::size_t k = 1;
    while (k < len && i + k < n) {
        const unsigned char b = s[i + k];
        if (k == 1 ? (b < lo || b > hi) : (b & 0xC0) != 0x80)
            break;
        ++k;
    }
    return k;
}

// The offset of the first byte of s[i, n) that is not ASCII, or n.
std::size_t skip_ascii(const unsigned char* s, std::size_t i, std::size_t n)
{
#if defined(__SSE2__)
    while (n - i >= 16) {
        const int mask = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)));
        if (mask)
            return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
        i += 16;
    }
#endif
    while (i < n && s[i] < 0x80)
        ++i;
    return i;
}

// The length of the longest well-formed prefix of s[begin, n).
std::size_t utf8_valid_until(const unsigned char* s, std::size_t begin, std::size_t n)
{
    std::size_t i = begin;
    for (;;) {
        i = skip_ascii(s, i, n);
        if (i >= n)
            return n;
        const std::size_t len = utf8_sequence(s, i, n);
        if (len == 0)
            return i;
        i += len;
    }
}

// Bit k is set where s[i + k] is CR or LF, for the (up to) 64 bytes from i before n.
std::uint64_t terminators_at(const char* s, std::size_t i, std::size_t n)
{
    std::uint64_t mask = 0;
#if defined(__SSE2__)
    if (n - i >= 64) {
        const __m128i cr = _mm_set1_epi8('\r');
        const __m128i lf = _mm_set1_epi8('\n');
        for (int k = 0; k < 4; ++k) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 16 * k));
            const auto bits
                = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
            mask |= std::uint64_t(bits) << (16 * k);
        }
        return mask;
    }
#endif
    const std::size_t len = std::min<std::size_t>(n - i, 64);
    for (std::size_t k = 0; k < len; ++k) {
        if (s[i + k] == '\r' || s[i + k] == '\n')
            mask |= std::uint64_t(1) << k;
    }
    return mask;
}

const char replacement[] = "\xEF\xBF\xBD";

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
        out += replacement;
        i += utf8_invalid_run(s, i, n);
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
        if (u >= 0xD800 && u <= 0xDFFF)
            out += replacement; // a surrogate without its partner
        else
            append_code_point(out, u);
    }
    if (i < n)
        out += replacement; // an odd byte at the end
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
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            out += replacement;
        else
            append_code_point(out, cp);
    }
    if (i < n)
        out += replacement;
    return out;
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

// The detector's guess for the text, or an empty string when it has none. It is given the part
// of the file around the first non-ASCII byte, since the ASCII before it says nothing.
std::string detect_charset(const unsigned char* s, std::size_t begin, std::size_t n)
{
    std::size_t first = begin;
    while (first < n && s[first] < 0x80)
        ++first;
    const std::size_t from = first - std::min<std::size_t>(first - begin, 4096);
    const std::size_t len = std::min<std::size_t>(n - from, 4u << 20);
    uchardet_t ud = uchardet_new();
    if (!ud)
        return {};
    uchardet_handle_data(ud, reinterpret_cast<const char*>(s) + from, len);
    uchardet_data_end(ud);
    const char* name = uchardet_get_charset(ud);
    std::string charset = name ? name : "";
    uchardet_delete(ud);
    for (char& c : charset)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return charset;
}

// Converts with iconv; a byte sequence it cannot convert becomes U+FFFD and conversion goes on
// after its first byte. False when iconv does not know the character set.
bool convert_with_iconv(
    const std::string& charset, const unsigned char* s, std::size_t begin, std::size_t n, std::string& out)
{
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    out.assign((n - begin) * 3 / 2 + 64, '\0');
    char* in = const_cast<char*>(reinterpret_cast<const char*>(s) + begin);
    std::size_t in_left = n - begin;
    std::size_t done = 0;
    auto grow = [&](std::size_t need) {
        if (out.size() - done < need)
            out.resize(std::max(out.size() * 2, done + need));
    };
    while (in_left > 0) {
        char* o = &out[done];
        std::size_t out_left = out.size() - done;
        const std::size_t r = iconv(cd, &in, &in_left, &o, &out_left);
        done = out.size() - out_left;
        if (r != static_cast<std::size_t>(-1))
            break;
        if (errno == E2BIG) {
            grow(out.size());
        } else if (errno == EILSEQ || errno == EINVAL) {
            grow(3);
            std::memcpy(&out[done], replacement, 3);
            done += 3;
            ++in;
            --in_left;
            iconv(cd, nullptr, nullptr, nullptr, nullptr); // back to the initial shift state
        } else {
            break;
        }
    }
    // Flush what a stateful encoding may still hold.
    for (;;) {
        grow(16);
        char* o = &out[done];
        std::size_t out_left = out.size() - done;
        const std::size_t r = iconv(cd, nullptr, nullptr, &o, &out_left);
        done = out.size() - out_left;
        if (r != static_cast<std::size_t>(-1) || errno != E2BIG)
            break;
        grow(out.size());
    }
    iconv_close(cd);
    out.resize(done);
    return true;
}

file_text decoded(std::string text, const char* charset)
{
    // The text is held as long as its rows: room reserved for a worse case goes back.
    if (text.capacity() - text.size() > text.size() / 16)
        text.shrink_to_fit();
    file_text t;
    t.end = text.size();
    t.block = make_block(std::move(text));
    t.charset = charset;
    return t;
}

} // namespace

// The character set is chosen in this order:
//  1. a byte-order mark: UTF-8, UTF-32 LE/BE, UTF-16 LE/BE (the mark is not text);
//  2. NUL bytes at alternate positions: UTF-16 without a mark (see looks_like_utf16);
//  3. well-formed UTF-8 (ASCII included) is UTF-8 and is used as it is;
//  4. the detector's guess: UTF-8 (mostly well-formed text) is kept with U+FFFD for what is
//     not; another set is converted by iconv, ISO-8859-1 read as its superset Windows-1252,
//     whose letters in 0x80..0x9F Latin text means far more often than C1 controls;
//  5. Windows-1252 when the detector has no guess, guesses ASCII, or names a set iconv does
//     not know.
file_text decode_text(std::shared_ptr<const text_block> raw)
{
    const auto* s = reinterpret_cast<const unsigned char*>(raw->data());
    const std::size_t n = raw->size();

    auto starts_with = [&](const char* mark, std::size_t len) { return n >= len && std::memcmp(s, mark, len) == 0; };
    std::size_t begin = 0;
    const char* bom = nullptr;
    if (starts_with("\xEF\xBB\xBF", 3)) {
        begin = 3;
        bom = "UTF-8";
    } else if (starts_with("\xFF\xFE\0\0", 4)) {
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

    const std::size_t valid = utf8_valid_until(s, begin, n);
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

    std::string charset = detect_charset(s, begin, n);
    if (charset == "UTF-8")
        return decoded(repair_utf8(s, begin, valid, n), "UTF-8");
    if (charset == "ISO-8859-1")
        charset = "WINDOWS-1252";
    std::string text;
    if (!charset.empty() && charset != "ASCII" && convert_with_iconv(charset, s, 0, n, text))
        return decoded(std::move(text), charset.c_str());
    convert_with_iconv("WINDOWS-1252", s, 0, n, text);
    return decoded(std::move(text), "WINDOWS-1252");
}

// ---- line_file ------------------------------------------------------------------------------

line_file::~line_file()
{
    close();
}

bool line_file::open(const std::string& host_path)
{
    close();
    error_.clear();
    if (host_path.empty()) {
        error_ = error_text(ENOENT);
        return false;
    }
    // Not blocking in open, so that a named pipe without a writer cannot hang the window.
    const int fd = ::open(host_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        error_ = error_text(errno);
        return false;
    }
    struct stat st;
    const int err = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    // A device has no end that reading could reach (or none worth loading): /dev/zero would
    // fill the memory while the window waits.
    const bool device = !err && (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode));
    if (err || device) {
        error_ = device ? std::string("Is a device") : error_text(err);
        ::close(fd);
        return false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    fd_ = fd;
    return true;
}

void line_file::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void line_file::set_read_function(read_function f)
{
    read_hook.store(f);
}

bool line_file::read_text(file_text& out)
{
    out = file_text {};
    out.block = make_block(std::string());
    out.charset = "UTF-8";
    if (fd_ < 0) {
        if (error_.empty())
            error_ = error_text(EBADF);
        return false;
    }
    const read_function read_fn = read_hook.load() ? read_hook.load() : &::read;

    // One read of the size the file has now; the loop still follows a file that grows or
    // shrinks meanwhile, and files that report no size at all.
    struct stat st;
    std::size_t capacity = 64 * 1024;
    if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
        capacity = static_cast<std::size_t>(st.st_size) + 1; // one more byte sees the end at once
    auto block = std::make_shared<file_buffer>();
    if (!block->reserve(capacity)) {
        error_ = error_text(ENOMEM);
        return false;
    }
    std::size_t size = 0;
    bool failed = false;
    for (;;) {
        if (size == block->capacity()) {
            block->set_size(size);
            if (!block->reserve(size + std::max<std::size_t>(size, 64 * 1024))) {
                error_ = error_text(ENOMEM);
                failed = true;
                break;
            }
        }
        const ssize_t r = read_fn(fd_, block->bytes() + size, block->capacity() - size);
        if (r > 0) {
            size += static_cast<std::size_t>(r);
        } else if (r == 0) {
            break;
        } else if (errno != EINTR) {
            error_ = error_text(errno);
            failed = true;
            break;
        }
    }
    block->set_size(size);
    block->trim();

    out = decode_text(std::move(block));
    if (failed) {
        // The line that the failure cut off is not known whole, so it is not kept.
        const char* text = out.block->data();
        std::size_t end = out.end;
        while (end > out.begin && text[end - 1] != '\n' && text[end - 1] != '\r')
            --end;
        out.end = end;
    }
    return !failed;
}

// ---- kept_lines -----------------------------------------------------------------------------

// Terminators are found 64 bytes at a time and then taken bit by bit, which keeps the cost per
// line small when lines are short and per byte small when they are long.
bool kept_lines::next(std::vector<line_span>& out, std::size_t max)
{
    out.clear();
    if (pos_ >= end_)
        return false;
    std::size_t base = pos_;
    std::uint64_t mask = terminators_at(text_, base, end_);
    std::size_t lf_after_cr = std::size_t(-1); // where the LF of a CRLF sits, once its CR ended a line
    while (out.size() < max) {
        while (mask == 0) {
            base += 64;
            if (base >= end_)
                break;
            mask = terminators_at(text_, base, end_);
        }
        const std::size_t stop = mask ? base + static_cast<std::size_t>(__builtin_ctzll(mask)) : end_;
        mask &= mask - 1;
        if (stop == lf_after_cr) {
            pos_ = stop + 1;
        } else {
            std::size_t i = pos_;
            while (i < stop && text_[i] == ' ')
                ++i;
            if (i < stop)
                out.push_back(line_span {pos_, stop - pos_});
            pos_ = stop + 1;
            if (stop < end_ && text_[stop] == '\r')
                lf_after_cr = stop + 1;
        }
        if (pos_ >= end_) {
            pos_ = end_;
            break;
        }
    }
    // A CRLF split by a full batch: its LF must not start the next batch as an empty line.
    if (pos_ < end_ && pos_ == lf_after_cr && text_[pos_] == '\n')
        ++pos_;
    return !out.empty();
}

} // namespace core
