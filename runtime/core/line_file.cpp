#include "runtime/core/line_file.h"

#include "runtime/core/big_memory.h"
#include "runtime/core/leased_file.h"
#include "runtime/core/thread_pool.h"
#include "runtime/core/utf8.h"
#include "runtime/core/work_gauge.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <new>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace core {

namespace {

// The buffer a file is read into, which becomes the text itself when the file is UTF-8 already.
class file_buffer : public text_block {
public:
    file_buffer() = default;
    file_buffer(const file_buffer&) = delete;
    file_buffer& operator=(const file_buffer&) = delete;
    ~file_buffer() override { big_memory::release(data_, allocated_); }
    const char* data() const override { return data_; }
    std::size_t size() const override { return size_; }

    char* bytes() { return data_; }
    bool mapped() const { return big_memory::is_mapped(allocated_); }
    std::size_t capacity() const { return capacity_; }
    void set_size(std::size_t size) { size_ = size; }

    // Makes room for `capacity` bytes, keeping the first size() of them; false when there is no
    // memory for it (the buffer is then unchanged).
    bool reserve(std::size_t capacity)
    {
        if (capacity <= capacity_)
            return true;
        char* p = nullptr;
        try {
            p = static_cast<char*>(big_memory::allocate(capacity));
        } catch (const std::bad_alloc&) {
            return false;
        }
        if (size_)
            std::memcpy(p, data_, size_);
        big_memory::release(data_, allocated_);
        data_ = p;
        allocated_ = capacity;
        capacity_ = big_memory::usable(capacity);
        return true;
    }

    // Gives back what is well beyond the size (a file that shrank while it was read).
    void trim()
    {
        allocated_ = big_memory::shrink(data_, allocated_, std::max<std::size_t>(size_, 1));
        capacity_ = std::min(capacity_, big_memory::usable(allocated_));
    }

private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::size_t allocated_ = 0; // as asked of big_memory
};

// A regular file of at least this size is read in two halves at once. Fresh memory is cleared
// by the kernel at its first touch, which for a big file costs about as much as copying it from
// the page cache; two threads each do half of both.
constexpr std::size_t split_read_min = 8u << 20;
// The halves are read this much at a time, so that each piece is checked for UTF-8 while it is
// still in the cache rather than read from memory again afterwards.
constexpr std::size_t read_piece = 256u << 10;

// The UTF-8 check of bytes that come in a piece at a time, from a character's start on.
class utf8_follower {
public:
    explicit utf8_follower(std::size_t from)
        : checked_(from)
    {
    }

    // Checks what came in up to `have`; `last` when nothing follows it. A character that the
    // end of a piece cut off is checked with the next piece.
    void follow(const char* s, std::size_t have, bool last)
    {
        if (failed_)
            return;
        const std::size_t valid = utf8_valid_until(reinterpret_cast<const unsigned char*>(s), checked_, have);
        failed_ = valid != have && (last || have - valid >= 4);
        checked_ = valid;
    }

    // Where the check stands: the first ill-formed byte when failed(), else the end of the last
    // whole character.
    std::size_t checked() const { return checked_; }
    bool failed() const { return failed_; }

private:
    std::size_t checked_;
    bool failed_ = false;
};

// Takes in the `size` bytes at `buf`, each half at once on a thread of its own when `parallel`,
// a piece at a time: `fetch(offset, count)` brings in up to `count` bytes at `offset` and says
// how many came (0 at an end, -1 with errno on failure). Each piece is checked for UTF-8 as it
// comes in. Returns how many bytes from the start are in place: all of them, or only the first
// half's when the second did not come in whole (a file that shrank, an error). `utf8_valid` is
// set to where the first ill-formed UTF-8 byte is (or `size`) when all came in, else left alone.
template <class Fetch>
std::size_t take_in_two(const char* buf, std::size_t size, Fetch fetch, bool parallel, std::size_t& utf8_valid)
{
    const std::size_t half = parallel ? size / 2 / 4096 * 4096 : 0;
    std::size_t second = 0; // bytes of the second half in place
    std::size_t second_start = half; // the first character that starts in the second half
    utf8_follower second_check(half);
    const auto take_second = [&] {
        while (second < size - half && !work::stop_asked()) {
            const ssize_t r = fetch(half + second, std::min(read_piece, size - half - second));
            if (r > 0) {
                if (second == 0) {
                    second_start = utf8_char_start(
                        reinterpret_cast<const unsigned char*>(buf), half, half + static_cast<std::size_t>(r));
                    second_check = utf8_follower(second_start);
                }
                second += static_cast<std::size_t>(r);
                second_check.follow(buf, half + second, second == size - half);
                work::advance(static_cast<std::size_t>(r));
            } else if (r == 0 || errno != EINTR) {
                break;
            }
        }
    };
    pooled_work other;
    if (half)
        other = pooled_work(take_second);
    else
        take_second();
    std::size_t first = 0;
    utf8_follower first_check(0);
    while (first < half && !work::stop_asked()) {
        const ssize_t r = fetch(first, std::min(read_piece, half - first));
        if (r > 0) {
            first += static_cast<std::size_t>(r);
            first_check.follow(buf, first, false);
            work::advance(static_cast<std::size_t>(r));
        } else if (r == 0 || errno != EINTR) {
            break;
        }
    }
    other.join();
    if (first != half || second != size - half)
        return first;
    // The character that runs over the middle, if any, then the second half's own check.
    if (first_check.failed()) {
        utf8_valid = first_check.checked();
    } else {
        const std::size_t joined
            = utf8_valid_until(reinterpret_cast<const unsigned char*>(buf), first_check.checked(), second_start);
        utf8_valid = joined < second_start ? joined : second_check.checked();
    }
    return size;
}

// Reads the `size` bytes a regular file measured into `buf`, as take_in_two() takes them, and
// leaves the file's offset just past what is in place, for ordinary reading to go on from.
std::size_t read_in_two(int fd, char* buf, std::size_t size, std::size_t& utf8_valid)
{
    const auto fetch = [&](std::size_t offset, std::size_t count) {
        return ::pread(fd, buf + offset, count, static_cast<off_t>(offset));
    };
    const std::size_t in_place = take_in_two(buf, size, fetch, true, utf8_valid);
    if (::lseek(fd, static_cast<off_t>(in_place), SEEK_SET) != off_t(in_place))
        return 0;
    return in_place;
}

// Files from this size on are mapped rather than read, where a lease allows (leased_file.h):
// fresh memory to copy them into costs more than anything done with the text afterwards.
constexpr std::size_t map_min = 8u << 20;

// Brings a mapped file in and checks it for UTF-8; false when it did not all come in.
bool take_mapped(const text_block& block, std::size_t& utf8_valid)
{
    const auto fetch = [&](std::size_t offset, std::size_t count) -> ssize_t {
        return bring_in(block, offset, count) ? static_cast<ssize_t>(count) : -1;
    };
    const bool parallel = second_thread_pays(block.size(), split_read_min);
    return take_in_two(block.data(), block.size(), fetch, parallel, utf8_valid) == block.size();
}

std::string error_text(int err)
{
    return std::strerror(err);
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

} // namespace

// ---- line_file ------------------------------------------------------------------------------

line_file::~line_file()
{
    close();
}

result line_file::open(const std::string& host_path)
{
    close();
    if (host_path.empty())
        return {fault::open_failed, error_text(ENOENT)};
    // Not blocking in open, so that a named pipe without a writer cannot hang the window.
    const int fd = ::open(host_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return {fault::open_failed, error_text(errno)};
    struct stat st;
    const int err = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    // A device has no end that reading could reach (or none worth loading): /dev/zero would
    // fill the memory while the window waits.
    const bool device = !err && (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode));
    if (err || device) {
        ::close(fd);
        return {fault::open_failed, device ? std::string("Is a device") : error_text(err)};
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    fd_ = fd;
    return {};
}

void line_file::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

seam<line_file::read_function>& line_file::read_seam()
{
    static core::seam<read_function> seam;
    return seam;
}

result line_file::read_text(file_text& out)
{
    out = file_text {};
    out.block = make_block(std::string());
    out.charset = "UTF-8";
    if (fd_ < 0)
        return {fault::read_failed, error_text(EBADF)};
    const auto stand_in = read_seam().stand_in();
    const read_function read_fn = stand_in ? *stand_in : &::read;

    // One read of the size the file has now; the loop still follows a file that grows or
    // shrinks meanwhile, and files that report no size at all.
    struct stat st;
    std::size_t capacity = 64 * 1024;
    const bool measured = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
    if (measured)
        capacity = static_cast<std::size_t>(st.st_size) + 1; // one more byte sees the end at once
    work::begin_stage(0, measured ? capacity - 1 : 0);
    if (measured && !stand_in && capacity - 1 >= map_min) {
        try {
            if (const auto mapped = map_leased(fd_, map_min)) {
                std::size_t utf8_valid = 0;
                if (take_mapped(*mapped, utf8_valid)) {
                    out = decode_text(mapped, utf8_valid);
                    return {};
                }
                if (work::stop_asked())
                    return {fault::read_failed, work::cancelled};
                // A piece that could not be brought in: reading meets the same failure and
                // keeps the lines before it.
            }
        } catch (const std::system_error&) {
            // No second thread: read as any file is.
        } catch (const std::bad_alloc&) {
            return {fault::read_failed, error_text(ENOMEM)};
        }
    }
    auto block = std::make_shared<file_buffer>();
    if (!block->reserve(capacity))
        return {fault::read_failed, error_text(ENOMEM)};
    std::size_t size = 0;
    std::string failure; // why reading stopped early; empty when it reached the end
    std::size_t utf8_valid = 0; // what reading in two found of the UTF-8 check
    if (measured && !stand_in && block->mapped() && second_thread_pays(capacity - 1, split_read_min)) {
        try {
            size = read_in_two(fd_, block->bytes(), capacity - 1, utf8_valid);
        } catch (const std::system_error&) {
            // No second thread: read as any file is.
        }
    }
    const std::size_t split_size = size;
    for (;;) {
        if (work::stop_asked()) {
            failure = work::cancelled;
            break;
        }
        if (size == block->capacity()) {
            block->set_size(size);
            if (!block->reserve(size + std::max<std::size_t>(size, 64 * 1024))) {
                failure = error_text(ENOMEM);
                break;
            }
        }
        const std::size_t want = block->capacity() - size;
        const ssize_t r = read_fn(fd_, block->bytes() + size, want);
        if (r > 0) {
            size += static_cast<std::size_t>(r);
            work::advance(static_cast<std::size_t>(r));
        } else if (r == 0) {
            break;
        } else if (errno != EINTR) {
            failure = error_text(errno);
            break;
        }
    }
    block->set_size(size);
    block->trim();

    try {
        // The check made while reading holds only for the bytes it saw: not for a file that
        // grew after it was measured.
        out = decode_text(std::move(block), size == split_size ? utf8_valid : 0);
    } catch (const std::bad_alloc&) {
        // The bytes read are let go, so no line of them is kept: as a failure before the first
        // line end. The empty text made above is still in `out`.
        return {fault::read_failed, error_text(ENOMEM)};
    }
    if (!failure.empty()) {
        // The line that the failure cut off is not known whole, so it is not kept.
        const char* text = out.block->data();
        std::size_t end = out.end;
        while (end > out.begin && text[end - 1] != '\n' && text[end - 1] != '\r')
            --end;
        out.end = end;
        return {fault::read_failed, failure};
    }
    return {};
}

std::size_t past_line_end(const char* text, std::size_t from, std::size_t end)
{
    for (std::size_t i = from; i < end; ++i) {
        if (text[i] == '\n')
            return i + 1;
        if (text[i] == '\r')
            return i + 1 < end && text[i + 1] == '\n' ? i + 2 : i + 1;
    }
    return end;
}

// ---- kept_lines -----------------------------------------------------------------------------

// Terminators are found 64 bytes at a time and then taken bit by bit, which keeps the cost per
// line small when lines are short and per byte small when they are long.
bool kept_lines::next(span_vector& out, std::size_t max)
{
    out.clear();
    cut(out, max);
    return !out.empty();
}

bool kept_lines::append(short_span_vector& out, std::size_t max)
{
    const std::size_t before = out.size();
    cut(out, max);
    return out.size() != before;
}

template <class Spans> void kept_lines::cut(Spans& out, std::size_t max)
{
    using span = typename Spans::value_type;
    using number = decltype(span::offset);
    if (pos_ >= end_)
        return;
    const std::size_t room = std::numeric_limits<std::size_t>::max() - out.size();
    const std::size_t limit = max > room ? std::numeric_limits<std::size_t>::max() : out.size() + max;
    std::size_t base = pos_;
    std::uint64_t mask = terminators_at(text_, base, end_);
    while (out.size() < limit) {
        while (mask == 0) {
            base += 64;
            if (base >= end_)
                break;
            mask = terminators_at(text_, base, end_);
        }
        const std::size_t stop = mask ? base + static_cast<std::size_t>(__builtin_ctzll(mask)) : end_;
        mask &= mask - 1;
        // pos_ is already past `stop` only at the LF of a CRLF that straddles two runs of 64
        // bytes, which ends no line: nothing is kept for it.
        std::size_t i = pos_;
        while (i < stop && text_[i] == ' ')
            ++i;
        if (i < stop)
            out.push_back(span {static_cast<number>(pos_), static_cast<number>(stop - pos_)});
        pos_ = std::max(pos_, stop + 1);
        if (pos_ < end_ && text_[stop] == '\r' && text_[pos_] == '\n') {
            // The LF of a CRLF ends no line either: its bit is dropped at once, which spares a
            // turn of the loop per line of a Windows text.
            const std::size_t bit = pos_ - base;
            if (bit < 64)
                mask &= ~(std::uint64_t(1) << bit);
            ++pos_;
        }
        if (pos_ >= end_) {
            pos_ = end_;
            break;
        }
    }
}

} // namespace core
