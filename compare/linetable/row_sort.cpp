#include "compare/linetable/row_sort.h"

#include "runtime/core/thread_pool.h"
#include "runtime/core/work_gauge.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <numeric>

namespace core {
namespace detail {

namespace {

// One row in the text sort: bytes of es_text from the current depth (big-endian, zero-padded)
// and what stands for the row, taken together as one 128-bit number. Comparing the numbers
// orders by the bytes, then by the row's old position. Most of the work compares them; the text
// itself is read again only for rows still tied after them. What the two halves hold depends on
// what the rows are read from (see row_array and span_array).
struct [[gnu::may_alias]] text_key {
    std::uint64_t low;
    std::uint64_t high;
};
// The keys are made in the array that then receives the sorted rows (see text_order), so that
// a sort needs no second array of the rows' size; may_alias lets them share it.
static_assert(
    sizeof(text_key) == sizeof(row_ref) && alignof(text_key) == alignof(row_ref), "a key takes the place of a row");

// N (8 or 12) bytes of a text from `depth` on, zero-padded where the text ends before them, as
// big-endian numbers: the first eight in `high`, the next four (zero for N = 8) in `next4`.
template <std::uint32_t N>
void bytes_at(const char* text, std::uint32_t len, std::uint32_t depth, std::uint64_t& high, std::uint32_t& next4)
{
    static_assert(N == 8 || N == 12, "a key caches eight or twelve bytes");
    const std::uint32_t left = len > depth ? len - depth : 0;
    unsigned char bytes[12] = {};
    if (left >= N)
        std::memcpy(bytes, text + depth, N);
    else if (left != 0)
        std::memcpy(bytes, text + depth, left);
    std::memcpy(&high, bytes, 8);
    std::memcpy(&next4, bytes + 8, 4);
    high = __builtin_bswap64(high);
    next4 = __builtin_bswap32(next4);
}

// What a sort reads its rows from: a table's own array, whose rows' texts lie anywhere. A key
// holds twelve bytes of text, the first eight in `high`, the next four in the upper half of
// `low`, and the row's position in the lower half; the row is read from the array again.
struct row_array {
    static constexpr std::uint32_t key_bytes = 12;
    const row_ref* rows;

    const row_ref& operator[](std::size_t i) const { return rows[i]; }
    text_key key(std::size_t i, std::uint32_t depth) const { return key_of(rows[i], i, depth); }
    // The key of the same row at another depth.
    text_key rekey(const text_key& k, std::uint32_t depth) const { return key_of(row(k), index(k), depth); }
    const row_ref& row(const text_key& k) const { return rows[index(k)]; }
    void prefetch_row(const text_key& k) const { __builtin_prefetch(rows + index(k)); }

private:
    static std::uint32_t index(const text_key& k) { return static_cast<std::uint32_t>(k.low); }
    static text_key key_of(const row_ref& r, std::size_t i, std::uint32_t depth)
    {
        std::uint64_t high;
        std::uint32_t next4;
        bytes_at<key_bytes>(r.text, r.len, depth, high, next4);
        return text_key {std::uint64_t(next4) << 32 | static_cast<std::uint32_t>(i), high};
    }
};

// ... or the spans of a load, made into rows as they are read: the two parts' spans that two
// threads cut, one after the other, as one array. A key holds eight bytes of text in `high` and
// the row's span in `low`, its offset in the upper half: the spans lie in the order of the text,
// so the offset orders rows as their positions do, and the row is had from the key alone,
// without a read of the span array at a place no cache holds.
struct span_array {
    static constexpr std::uint32_t key_bytes = 8;
    const char* base;
    const short_span* first;
    std::size_t first_count;
    const short_span* second;

    const short_span& span(std::size_t i) const
    {
        // Chosen without a branch: the sort reads its rows in an order no branch could foretell.
        const bool in_first = i < first_count;
        return (in_first ? first : second)[in_first ? i : i - first_count];
    }
    row_ref operator[](std::size_t i) const
    {
        const short_span& s = span(i);
        return row_ref {base + s.offset, s.size, 0};
    }
    text_key key(std::size_t i, std::uint32_t depth) const
    {
        const short_span& s = span(i);
        return key_of(s.offset, s.size, depth);
    }
    text_key rekey(const text_key& k, std::uint32_t depth) const
    {
        return key_of(static_cast<std::uint32_t>(k.low >> 32), static_cast<std::uint32_t>(k.low), depth);
    }
    row_ref row(const text_key& k) const
    {
        return row_ref {base + (k.low >> 32), static_cast<std::uint32_t>(k.low), 0};
    }
    void prefetch_row(const text_key&) const { }

private:
    text_key key_of(std::uint32_t offset, std::uint32_t size, std::uint32_t depth) const
    {
        std::uint64_t high;
        std::uint32_t next4;
        bytes_at<key_bytes>(base + offset, size, depth, high, next4);
        return text_key {std::uint64_t(offset) << 32 | size, high};
    }
};

// Below this many rows a second thread costs more than it saves.
constexpr std::size_t parallel_threshold = 1 << 16;
// Below this many rows the buckets cost more than they save.
constexpr std::size_t small_table = 4096;
// Buckets of the first two bytes; their keys start at the third.
constexpr std::size_t buckets = 65536;
// The buckets are sorted in about this many chunks, shared out between the threads.
constexpr std::size_t chunk_count = 64;
constexpr std::uint32_t bucket_bytes = 2;
// Rows still tied this deep are finished by whole-text comparison, so the depth of the
// recursion stays bounded whatever the length of the lines.
constexpr std::uint32_t deepest = 256;

inline std::size_t first_two_bytes(const row_ref& r)
{
    const auto* p = reinterpret_cast<const unsigned char*>(r.text);
    return r.len >= 2 ? (std::size_t(p[0]) << 8) | p[1] : (r.len == 1 ? std::size_t(p[0]) << 8 : 0);
}

// Whether two keys' cached bytes are the same; a key of eight keeps no text in `low`.
template <class Rows> bool same_bytes(const text_key& a, const text_key& b)
{
    return a.high == b.high && (Rows::key_bytes == 8 || (a.low >> 32) == (b.low >> 32));
}

// A function object rather than a function, so that std::sort inlines every comparison.
// Keys of equal cached bytes compare by what stands for the row, which orders them by old
// position.
struct by_bytes_then_index {
    bool operator()(const text_key& a, const text_key& b) const
    {
        return a.high != b.high ? a.high < b.high : a.low < b.low;
    }
};

// True when the texts of keys[0..n), all longer than `depth`, are equal from `depth` on.
template <class Rows> bool all_equal_from(const text_key* keys, std::size_t n, std::uint32_t depth, const Rows& rows)
{
    const row_ref first = rows.row(keys[0]);
    for (std::size_t i = 1; i < n; ++i) {
        if (i + 8 < n)
            prefetch_text(rows.row(keys[i + 8]), depth);
        const row_ref r = rows.row(keys[i]);
        if (r.len != first.len || std::memcmp(r.text + depth, first.text + depth, r.len - depth) != 0)
            return false;
    }
    return true;
}

// How many bytes from `depth` on the texts of keys[0..n), all longer than `depth`, have in
// common; no more than the shortest of them has from there.
template <class Rows>
std::uint32_t shared_from(const text_key* keys, std::size_t n, std::uint32_t depth, const Rows& rows)
{
    const row_ref first = rows.row(keys[0]);
    const char* const a = first.text + depth;
    std::uint32_t shared = first.len - depth;
    for (std::size_t i = 1; i < n && shared != 0; ++i) {
        if (i + 8 < n)
            prefetch_text(rows.row(keys[i + 8]), depth);
        const row_ref r = rows.row(keys[i]);
        const char* const b = r.text + depth;
        shared = std::min(shared, r.len - depth);
        if (std::memcmp(a, b, shared) != 0)
            shared = static_cast<std::uint32_t>(std::mismatch(a, a + shared, b).first - a);
    }
    return shared;
}

// Byte `b` (0 to 15) of a key's cached bytes.
inline unsigned key_byte(const text_key& k, unsigned b)
{
    const std::uint64_t word = b < 8 ? k.high : k.low;
    return static_cast<unsigned>(word >> (56 - 8 * (b % 8))) & 0xffu;
}

// Below this many keys a comparison sort costs less than one more distribution.
constexpr std::size_t radix_threshold = 64;

// Orders keys[0..n) by their cached bytes, then by old position. The first `known` cached
// bytes of all of them are equal and they are in the order of their old positions; each
// distribution on the next byte is stable, so keys whose cached bytes all agree are left in
// that order. Keys cache `key_bytes` bytes; `spare` has room for n keys.
void order_keys(text_key* keys, std::size_t n, unsigned known, unsigned key_bytes, text_key* spare)
{
    std::size_t count[256];
    for (;;) {
        if (n < 2 || known >= key_bytes)
            return;
        if (n <= radix_threshold) {
            std::sort(keys, keys + n, by_bytes_then_index {});
            return;
        }
        std::fill(std::begin(count), std::end(count), std::size_t(0));
        for (std::size_t i = 0; i < n; ++i)
            ++count[key_byte(keys[i], known)];
        if (count[key_byte(keys[0], known)] != n)
            break;
        ++known; // all alike in this byte: nothing to move
    }
    std::size_t start[257];
    start[0] = 0;
    for (unsigned b = 0; b < 256; ++b)
        start[b + 1] = start[b] + count[b];
    std::copy(start, start + 256, count);
    for (std::size_t i = 0; i < n; ++i)
        spare[count[key_byte(keys[i], known)]++] = keys[i];
    std::copy(spare, spare + n, keys);
    // Most of the 256 parts hold one key or none, for which a call would do nothing.
    for (unsigned b = 0; b < 256; ++b)
        if (start[b + 1] - start[b] > 1)
            order_keys(keys + start[b], start[b + 1] - start[b], known + 1, key_bytes, spare);
}

// Runs of tied keys are mostly two or three long: up to this many an insertion sort, without
// the setup of a general one, does best.
constexpr std::ptrdiff_t few = 16;

template <class Before> void insertion_sort(text_key* first, text_key* last, Before before)
{
    for (text_key* i = first + 1; i < last; ++i) {
        const text_key k = *i;
        text_key* j = i;
        for (; j > first && before(k, j[-1]); --j)
            *j = j[-1];
        *j = k;
    }
}

// Orders a run of keys with equal cached bytes at `depth`: a text that ends within them is a
// beginning of every longer one, so the ended texts come first, shortest first, then the
// others; equal lengths and the others keep the order of their old positions (within a run,
// the order of `low`).
template <class Rows> text_key* ended_first(text_key* run, text_key* end, std::uint32_t depth, const Rows& rows)
{
    const std::uint32_t next = depth + Rows::key_bytes;
    auto rank = [&](const text_key& k) {
        const std::uint32_t len = rows.row(k).len;
        return len <= next ? len : next + 1;
    };
    auto before = [&](const text_key& a, const text_key& b) {
        const std::uint32_t ra = rank(a), rb = rank(b);
        return ra != rb ? ra < rb : a.low < b.low;
    };
    if (end - run <= few)
        insertion_sort(run, end, before);
    else
        std::sort(run, end, before);
    return std::partition_point(run, end, [&](const text_key& k) { return rows.row(k).len <= next; });
}

// Sorts keys[0..n), whose texts are equal before `depth` and whose cached bytes are those at
// `depth` (of which the first `known` are equal), into ascending text order, equal texts by old
// position. They come in the order of their old positions; `spare` has room for n keys.
template <class Rows>
void sort_group(text_key* keys, std::size_t n, std::uint32_t depth, unsigned known, const Rows& rows, text_key* spare)
{
    order_keys(keys, n, known, Rows::key_bytes, spare);
    const std::uint32_t next = depth + Rows::key_bytes;
    // Tied keys, whose rows and texts the walk below reads, are few and anywhere in memory, and
    // a run of them is mostly too short to look ahead within: two scouts ask for their rows,
    // then their texts, some keys before the walk gets there.
    auto tied = [&](std::size_t k) {
        return (k > 0 && same_bytes<Rows>(keys[k], keys[k - 1]))
            || (k + 1 < n && same_bytes<Rows>(keys[k], keys[k + 1]));
    };
    constexpr std::size_t rows_ahead = 64, texts_ahead = 32;
    std::size_t row_scout = 0, text_scout = 0;
    for (std::size_t i = 0; i < n;) {
        for (; row_scout < n && row_scout < i + rows_ahead; ++row_scout)
            if (tied(row_scout))
                rows.prefetch_row(keys[row_scout]);
        for (; text_scout < n && text_scout < i + texts_ahead; ++text_scout)
            if (tied(text_scout))
                prefetch_text(rows.row(keys[text_scout]), next);
        std::size_t j = i + 1;
        while (j < n && same_bytes<Rows>(keys[j], keys[i]))
            ++j;
        if (j - i > 1) {
            text_key* const end = keys + j;
            text_key* const longer = ended_first(keys + i, end, depth, rows);
            const auto rest = static_cast<std::size_t>(end - longer);
            // The rest of the texts decides, from `next` on; equal texts by old position.
            auto by_rest = [&](const text_key& a, const text_key& b) {
                const row_ref ra = rows.row(a);
                const row_ref rb = rows.row(b);
                const int c = compare_text(ra.text + next, ra.len - next, rb.text + next, rb.len - next);
                return c != 0 ? c < 0 : a.low < b.low;
            };
            if (rest > 1 && rest <= static_cast<std::size_t>(few)) {
                // A few rows are compared whole at once rather than a key's bytes at a time.
                insertion_sort(longer, end, by_rest);
            } else if (rest > 1 && !all_equal_from(longer, rest, next, rows)) {
                // Repeated lines are common: a run of one text is in order already (by position).
                // Where every key of the group tied, its texts may share far more than a key
                // holds, as lists of paths do: the next keys are taken after all they share
                // rather than a key's bytes further on, once for each key's worth.
                const std::uint32_t from = i == 0 && j == n ? next + shared_from(longer, rest, next, rows) : next;
                if (from >= deepest) {
                    std::sort(longer, end, by_rest);
                } else {
                    // Tied rows lie anywhere in memory: ask for a row and its text some keys
                    // ahead, so that the loads overlap instead of waiting one by one.
                    for (text_key* k = longer; k != end; ++k) {
                        if (end - k > 16)
                            rows.prefetch_row(k[16]);
                        if (end - k > 8)
                            prefetch_text(rows.row(k[8]), from);
                        *k = rows.rekey(*k, from);
                    }
                    sort_group(longer, rest, from, 0, rows, spare);
                }
            }
        }
        i = j;
    }
}

// Room for keys, not initialised.
class key_array {
public:
    explicit key_array(std::size_t n)
        : bytes_(n * sizeof(text_key))
        , keys_(static_cast<text_key*>(big_memory::allocate(bytes_)))
    {
    }
    ~key_array() { big_memory::release(keys_, bytes_); }
    key_array(const key_array&) = delete;
    key_array& operator=(const key_array&) = delete;
    text_key* data() const { return keys_; }

private:
    std::size_t bytes_;
    text_key* keys_;
};

// Replaces keys[from..to) by the rows they stand for, in their order. Each key is read before
// the row takes its place, so `keys` may be the array of the result.
template <class Rows> void gather(const Rows& rows, text_key* keys, std::size_t from, std::size_t to)
{
    // The rows are read in their new order, which is anywhere: ask for them a little ahead.
    constexpr std::size_t ahead = 16;
    auto* const out = reinterpret_cast<row_ref*>(keys);
    for (std::size_t i = from; i < to; ++i) {
        if (i + ahead < to)
            rows.prefetch_row(keys[i + ahead]);
        const row_ref r = rows.row(keys[i]);
        out[i] = r;
    }
}

// The text sort of rows[0..n) into `sorted` (of n rows, not yet set): one counting pass
// spreads the keys, made in `sorted` itself, over buckets of their first two bytes, then each
// bucket is sorted on its own. Two threads share the work where that pays, the first reading
// the rows before `half`; the order is total (old positions break ties), so it never depends on
// how the work was shared.
template <class Rows> void text_order(const Rows& rows, std::size_t n, std::size_t half, row_vector& sorted)
{
    text_key* const spread = reinterpret_cast<text_key*>(sorted.data());
    if (n < small_table) {
        for (std::size_t i = 0; i < n; ++i)
            spread[i] = rows.key(i, 0);
        const key_array spare(n);
        sort_group(spread, n, 0, 0, rows, spare.data());
        gather(rows, spread, 0, n);
        return;
    }

    // Two reads of the rows in their own order, which is mostly the order of the text in
    // memory: one counts the buckets, the other puts each key in its place. Each half of the
    // rows is read by a thread of its own; within a bucket the first half's keys go first, so
    // the keys of a bucket stay in the rows' order.
    const bool two = second_thread_pays(n, parallel_threshold);
    const std::size_t mid = two ? half : n;
    std::vector<std::size_t> count_a(buckets, 0), count_b(buckets, 0);
    auto count = [&](std::vector<std::size_t>& c, std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i)
            ++c[first_two_bytes(rows[i])];
    };
    on_two_threads(
        two, [&] { count(count_a, 0, mid); }, [&] { count(count_b, mid, n); });
    std::vector<std::size_t> starts(buckets + 1, 0);
    for (std::size_t b = 0; b < buckets; ++b) {
        starts[b + 1] = starts[b] + count_a[b] + count_b[b];
        // From here on the counts are where each half puts its next key of the bucket.
        count_b[b] = starts[b] + count_a[b];
        count_a[b] = starts[b];
    }
    auto place = [&](std::vector<std::size_t>& at, std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i)
            spread[at[first_two_bytes(rows[i])]++] = rows.key(i, bucket_bytes);
    };
    on_two_threads(
        two, [&] { place(count_a, 0, mid); }, [&] { place(count_b, mid, n); });

    // The buckets are handed out in chunks of about equal numbers of keys, each taken by the
    // next thread that is free, so that both finish together however the work per key differs
    // between buckets. A chunk's rows are placed as soon as it is sorted, while its keys are at
    // hand.
    std::vector<std::size_t> chunks {0}; // first bucket of each chunk, then `buckets`
    const std::size_t per_chunk = n / chunk_count + 1;
    for (std::size_t b = 0; b < buckets; ++b)
        if (starts[b + 1] - starts[chunks.back()] >= per_chunk)
            chunks.push_back(b + 1);
    if (chunks.back() != buckets)
        chunks.push_back(buckets);
    std::size_t largest = 0;
    for (std::size_t b = 0; b < buckets; ++b)
        largest = std::max(largest, starts[b + 1] - starts[b]);
    // Made here, so that no thread of the sort has anything to allocate (or fail to).
    const key_array spare_a(largest), spare_b(two ? largest : 0);
    std::atomic<std::size_t> next_chunk {0};
    auto sort_chunks = [&](text_key* spare) {
        for (std::size_t c; (c = next_chunk.fetch_add(1, std::memory_order_relaxed)) + 1 < chunks.size();) {
            // The texts of a bucket share their first two bytes, so their keys begin after them.
            for (std::size_t b = chunks[c]; b < chunks[c + 1]; ++b)
                if (starts[b + 1] - starts[b] > 1)
                    sort_group(spread + starts[b], starts[b + 1] - starts[b], bucket_bytes, 0, rows, spare);
            gather(rows, spread, starts[chunks[c]], starts[chunks[c + 1]]);
            work::advance(starts[chunks[c + 1]] - starts[chunks[c]]);
        }
    };
    // Without a second thread the first call takes every chunk, with the spare room made for it.
    on_two_threads(
        two, [&] { sort_chunks(spare_a.data()); }, [&] { sort_chunks(two ? spare_b.data() : spare_a.data()); });
}

// Stable descending order from ascending: the runs of equal texts change places, the rows
// within a run keep theirs.
void reverse_runs(row_vector& rows)
{
    std::reverse(rows.begin(), rows.end());
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t j = i + 1;
        while (j < rows.size() && compare_rows(rows[j], rows[i]) == 0)
            ++j;
        std::reverse(rows.begin() + static_cast<std::ptrdiff_t>(i), rows.begin() + static_cast<std::ptrdiff_t>(j));
        i = j;
    }
}

// Stable counting sort by the rank of es_text2.
void sort_by_text2(line_table::impl& d, bool ascending)
{
    // Second texts are few and distinct, so each is ranked once.
    std::vector<std::uint32_t> order(d.texts2.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(),
        [&](std::uint32_t a, std::uint32_t b) { return compare_text(d.texts2[a], d.texts2[b]) < 0; });
    const std::size_t m = order.size();
    std::vector<std::size_t> rank(m);
    for (std::size_t i = 0; i < m; ++i)
        rank[order[i]] = ascending ? i : m - 1 - i;

    std::vector<std::size_t> starts(m + 1, 0);
    for (const row_ref& r : d.rows)
        ++starts[rank[r.text2] + 1];
    for (std::size_t i = 1; i <= m; ++i)
        starts[i] += starts[i - 1];
    row_vector sorted(d.rows.size());
    for (const row_ref& r : d.rows)
        sorted[starts[rank[r.text2]]++] = r;
    d.rows.adopt(std::move(sorted));
}

} // namespace

void sort_by_text(row_vector& rows)
{
    if (rows.size() < 2)
        return;
    // Not cleared: every element is written before it is read, and clearing them first would be
    // one more pass over the largest array of the sort.
    row_vector sorted(rows.size());
    text_order(row_array {rows.data()}, rows.size(), rows.size() / 2, sorted);
    rows.swap(sorted);
}

void sort_spans_by_text(row_vector& out, const char* base, const short_span* spans, std::size_t n,
    const short_span* more_spans, std::size_t more)
{
    // Each thread reads the part its cutter made, where there are two.
    text_order(span_array {base, spans, n, more_spans}, n + more, more != 0 ? n : (n + more) / 2, out);
}

bool is_sorted_by_text(const row_vector& rows)
{
    for (std::size_t i = 1; i < rows.size(); ++i)
        if (compare_rows(rows[i - 1], rows[i]) > 0)
            return false;
    return true;
}

void sort_rows(line_table::impl& d, const std::vector<sort_term>& terms)
{
    if (d.rows.size() < 2)
        return;
    // Stable sorts from the minor key to the major one give the order of all keys together.
    // Each pass replaces the rows only with a complete new order; with more than one pass the
    // rows before the first are kept until all are done.
    auto pass = [&](const sort_term& t) {
        if (t.col == column::es_text2) {
            sort_by_text2(d, t.ascending);
        } else {
            row_vector& rows = d.rows.own();
            sort_by_text(rows);
            if (!t.ascending)
                reverse_runs(rows);
        }
    };
    if (terms.size() == 1) {
        pass(terms.front());
        return;
    }
    const row_store before = d.rows;
    try {
        for (auto t = terms.rbegin(); t != terms.rend(); ++t)
            pass(*t);
    } catch (...) {
        d.rows = before;
        throw;
    }
}

} // namespace detail
} // namespace core
