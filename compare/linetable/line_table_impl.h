#pragma once
// The inside of a line table, shared by the table itself and the compare engine, which builds
// its result lists straight from row references.

#include "compare/linetable/line_table.h"
#include "runtime/core/big_memory.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace core {
namespace detail {

// One row: es_text as a reference into a shared block, es_text2 as an index into the table's
// pool of second texts (0 = empty). Sixteen bytes, so a million rows cost 16 MB.
// No member initialisers: arrays of millions of rows that are about to be written whole are
// not cleared first (see big_allocator); `row_ref {}` is the empty row.
struct row_ref {
    const char* text;
    std::uint32_t len;
    std::uint32_t text2;

    std::string_view view() const { return {text, len}; }
};
static_assert(sizeof(row_ref) == 16, "rows must stay small");

// The rows of a table or of a list on its way to one.
using row_vector = std::vector<row_ref, big_allocator<row_ref>>;

// A table's rows: its own array, or a run of an array that other tables hold too. The result
// lists of a compare are parts of one array (the combined list is the others with headings in
// between), so they share it rather than each copying millions of rows. Reading never copies;
// a table that changes its rows first takes a copy of its own (own()), so no table ever sees
// another's change.
class row_store {
public:
    std::size_t size() const { return whole_ ? (v_ ? v_->size() : 0) : n_; }
    bool empty() const { return size() == 0; }
    const row_ref* data() const { return v_ ? v_->data() + first_ : nullptr; }
    const row_ref* begin() const { return data(); }
    const row_ref* end() const { return data() + size(); }
    const row_ref& operator[](std::size_t i) const { return v_->data()[first_ + i]; }
    // Room for rows without moving them; a shared array has none to spare.
    std::size_t capacity() const { return whole_ && v_ && v_.use_count() == 1 ? v_->capacity() : size(); }

    // The rows as this table's own array, to change: what is shared is copied first.
    row_vector& own()
    {
        if (!v_) {
            v_ = std::make_shared<row_vector>();
        } else if (!whole_ || v_.use_count() != 1) {
            v_ = std::make_shared<row_vector>(begin(), end());
            first_ = 0;
            whole_ = true;
        }
        return *v_;
    }

    // Takes `rows` as this table's own; `rows` is left empty.
    void adopt(row_vector&& rows)
    {
        v_ = std::make_shared<row_vector>(std::move(rows));
        first_ = n_ = 0;
        whole_ = true;
    }

    // Shows rows[first, first + n) of an array that other tables may show too.
    void share(std::shared_ptr<const row_vector> rows, std::size_t first, std::size_t n)
    {
        // Never written through: own() copies whatever is shared before a change.
        v_ = std::const_pointer_cast<row_vector>(std::move(rows));
        first_ = first;
        n_ = n;
        whole_ = false;
    }
    // The whole array, for other tables to share; null while there are no rows.
    std::shared_ptr<const row_vector> array() const { return v_; }

    // Lets go of the rows (and of the array, once no table shows it).
    void clear()
    {
        v_.reset();
        first_ = n_ = 0;
        whole_ = true;
    }

private:
    std::shared_ptr<row_vector> v_;
    std::size_t first_ = 0;
    std::size_t n_ = 0; // while not whole
    bool whole_ = true; // the view is all of v_, whatever its size
};

// Asks the memory for a row's text from `from` on, ahead of its use. Half of all lines cross a
// cache line, so both ends are asked for.
inline void prefetch_text(const row_ref& r, std::uint32_t from = 0)
{
    // Reckoned as a number: an empty row has no text, and a null pointer may not be offset.
    const auto at = reinterpret_cast<std::uintptr_t>(r.text);
    __builtin_prefetch(reinterpret_cast<const char*>(at + from));
    __builtin_prefetch(reinterpret_cast<const char*>(at + (r.len ? r.len - 1 : 0)));
}

// Ascending text order of the whole program: Unicode code-point order, which for UTF-8 is the
// order of the bytes taken as unsigned (memcmp), a shorter text before any text it begins.
// It is the same on every machine and in every locale; letter case and accents get no special
// treatment.
inline int compare_text(const char* a, std::size_t alen, const char* b, std::size_t blen)
{
    const std::size_t n = alen < blen ? alen : blen;
    if (n != 0) {
        const int c = std::memcmp(a, b, n);
        if (c != 0)
            return c;
    }
    return alen < blen ? -1 : (alen > blen ? 1 : 0);
}

inline int compare_text(std::string_view a, std::string_view b)
{
    return compare_text(a.data(), a.size(), b.data(), b.size());
}

inline int compare_rows(const row_ref& a, const row_ref& b)
{
    return compare_text(a.text, a.len, b.text, b.len);
}

// The first eight bytes of a text as a big-endian number, zero-padded: comparing two of them
// orders texts as compare_text does, except that equal prefixes need the full comparison.
inline std::uint64_t text_prefix(const char* p, std::uint32_t len)
{
    std::uint64_t v = 0;
    if (len >= 8) {
        std::memcpy(&v, p, 8);
        return __builtin_bswap64(v);
    }
    unsigned char buf[8] = {};
    if (len != 0)
        std::memcpy(buf, p, len);
    std::memcpy(&v, buf, 8);
    return __builtin_bswap64(v);
}

// Writable tail storage of a table: text is appended, never changed or moved, so rows of other
// tables may keep pointing into what was written before.
class arena_block final : public text_block {
public:
    explicit arena_block(std::size_t capacity)
        : buf_(new char[capacity])
        , capacity_(capacity)
    {
    }
    const char* data() const override { return buf_.get(); }
    std::size_t size() const override { return used_; }
    std::size_t room() const { return capacity_ - used_; }
    const char* append(std::string_view s)
    {
        char* p = buf_.get() + used_;
        if (!s.empty())
            std::memcpy(p, s.data(), s.size());
        used_ += s.size();
        return p;
    }

private:
    std::unique_ptr<char[]> buf_;
    std::size_t capacity_;
    std::size_t used_ = 0;
};

struct sort_term {
    column col;
    bool ascending;
};

// Parses "name L[, name L]..." with L one of A (ascending) or D (descending); false if it
// does not parse.
bool parse_sort(std::string_view expression, std::vector<sort_term>& out);

} // namespace detail

struct line_table::impl {
    detail::row_store rows;
    // Every block a row or a second text points into; shared with the tables rows were copied to.
    std::vector<std::shared_ptr<const text_block>> blocks;
    std::shared_ptr<detail::arena_block> arena;
    // Second texts, each once; [0] is the empty text.
    std::vector<std::string_view> texts2 {std::string_view {}};
    std::unordered_map<std::string_view, std::uint32_t> text2_index;

    std::vector<detail::sort_term> sort_terms;
    bool failed = false;
    // Known to be in ascending es_text order (cleared by any change that may break it).
    bool sorted_by_text = true;

    void clear();
    // Keeps `b` alive with this table unless it already does.
    void keep_block(const std::shared_ptr<const text_block>& b);
    void keep_blocks_of(const impl& other);
    // A stable copy of `s` in this table's own storage.
    std::string_view store(std::string_view s);
    // The pool index of `s`, adding it (copied into own storage) when new.
    std::uint32_t intern2(std::string_view s);
    // The pool index of a second text that already lives in a block this table keeps.
    std::uint32_t intern2_kept(std::string_view s);
    // False (and the table failed) when `extra` more rows would pass the row limit.
    bool room_for(std::size_t extra);
    // How many more rows the row limit allows.
    std::size_t room_left() const;
};

// Access to a table's inside for the core code that builds tables in bulk.
struct line_table_access {
    static line_table::impl& of(line_table& t) { return *t.d_; }
    static const line_table::impl& of(const line_table& t) { return *t.d_; }
};

} // namespace core
