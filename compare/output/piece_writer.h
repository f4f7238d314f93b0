#pragma once
// Writing a long list fast: the rows are turned into bytes a piece at a time on helper threads
// while the pieces before them go to the stream, in order.

#include "runtime/core/result.h"

#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace core {

// The bytes of one piece. Appending checks for room once and copies; the memory stays for the
// next piece.
class byte_piece {
public:
    byte_piece& operator+=(std::string_view s)
    {
        if (cap_ - size_ < s.size())
            grow_to(size_ + s.size());
        if (!s.empty())
            std::memcpy(data_.get() + size_, s.data(), s.size());
        size_ += s.size();
        return *this;
    }
    byte_piece& operator+=(char c)
    {
        if (cap_ == size_)
            grow_to(size_ + 1);
        data_[size_++] = c;
        return *this;
    }
    // Makes `n` more bytes part of the piece and returns where they begin, for the caller to
    // fill; drop() then gives back those it did not use.
    char* append_room(std::size_t n)
    {
        if (cap_ - size_ < n)
            grow_to(size_ + n);
        size_ += n;
        return data_.get() + size_ - n;
    }
    void drop(std::size_t n) { size_ -= n; }
    const char* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    void clear() { size_ = 0; }

private:
    void grow_to(std::size_t at_least);

    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0, cap_ = 0;
};

// Appends the bytes of rows first..last (1-based, both included) to `piece`. Each thread gets a
// format of its own, which may keep what it worked out for one row to use for the next.
using piece_format = std::function<void(long first, long last, byte_piece& piece)>;
using piece_format_maker = std::function<piece_format()>;

// How many rows a piece holds: piece k (from 0) is rows k * rows_per_piece + 1 on.
constexpr long rows_per_piece = 16384;

// Writes rows 1..count to `out` in order. Fails (write_failed) when the stream refused bytes or
// memory ran out; `out` then holds an unusable part of the list.
result write_pieces(long count, std::ostream& out, const piece_format_maker& make);

} // namespace core
