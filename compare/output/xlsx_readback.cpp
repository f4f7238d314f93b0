#include "compare/output/xlsx_readback.h"

#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <string_view>

namespace core {

namespace {

constexpr std::string_view sheet_end = "</worksheet>";
constexpr std::string_view row_start = "<row ";

unsigned le16(const char* p)
{
    return static_cast<unsigned char>(p[0]) | static_cast<unsigned>(static_cast<unsigned char>(p[1])) << 8;
}

// The archive read from its start a megabyte at a time, so that checking a workbook of any size
// needs no more memory than that.
class archive_stream {
public:
    explicit archive_stream(const std::string& path)
        : in_(path, std::ios::binary)
        , buffer_(1 << 20, '\0')
    {
    }

    bool bad() const { return in_.bad(); }
    std::string_view held() const { return std::string_view(buffer_).substr(begin_, end_ - begin_); }
    void consume(std::size_t n) { begin_ += n; }

    // Makes at least `n` bytes held unless the file ends first; false then.
    bool hold(std::size_t n)
    {
        if (end_ - begin_ >= n)
            return true;
        buffer_.erase(0, begin_);
        end_ -= begin_;
        begin_ = 0;
        if (buffer_.size() < n)
            buffer_.resize(n);
        while (end_ < n && in_) {
            in_.read(&buffer_[end_], static_cast<std::streamsize>(buffer_.size() - end_));
            end_ += static_cast<std::size_t>(in_.gcount());
        }
        return end_ - begin_ >= n;
    }

    // Moves to the next local header of a member and returns its name with `method` set to its
    // compression method, the header consumed; false at the end of the file.
    bool next_member(std::string& name, unsigned& method)
    {
        constexpr std::string_view local_header("PK\x03\x04", 4);
        for (;;) {
            if (!hold(30))
                return false;
            const std::size_t at = held().find(local_header);
            if (at == std::string_view::npos) {
                consume(held().size() - (local_header.size() - 1)); // a signature may straddle the refill
                continue;
            }
            consume(at);
            if (!hold(30))
                return false;
            const char* h = held().data();
            const std::size_t name_len = le16(h + 26), extra_len = le16(h + 28);
            method = le16(h + 8);
            if (!hold(30 + name_len + extra_len))
                return false;
            name.assign(held().data() + 30, name_len);
            consume(30 + name_len + extra_len);
            return true;
        }
    }

private:
    std::ifstream in_;
    std::string buffer_;
    std::size_t begin_ = 0, end_ = 0;
};

// A raw deflate stream being inflated, ended when it goes. It stays where it was made: the
// stream's state points back at it.
class inflater {
public:
    inflater() noexcept
        : open_(inflateInit2(&z_, -MAX_WBITS) == Z_OK)
    {
    }
    ~inflater()
    {
        if (open_)
            inflateEnd(&z_);
    }
    inflater(const inflater&) = delete;
    inflater& operator=(const inflater&) = delete;

    // False when the stream could not be set up.
    bool is_open() const noexcept { return open_; }
    z_stream& get() noexcept { return z_; }

private:
    z_stream z_ {};
    bool open_;
};

// Whether the deflated member at the stream's position is a whole sheet of `rows` rows; the
// stream is left just after the member's data.
bool sheet_is_whole(archive_stream& zip, long rows)
{
    inflater inflating;
    if (!inflating.is_open())
        return false;
    z_stream& z = inflating.get();
    long found = 0;
    std::string window; // the newest bytes of the sheet, the last few of the chunk before first
    char chunk[1 << 16];
    int r = Z_OK;
    while (r == Z_OK && zip.hold(1)) {
        const std::string_view in = zip.held();
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        z.avail_in = static_cast<uInt>(in.size());
        while (r == Z_OK && z.avail_in > 0) {
            z.next_out = reinterpret_cast<Bytef*>(chunk);
            z.avail_out = sizeof chunk;
            r = inflate(&z, Z_NO_FLUSH);
            if (r != Z_OK && r != Z_STREAM_END)
                break;
            // A row start that ends in the new bytes has not been counted yet.
            const std::size_t old = window.size();
            window.append(chunk, sizeof chunk - z.avail_out);
            const std::size_t from = old >= row_start.size() ? old - (row_start.size() - 1) : 0;
            for (std::size_t p = window.find(row_start, from); p != std::string::npos;
                 p = window.find(row_start, p + 1))
                ++found;
            const std::size_t keep = sheet_end.size();
            if (window.size() > keep)
                window.erase(0, window.size() - keep);
        }
        zip.consume(in.size() - z.avail_in);
    }
    if (r != Z_STREAM_END)
        return false;
    if (window.size() < sheet_end.size()
        || window.compare(window.size() - sheet_end.size(), std::string::npos, sheet_end) != 0)
        return false;
    return found == rows;
}

} // namespace

result xlsx_sheets_are_whole(const std::string& path, const std::vector<long>& rows)
{
    const result cut {fault::not_whole, "the workbook was not written whole (the disk may be full)"};
    archive_stream zip(path);
    std::vector<bool> whole(rows.size(), false);
    std::string name;
    unsigned method = 0;
    while (zip.next_member(name, method)) {
        // Sheets are named xl/worksheets/sheet1.xml, sheet2.xml, ... in the order of their rows.
        constexpr std::string_view folder = "xl/worksheets/sheet";
        if (name.compare(0, folder.size(), folder) != 0 || name.size() < folder.size() + 5
            || name.compare(name.size() - 4, 4, ".xml") != 0)
            continue;
        const std::string number = name.substr(folder.size(), name.size() - folder.size() - 4);
        if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos || number.size() > 9)
            continue;
        const std::size_t i = std::stoul(number);
        if (i < 1 || i > rows.size() || method != Z_DEFLATED || !sheet_is_whole(zip, rows[i - 1]))
            return cut;
        whole[i - 1] = true;
    }
    if (zip.bad())
        return cut;
    for (const bool w : whole)
        if (!w)
            return cut;
    return {};
}

} // namespace core
