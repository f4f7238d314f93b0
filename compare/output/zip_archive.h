#pragma once
// The zip archive a workbook travels in: written front to back into a seekable stream, each
// member's checksum and sizes put back into its header once its data is written, and read back
// by its central directory.

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace core {

class byte_piece;

// A member as the central directory lists it.
struct zip_entry {
    std::string name;
    unsigned method = 0; // 0 stored, 8 deflated
    std::uint32_t crc = 0;
    std::uint64_t packed = 0, size = 0;
    std::uint64_t header_at = 0; // where its local header begins
    bool wide = false; // its sizes are in zip64 fields
};

class zip_writer {
public:
    explicit zip_writer(std::ostream& out)
        : out_(out)
    {
    }

    // Adds a member whose bytes are all at hand, deflated. False when the stream refused bytes.
    bool add(std::string_view name, std::string_view data);

    // Begins a member whose deflated bytes the caller then writes into the stream; its header
    // keeps room for sizes of any length.
    bool begin(std::string_view name);
    // Ends the member begun: its checksum and sizes go back into its header.
    bool end(std::uint32_t crc, std::uint64_t packed, std::uint64_t size);

    // Writes the central directory; the archive is then whole.
    bool finish();

private:
    bool put_local_header(const zip_entry& e, bool sizes_later);

    std::ostream& out_;
    std::vector<zip_entry> entries_;
};

// Raw deflate, one part at a time: a part that is not the last ends on a byte boundary with no
// back-reference into it from what follows, so parts deflated on different threads join into
// one stream, and each can be inflated on its own.
class deflater {
public:
    deflater() noexcept;
    ~deflater();
    deflater(const deflater&) = delete;
    deflater& operator=(const deflater&) = delete;

    // Appends the deflated `in` to `out`; `last` ends the stream. False without the memory.
    bool put(std::string_view in, byte_piece& out, bool last);

private:
    struct state;
    std::unique_ptr<state> s_;
};

// Raw inflate of one such part at a time.
class inflater {
public:
    inflater() noexcept;
    ~inflater();
    inflater(const inflater&) = delete;
    inflater& operator=(const inflater&) = delete;

    // Inflates `in` into `out`, which must come to exactly `size` bytes; `last` parts end the
    // deflate stream, the others must not.
    bool put(std::string_view in, std::uint64_t size, bool last, std::string& out);

private:
    struct state;
    std::unique_ptr<state> s_;
};

// The CRC-32 of `data` after `crc`, the checksum zip keeps.
std::uint32_t zip_crc(std::uint32_t crc, std::string_view data);
// The CRC-32 of two byte runs one after the other, from each one's CRC and the second's length.
std::uint32_t zip_crc_join(std::uint32_t first, std::uint32_t second, std::uint64_t second_size);

// Reads `n` bytes at `at` of the file behind `fd` into `out`; false when the file ends first.
bool read_at(int fd, std::uint64_t at, std::size_t n, std::string& out);

// The members that the central directory of the archive behind `fd` lists, with where each
// one's data begins; false (with the reason) when there is no directory to read.
bool read_zip_directory(int fd, std::vector<zip_entry>& entries, std::vector<std::uint64_t>& data_at, std::string& why);

} // namespace core
