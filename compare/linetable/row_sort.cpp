#include "compare/linetable/row_sort.h"

#include <algorithm>
#include <numeric>
#include <system_error>
#include <thread>

namespace core {
namespace detail {

namespace {

// What a comparison needs of one row, packed so that most comparisons never touch the text:
// the first eight bytes of es_text, the rank of es_text2 among the table's second texts, and
// the row's old position, which breaks every tie and so makes the unstable sort stable.
struct sort_key {
    std::uint64_t prefix;
    std::uint32_t rank2;
    std::uint32_t index;
};
static_assert(sizeof(sort_key) == 16, "keys must stay small");

// Below this many rows a second thread costs more than it saves.
constexpr std::size_t parallel_threshold = 1 << 16;

// Compares es_text of two rows whose prefixes are equal.
inline int compare_tails(const row_ref& a, const row_ref& b)
{
    if (a.len >= 8 && b.len >= 8)
        return compare_text(a.text + 8, a.len - 8, b.text + 8, b.len - 8);
    return compare_rows(a, b);
}

struct by_text_ascending {
    const row_ref* rows;
    bool operator()(const sort_key& a, const sort_key& b) const
    {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        const int c = compare_tails(rows[a.index], rows[b.index]);
        if (c != 0)
            return c < 0;
        return a.index < b.index;
    }
};

struct by_terms {
    const row_ref* rows;
    const sort_term* terms;
    std::size_t nterms;
    bool operator()(const sort_key& a, const sort_key& b) const
    {
        for (std::size_t i = 0; i < nterms; ++i) {
            int c;
            if (terms[i].col == column::es_text2) {
                c = a.rank2 < b.rank2 ? -1 : (a.rank2 > b.rank2 ? 1 : 0);
            } else if (a.prefix != b.prefix) {
                c = a.prefix < b.prefix ? -1 : 1;
            } else {
                c = compare_tails(rows[a.index], rows[b.index]);
            }
            if (c != 0)
                return terms[i].ascending ? c < 0 : c > 0;
        }
        return a.index < b.index;
    }
};

// Sorts the keys, the two halves on two threads where that pays, then merges them. The order
// is total (the index breaks ties), so the result is the same however the work was split.
template <class Less> void sort_keys(std::vector<sort_key>& keys, Less less)
{
    const std::size_t n = keys.size();
    if (n >= parallel_threshold && std::thread::hardware_concurrency() > 1) {
        const auto mid = keys.begin() + static_cast<std::ptrdiff_t>(n / 2);
        std::vector<sort_key> merged(n);
        bool split = false;
        try {
            std::thread other([&] { std::sort(keys.begin(), mid, less); });
            split = true;
            std::sort(mid, keys.end(), less);
            other.join();
        } catch (const std::system_error&) {
            // No second thread to be had: one is enough.
        }
        if (split) {
            std::merge(keys.begin(), mid, mid, keys.end(), merged.begin(), less);
            keys.swap(merged);
            return;
        }
    }
    std::sort(keys.begin(), keys.end(), less);
}

std::vector<sort_key> make_keys(const std::vector<row_ref>& rows, const std::vector<std::uint32_t>* ranks)
{
    std::vector<sort_key> keys(rows.size());
    const std::size_t n = rows.size();
    for (std::size_t i = 0; i < n; ++i) {
        const row_ref& r = rows[i];
        keys[i] = sort_key {text_prefix(r.text, r.len), ranks ? (*ranks)[r.text2] : 0u, static_cast<std::uint32_t>(i)};
    }
    return keys;
}

void apply_order(std::vector<row_ref>& rows, const std::vector<sort_key>& keys)
{
    std::vector<row_ref> sorted(rows.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        sorted[i] = rows[keys[i].index];
    rows.swap(sorted);
}

} // namespace

void sort_by_text(std::vector<row_ref>& rows)
{
    if (rows.size() < 2)
        return;
    std::vector<sort_key> keys = make_keys(rows, nullptr);
    sort_keys(keys, by_text_ascending {rows.data()});
    apply_order(rows, keys);
}

bool is_sorted_by_text(const std::vector<row_ref>& rows)
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
    if (terms.size() == 1 && terms[0].col == column::es_text && terms[0].ascending) {
        sort_by_text(d.rows);
        return;
    }
    // Second texts are few and distinct, so each is ranked once and rows compare ranks.
    std::vector<std::uint32_t> order(d.texts2.size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(),
        [&](std::uint32_t a, std::uint32_t b) { return compare_text(d.texts2[a], d.texts2[b]) < 0; });
    std::vector<std::uint32_t> ranks(order.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        ranks[order[i]] = static_cast<std::uint32_t>(i);

    std::vector<sort_key> keys = make_keys(d.rows, &ranks);
    sort_keys(keys, by_terms {d.rows.data(), terms.data(), terms.size()});
    apply_order(d.rows, keys);
}

} // namespace detail
} // namespace core
