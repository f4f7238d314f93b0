#include "compare/output/zip_archive.h"

#include "compare/output/piece_writer.h"
#include "runtime/core/wide_registers.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace core {

namespace {

constexpr std::uint32_t local_signature = 0x04034b50;
constexpr std::uint32_t central_signature = 0x02014b50;
constexpr std::uint32_t end_signature = 0x06054b50;
constexpr std::uint32_t end64_signature = 0x06064b50;
constexpr std::uint32_t locator64_signature = 0x07064b50;
constexpr std::uint32_t no32 = 0xFFFFFFFF; // a field whose value is in the zip64 extra field
constexpr unsigned version_zip64 = 45, version_plain = 20;
// A member whose sizes are known only at its end keeps room in its local header for a zip64
// field, under an id that readers pass over (the one used for padding). Sizes that fit go into
// the header's own fields, as readers that know no zip64 in a local header need; only sizes
// that do not fit turn the room into the zip64 field.
constexpr unsigned padding_id = 0xD935, zip64_id = 1, room_size = 16;
// Every member carries the first moment a zip date can hold, so that the same list always
// makes the same bytes.
constexpr unsigned dos_time = 0, dos_date = (1 << 5) | 1;

template <class Out> void le(Out& out, std::uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint64_t get_le(std::string_view s, std::size_t at, int bytes)
{
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
    return v;
}

bool fits32(std::uint64_t v)
{
    return v < no32;
}

} // namespace

bool zip_writer::put_local_header(const zip_entry& e, bool sizes_later)
{
    std::string h;
    le(h, local_signature, 4);
    le(h, version_plain, 2);
    le(h, 0, 2); // flags
    le(h, e.method, 2);
    le(h, dos_time, 2);
    le(h, dos_date, 2);
    le(h, e.crc, 4);
    le(h, e.packed, 4);
    le(h, e.size, 4);
    le(h, e.name.size(), 2);
    le(h, sizes_later ? 4 + room_size : 0, 2);
    h += e.name;
    if (sizes_later) {
        le(h, padding_id, 2);
        le(h, room_size, 2);
        h.append(room_size, '\0');
    }
    out_.write(h.data(), static_cast<std::streamsize>(h.size()));
    return static_cast<bool>(out_);
}

bool zip_writer::add(std::string_view name, std::string_view data)
{
    zip_entry e;
    e.name.assign(name);
    e.method = 8;
    e.crc = zip_crc(0, data);
    e.size = data.size();
    byte_piece packed;
    deflater d;
    if (!d.put(data, packed, true))
        return false;
    e.packed = packed.size();
    e.header_at = static_cast<std::uint64_t>(out_.tellp());
    if (!out_ || !fits32(e.size) || !put_local_header(e, false))
        return false;
    out_.write(packed.data(), static_cast<std::streamsize>(packed.size()));
    entries_.push_back(std::move(e));
    return static_cast<bool>(out_);
}

bool zip_writer::begin(std::string_view name)
{
    zip_entry e;
    e.name.assign(name);
    e.method = 8;
    e.header_at = static_cast<std::uint64_t>(out_.tellp());
    if (!out_ || !put_local_header(e, true))
        return false;
    entries_.push_back(std::move(e));
    return true;
}

bool zip_writer::end(std::uint32_t crc, std::uint64_t packed, std::uint64_t size)
{
    zip_entry& e = entries_.back();
    e.crc = crc;
    e.packed = packed;
    e.size = size;
    e.wide = !fits32(size) || !fits32(packed);
    const std::streampos after = out_.tellp();
    std::string field;
    le(field, crc, 4);
    le(field, e.wide ? no32 : packed, 4);
    le(field, e.wide ? no32 : size, 4);
    out_.seekp(static_cast<std::streamoff>(e.header_at + 14));
    out_.write(field.data(), static_cast<std::streamsize>(field.size()));
    if (e.wide) {
        field.clear();
        le(field, version_zip64, 2);
        out_.seekp(static_cast<std::streamoff>(e.header_at + 4));
        out_.write(field.data(), 2);
        field.clear();
        le(field, zip64_id, 2);
        le(field, room_size, 2);
        le(field, size, 8);
        le(field, packed, 8);
        out_.seekp(static_cast<std::streamoff>(e.header_at + 30 + e.name.size()));
        out_.write(field.data(), static_cast<std::streamsize>(field.size()));
    }
    out_.seekp(after);
    return static_cast<bool>(out_);
}

bool zip_writer::finish()
{
    const auto directory_at = static_cast<std::uint64_t>(out_.tellp());
    if (!out_)
        return false;
    std::string d;
    for (const zip_entry& e : entries_) {
        // A member whose local header has the zip64 field says so here too.
        const bool wide = e.wide;
        const bool far = !fits32(e.header_at);
        std::string extra;
        if (wide) {
            le(extra, e.size, 8);
            le(extra, e.packed, 8);
        }
        if (far)
            le(extra, e.header_at, 8);
        le(d, central_signature, 4);
        le(d, version_zip64, 2);
        le(d, wide || far ? version_zip64 : version_plain, 2);
        le(d, 0, 2);
        le(d, e.method, 2);
        le(d, dos_time, 2);
        le(d, dos_date, 2);
        le(d, e.crc, 4);
        le(d, wide ? no32 : e.packed, 4);
        le(d, wide ? no32 : e.size, 4);
        le(d, e.name.size(), 2);
        le(d, extra.empty() ? 0 : extra.size() + 4, 2);
        le(d, 0, 2); // comment
        le(d, 0, 2); // disk
        le(d, 0, 2); // internal attributes
        le(d, 0, 4); // external attributes
        le(d, far ? no32 : e.header_at, 4);
        d += e.name;
        if (!extra.empty()) {
            le(d, 1, 2);
            le(d, extra.size(), 2);
            d += extra;
        }
    }
    const std::uint64_t directory_size = d.size();
    const std::uint64_t end64_at = directory_at + directory_size;
    const bool zip64 = !fits32(directory_at) || !fits32(end64_at) || entries_.size() >= 0xFFFF;
    if (zip64) {
        le(d, end64_signature, 4);
        le(d, 44, 8);
        le(d, version_zip64, 2);
        le(d, version_zip64, 2);
        le(d, 0, 4);
        le(d, 0, 4);
        le(d, entries_.size(), 8);
        le(d, entries_.size(), 8);
        le(d, directory_size, 8);
        le(d, directory_at, 8);
        le(d, locator64_signature, 4);
        le(d, 0, 4);
        le(d, end64_at, 8);
        le(d, 1, 4);
    }
    le(d, end_signature, 4);
    le(d, 0, 2);
    le(d, 0, 2);
    le(d, zip64 ? 0xFFFF : entries_.size(), 2);
    le(d, zip64 ? 0xFFFF : entries_.size(), 2);
    le(d, zip64 ? no32 : directory_size, 4);
    le(d, zip64 ? no32 : directory_at, 4);
    le(d, 0, 2);
    out_.write(d.data(), static_cast<std::streamsize>(d.size()));
    out_.flush();
    return static_cast<bool>(out_);
}

// Level 1 of the fast deflate: on a sheet's rows it packs as tightly as zlib's fastest level
// in a quarter of the time.
struct deflater::state {
    isal_zstream z {};
    std::unique_ptr<std::uint8_t[]> level_buffer {new std::uint8_t[ISAL_DEF_LVL1_DEFAULT]};
};

deflater::deflater() noexcept
{
    try {
        s_ = std::make_unique<state>();
    } catch (const std::bad_alloc&) {
        return; // put() then says there was no memory
    }
    isal_deflate_init(&s_->z);
}

deflater::~deflater() = default;

bool deflater::put(std::string_view in, byte_piece& out, bool last)
{
    if (!s_)
        return false;
    isal_zstream& z = s_->z;
    isal_deflate_reset(&z);
    z.level = 1;
    z.level_buf = s_->level_buffer.get();
    z.level_buf_size = ISAL_DEF_LVL1_DEFAULT;
    z.gzip_flag = IGZIP_DEFLATE;
    // The stream counts in 32 bits: a part bigger than that goes in several calls.
    constexpr std::size_t most = std::size_t(1) << 30;
    std::size_t done = 0;
    for (;;) {
        const std::size_t n = std::min(in.size() - done, most);
        const bool final_call = done + n == in.size();
        z.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(in.data() + done));
        z.avail_in = static_cast<std::uint32_t>(n);
        z.end_of_stream = final_call && last ? 1 : 0;
        z.flush = final_call && !last ? SYNC_FLUSH : NO_FLUSH;
        // Done once all is taken in and room is left over, which means all is flushed too.
        do {
            // Room for the bytes kept as they are, should they not pack, and their blocks' heads.
            const std::size_t room = z.avail_in + z.avail_in / 64 + 4096;
            char* to = out.append_room(room);
            z.next_out = reinterpret_cast<std::uint8_t*>(to);
            z.avail_out = static_cast<std::uint32_t>(room);
            const int status = isal_deflate(&z);
            clean_wide_registers(); // the deflate leaves them in use, which slows the next part's formatting
            out.drop(z.avail_out);
            if (status != COMP_OK)
                return false;
        } while (z.avail_in != 0 || z.avail_out == 0 || (z.end_of_stream && z.internal_state.state != ZSTATE_END));
        done += n;
        if (final_call)
            return true;
    }
}

struct inflater::state {
    inflate_state z {};
};

inflater::inflater() noexcept
{
    try {
        s_ = std::make_unique<state>();
    } catch (const std::bad_alloc&) {
        return; // put() then fails
    }
    isal_inflate_init(&s_->z);
}

inflater::~inflater() = default;

bool inflater::put(std::string_view in, std::uint64_t size, bool last, std::string& out)
{
    if (!s_ || size > (std::uint64_t(1) << 40))
        return false;
    inflate_state& z = s_->z;
    isal_inflate_reset(&z);
    z.crc_flag = ISAL_DEFLATE;
    out.resize(static_cast<std::size_t>(size));
    z.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(in.data()));
    z.next_out = reinterpret_cast<std::uint8_t*>(out.data());
    std::size_t in_left = in.size(), out_left = out.size();
    constexpr std::size_t most = std::size_t(1) << 30;
    for (;;) {
        z.avail_in = static_cast<std::uint32_t>(std::min(in_left, most));
        z.avail_out = static_cast<std::uint32_t>(std::min(out_left, most));
        const std::uint32_t in_given = z.avail_in, out_given = z.avail_out;
        const int status = isal_inflate(&z);
        clean_wide_registers(); // as the deflate does
        if (status != ISAL_DECOMP_OK)
            return false;
        in_left -= in_given - z.avail_in;
        out_left -= out_given - z.avail_out;
        if (z.block_state == ISAL_BLOCK_FINISH || (in_left == 0 && out_left == 0))
            break;
        if (in_given == z.avail_in && out_given == z.avail_out)
            return false; // stuck: the part ends before its bytes do
    }
    if (in_left != 0 || out_left != 0)
        return false;
    // The decoder reads ahead, so it may hold the part's last bits still: they must decode to
    // the end of a block, or of the stream for the last part, and to no byte more.
    unsigned char spare[16];
    z.next_out = spare;
    z.avail_out = sizeof spare;
    z.avail_in = 0;
    const int status = isal_inflate(&z);
    clean_wide_registers();
    if (status != ISAL_DECOMP_OK || z.avail_out != sizeof spare)
        return false;
    if (last)
        return z.block_state == ISAL_BLOCK_FINISH && z.read_in_length < 8;
    return z.read_in_length == 0 && (z.block_state == ISAL_BLOCK_NEW_HDR || z.block_state == ISAL_BLOCK_HDR);
}

std::uint32_t zip_crc(std::uint32_t crc, std::string_view data)
{
    // Same polynomial, start and end as zlib's crc32(), several times faster on long runs.
    const std::uint32_t sum = crc32_gzip_refl(crc, reinterpret_cast<const unsigned char*>(data.data()), data.size());
    clean_wide_registers();
    return sum;
}

std::uint32_t zip_crc_join(std::uint32_t first, std::uint32_t second, std::uint64_t second_size)
{
    return static_cast<std::uint32_t>(crc32_combine(first, second, static_cast<z_off_t>(second_size)));
}

bool read_at(int fd, std::uint64_t at, std::size_t n, std::string& out)
{
    out.resize(n);
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd, &out[got], n - got, static_cast<off_t>(at + got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        got += static_cast<std::size_t>(r);
    }
    return true;
}

bool read_zip_directory(int fd, std::vector<zip_entry>& entries, std::vector<std::uint64_t>& data_at, std::string& why)
{
    entries.clear();
    data_at.clear();
    const off_t length = ::lseek(fd, 0, SEEK_END);
    if (length < 22) {
        why = "the archive is cut short";
        return false;
    }
    const auto size = static_cast<std::uint64_t>(length);
    // The end record has no comment here, so it is the last 22 bytes.
    std::string end;
    if (!read_at(fd, size - 22, 22, end) || get_le(end, 0, 4) != end_signature) {
        why = "the archive has no end record";
        return false;
    }
    std::uint64_t count = get_le(end, 10, 2), directory_size = get_le(end, 12, 4), directory_at = get_le(end, 16, 4);
    if (count == 0xFFFF || directory_size == no32 || directory_at == no32) {
        std::string locator, end64;
        if (size < 22 + 20 || !read_at(fd, size - 22 - 20, 20, locator) || get_le(locator, 0, 4) != locator64_signature
            || !read_at(fd, get_le(locator, 8, 8), 56, end64) || get_le(end64, 0, 4) != end64_signature) {
            why = "the archive's zip64 end record is missing";
            return false;
        }
        count = get_le(end64, 32, 8);
        directory_size = get_le(end64, 40, 8);
        directory_at = get_le(end64, 48, 8);
    }
    std::string d;
    if (directory_at + directory_size > size || directory_size > std::numeric_limits<std::size_t>::max()
        || !read_at(fd, directory_at, static_cast<std::size_t>(directory_size), d)) {
        why = "the archive's directory lies outside it";
        return false;
    }
    std::size_t at = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (at + 46 > d.size() || get_le(d, at, 4) != central_signature) {
            why = "the archive's directory is damaged";
            return false;
        }
        zip_entry e;
        e.method = static_cast<unsigned>(get_le(d, at + 10, 2));
        e.crc = static_cast<std::uint32_t>(get_le(d, at + 16, 4));
        e.packed = get_le(d, at + 20, 4);
        e.size = get_le(d, at + 24, 4);
        const std::size_t name_size = get_le(d, at + 28, 2), extra_size = get_le(d, at + 30, 2),
                          comment_size = get_le(d, at + 32, 2);
        e.header_at = get_le(d, at + 42, 4);
        if (at + 46 + name_size + extra_size + comment_size > d.size()) {
            why = "the archive's directory is damaged";
            return false;
        }
        e.name = d.substr(at + 46, name_size);
        // The zip64 field holds, in this order, those of the three that did not fit.
        for (std::size_t x = at + 46 + name_size; x + 4 <= at + 46 + name_size + extra_size;) {
            const std::size_t id = get_le(d, x, 2), len = get_le(d, x + 2, 2);
            if (id == 1) {
                std::size_t f = x + 4;
                for (std::uint64_t* field : {&e.size, &e.packed, &e.header_at})
                    if (*field == no32 && f + 8 <= x + 4 + len) {
                        *field = get_le(d, f, 8);
                        f += 8;
                    }
            }
            x += 4 + len;
        }
        std::string local;
        if (!read_at(fd, e.header_at, 30, local) || get_le(local, 0, 4) != local_signature) {
            why = "the member " + e.name + " has no header where the directory says";
            return false;
        }
        const std::uint64_t begins = e.header_at + 30 + get_le(local, 26, 2) + get_le(local, 28, 2);
        std::string local_name;
        if (!read_at(fd, e.header_at + 30, name_size, local_name) || local_name != e.name || begins + e.packed > size) {
            why = "the member " + e.name + " does not lie where the directory says";
            return false;
        }
        data_at.push_back(begins);
        entries.push_back(std::move(e));
        at += 46 + name_size + extra_size + comment_size;
    }
    return true;
}

} // namespace core
