#pragma once
// Writing a long list fast: the rows are turned into bytes a piece at a time on helper threads
// while the pieces before them go to the stream, in order.

#include <functional>
#include <ostream>
#include <string>

namespace core {

// Appends the bytes of rows first..last (1-based, both included) to `piece`. Each thread gets a
// format of its own, which may keep what it worked out for one row to use for the next.
using piece_format = std::function<void(long first, long last, std::string& piece)>;
using piece_format_maker = std::function<piece_format()>;

// Writes rows 1..count to `out` in order. False, with `error` saying why, when the stream
// refused bytes or memory ran out; `out` then holds an unusable part of the list.
bool write_pieces(long count, std::ostream& out, const piece_format_maker& make, std::string& error);

} // namespace core
