#include "compare/output/xlsx_readback.h"

#include <zlib.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string_view>

namespace core {

namespace {

constexpr std::string_view sheet_end = "</worksheet>";
constexpr std::string_view row_start = "<row ";

unsigned le16(const std::string& s, std::size_t at)
{
    return static_cast<unsigned char>(s[at]) | static_cast<unsigned>(static_cast<unsigned char>(s[at + 1])) << 8;
}

// Where the deflated data of the archive member `name` starts, or npos; `method` gets its
// compression method. Local headers are searched, since they stand before their data whatever
// the central directory says.
std::size_t member_data(const std::string& zip, std::string_view name, unsigned& method)
{
    constexpr std::string_view local_header("PK\x03\x04", 4);
    for (std::size_t at = zip.find(local_header); at != std::string::npos; at = zip.find(local_header, at + 4)) {
        if (at + 30 > zip.size())
            break;
        const std::size_t name_len = le16(zip, at + 26);
        const std::size_t extra_len = le16(zip, at + 28);
        if (name_len == name.size() && at + 30 + name_len <= zip.size()
            && std::string_view(zip).substr(at + 30, name_len) == name) {
            method = le16(zip, at + 8);
            const std::size_t data = at + 30 + name_len + extra_len;
            return data <= zip.size() ? data : std::string::npos;
        }
    }
    return std::string::npos;
}

// Whether the archive member `name` is a whole sheet of `rows` rows.
bool sheet_is_whole(const std::string& zip, const std::string& name, long rows)
{
    unsigned method = 0;
    const std::size_t data = member_data(zip, name, method);
    if (data == std::string::npos || method != Z_DEFLATED)
        return false;

    z_stream z {};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK)
        return false;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zip.data() + data));
    z.avail_in = static_cast<uInt>(zip.size() - data);
    long found = 0;
    std::string window; // the newest bytes of the sheet, the last few of the chunk before first
    char chunk[1 << 16];
    int r = Z_OK;
    while (r == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        r = inflate(&z, Z_NO_FLUSH);
        if (r != Z_OK && r != Z_STREAM_END)
            break;
        // A row start that ends in the new bytes has not been counted yet.
        const std::size_t old = window.size();
        window.append(chunk, sizeof chunk - z.avail_out);
        const std::size_t from = old >= row_start.size() ? old - (row_start.size() - 1) : 0;
        for (std::size_t p = window.find(row_start, from); p != std::string::npos; p = window.find(row_start, p + 1))
            ++found;
        const std::size_t keep = sheet_end.size();
        if (window.size() > keep)
            window.erase(0, window.size() - keep);
    }
    inflateEnd(&z);
    if (r != Z_STREAM_END)
        return false;
    if (window.size() < sheet_end.size()
        || window.compare(window.size() - sheet_end.size(), std::string::npos, sheet_end) != 0)
        return false;
    return found == rows;
}

} // namespace

bool xlsx_sheets_are_whole(const std::string& path, const std::vector<long>& rows, std::string& error)
{
    error = "the workbook was not written whole (the disk may be full)";
    std::ifstream in(path, std::ios::binary);
    const std::string zip((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return false;
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (!sheet_is_whole(zip, "xl/worksheets/sheet" + std::to_string(i + 1) + ".xml", rows[i]))
            return false;
    error.clear();
    return true;
}

} // namespace core
