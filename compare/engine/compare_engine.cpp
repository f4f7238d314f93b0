#include "compare/engine/compare_engine.h"

#include "compare/linetable/line_table_impl.h"
#include "compare/linetable/row_sort.h"
#include "runtime/core/thread_pool.h"
#include "runtime/core/work_gauge.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <new>
#include <vector>

namespace core {

namespace {

using detail::row_ref;
using detail::row_vector;

// A source's rows in ascending text order. Loading leaves a source sorted, so this is normally
// the table's own array; otherwise a sorted copy of the references is made in `storage`.
struct sorted_source {
    const row_ref* rows = nullptr;
    std::size_t n = 0;
    row_vector storage;
};

void order_source(const line_table& t, sorted_source& out)
{
    const line_table::impl& d = line_table_access::of(t);
    const long count = t.rowcount();
    out.n = count > 0 ? static_cast<std::size_t>(count) : 0;
    if (d.sorted_by_text || out.n < 2) {
        out.rows = d.rows.data();
        return;
    }
    out.storage.assign(d.rows.begin(), d.rows.begin() + static_cast<std::ptrdiff_t>(out.n));
    if (!detail::is_sorted_by_text(out.storage))
        detail::sort_by_text(out.storage);
    out.rows = out.storage.data();
}

// Per row of a sorted source: does its text occur in the other source?
struct membership {
    std::vector<std::uint8_t> found1, found2;
    std::size_t same = 0; // rows of source 1 found in source 2
    std::size_t only1 = 0; // rows of source 1 not found
    std::size_t only2 = 0; // rows of source 2 not found
    // Where the lists are written in two shares (split false: in one): the first rows of each
    // source in the upper share, and the counts of the lower one.
    bool split = false;
    std::size_t mid1 = 0, mid2 = 0;
    std::size_t same_low = 0, only1_low = 0, only2_low = 0;
};

// Walks a[i1..e1) and b[i2..e2) side by side; both are sorted, so a text is found in the
// other source exactly when the walk meets it there. This gives the same answer as comparing
// every row with every row of the other source, in linear time. The counts are kept in locals
// and added at the end: the pieces' counts lie side by side, and two threads writing them at
// every row would pass their cache line from core to core.
void merge_range(const row_ref* a, std::size_t i1, std::size_t e1, const row_ref* b, std::size_t i2, std::size_t e2,
    membership& m, std::size_t& same_out, std::size_t& only1_out, std::size_t& only2_out)
{
    // The texts lie in file order while the walk goes in text order, so every text is a cache
    // miss; asking for them some rows ahead keeps the memory busy instead of the walk waiting.
    constexpr std::size_t ahead = 32;
    std::uint8_t* const found1 = m.found1.data();
    std::uint8_t* const found2 = m.found2.data();
    std::size_t same = 0, only1 = 0, only2 = 0;
    std::size_t p1 = i1, p2 = i2;
    while (i1 < e1 && i2 < e2) {
        for (; p1 < e1 && p1 < i1 + ahead; ++p1)
            detail::prefetch_text(a[p1]);
        for (; p2 < e2 && p2 < i2 + ahead; ++p2)
            detail::prefetch_text(b[p2]);
        const int c = detail::compare_rows(a[i1], b[i2]);
        if (c < 0) {
            ++i1;
            ++only1;
        } else if (c > 0) {
            ++i2;
            ++only2;
        } else {
            const row_ref& t = a[i1];
            do {
                found1[i1++] = 1;
                ++same;
            } while (i1 < e1 && detail::compare_rows(a[i1], t) == 0);
            do
                found2[i2++] = 1;
            while (i2 < e2 && detail::compare_rows(b[i2], t) == 0);
        }
    }
    same_out += same;
    only1_out += only1 + (e1 - i1);
    only2_out += only2 + (e2 - i2);
}

// First row of a[0..n) whose text is not less than `t`.
std::size_t lower_bound_of(const row_ref* a, std::size_t n, const row_ref& t)
{
    return static_cast<std::size_t>(std::lower_bound(a, a + n, t, [](const row_ref& x, const row_ref& y) {
        return detail::compare_rows(x, y) < 0;
    }) - a);
}

// Below this many rows together a second thread costs more than it saves.
constexpr std::size_t parallel_threshold = 1 << 17;
// Two threads walk the sources in about this many pieces, each taking the next one free: rows
// of some texts take longer than others (long shared beginnings, as in lists of paths), and
// with halves by row count one thread waited for the other up to a third of the walk.
constexpr std::size_t walk_pieces = 32;

void find_members(const sorted_source& s1, const sorted_source& s2, membership& m)
{
    m.found1.assign(s1.n, 0);
    m.found2.assign(s2.n, 0);
    if (s1.n == 0 || !second_thread_pays(s1.n + s2.n, parallel_threshold)) {
        merge_range(s1.rows, 0, s1.n, s2.rows, 0, s2.n, m, m.same, m.only1, m.only2);
        return;
    }
    // Both sources are cut at the same texts, so that no run of equal texts is cut and each
    // piece can be walked on its own.
    struct piece {
        std::size_t from1, to1, from2, to2;
        std::size_t same = 0, only1 = 0, only2 = 0;
    };
    std::vector<piece> pieces(walk_pieces);
    std::size_t from1 = 0, from2 = 0;
    for (std::size_t p = 0; p < walk_pieces; ++p) {
        std::size_t to1 = s1.n, to2 = s2.n;
        if (p + 1 < walk_pieces) {
            const row_ref& cut = s1.rows[s1.n * (p + 1) / walk_pieces];
            to1 = lower_bound_of(s1.rows, s1.n, cut);
            to2 = lower_bound_of(s2.rows, s2.n, cut);
        }
        pieces[p].from1 = from1;
        pieces[p].to1 = from1 = to1;
        pieces[p].from2 = from2;
        pieces[p].to2 = from2 = to2;
    }
    std::atomic<std::size_t> next {0};
    auto walk = [&] {
        for (std::size_t p; (p = next.fetch_add(1, std::memory_order_relaxed)) < walk_pieces;) {
            piece& w = pieces[p];
            merge_range(s1.rows, w.from1, w.to1, s2.rows, w.from2, w.to2, m, w.same, w.only1, w.only2);
            work::advance(1);
        }
    };
    // Without a second thread this one takes every piece.
    on_two_threads(true, walk, walk);
    // The lists are then written in two shares, split at the middle piece.
    m.split = true;
    m.mid1 = pieces[walk_pieces / 2].from1;
    m.mid2 = pieces[walk_pieces / 2].from2;
    for (std::size_t p = 0; p < walk_pieces; ++p) {
        const bool low = p < walk_pieces / 2;
        m.same += pieces[p].same;
        m.only1 += pieces[p].only1;
        m.only2 += pieces[p].only2;
        m.same_low += low ? pieces[p].same : 0;
        m.only1_low += low ? pieces[p].only1 : 0;
        m.only2_low += low ? pieces[p].only2 : 0;
    }
}

// The orders the similarity and the difference lists are shown in.
constexpr std::string_view same_order = "es_text A";
constexpr std::string_view diff_order = "es_text2 A, es_text A";

// A row of the table's own text, such as a heading of the combined list; the table keeps it.
row_ref own_text_row(line_table::impl& d, std::string_view text)
{
    const std::string_view kept = d.store(text);
    return row_ref {kept.data(), static_cast<std::uint32_t>(kept.size()), 0};
}

// How many of `wanted` rows a fresh table may take; short of all of them, the table fails.
std::size_t rows_that_fit(line_table::impl& d, std::size_t wanted)
{
    if (d.room_for(wanted))
        return wanted;
    return d.room_left();
}

// Writes the rows of `s` from `from` on whose found flag is `wanted`, labelled `label`, to
// out[k..fits) and returns where the next row goes. Every row is written to the next place and
// only a marked one moves the place on, which spares a branch the processor could not foretell.
std::size_t put_marked(row_ref* out, std::size_t k, std::size_t fits, const sorted_source& s,
    const std::vector<std::uint8_t>& found, std::uint8_t wanted, std::uint32_t label, std::size_t from = 0,
    std::size_t to = static_cast<std::size_t>(-1))
{
    for (std::size_t i = from; i < std::min(s.n, to) && k < fits; ++i) {
        out[k] = row_ref {s.rows[i].text, s.rows[i].len, label};
        k += found[i] == wanted;
    }
    return k;
}

// Writes the rows of both sources not found in the other to out[0..], labelled l1 and l2, in
// the order of "es_text2 A, es_text A": the group of the lesser label first, each by text; one
// group by text alone when the labels are equal. Returns how many were written.
std::size_t put_different(row_ref* out, const sorted_source& s1, const sorted_source& s2, const membership& m,
    std::string_view label1, std::string_view label2, std::uint32_t l1, std::uint32_t l2)
{
    const std::size_t fits = m.only1 + m.only2;
    std::size_t k = 0;
    const int order = detail::compare_text(label1, label2);
    if (order < 0) {
        k = put_marked(out, k, fits, s1, m.found1, 0, l1);
        k = put_marked(out, k, fits, s2, m.found2, 0, l2);
    } else if (order > 0) {
        k = put_marked(out, k, fits, s2, m.found2, 0, l2);
        k = put_marked(out, k, fits, s1, m.found1, 0, l1);
    } else {
        // One label for both: one group, ordered by text alone.
        std::size_t i = 0, j = 0;
        for (;;) {
            while (i < s1.n && m.found1[i])
                ++i;
            while (j < s2.n && m.found2[j])
                ++j;
            if (i == s1.n || j == s2.n)
                break;
            if (detail::compare_rows(s2.rows[j], s1.rows[i]) < 0) {
                out[k++] = row_ref {s2.rows[j].text, s2.rows[j].len, l2};
                ++j;
            } else {
                out[k++] = row_ref {s1.rows[i].text, s1.rows[i].len, l1};
                ++i;
            }
        }
        k = put_marked(out, k, fits, s1, m.found1, 0, l1, i);
        k = put_marked(out, k, fits, s2, m.found2, 0, l2, j);
    }
    return k;
}

void fill_same(line_table& table, const line_table& source1, const sorted_source& s1, const membership& m)
{
    line_table::impl& d = line_table_access::of(table);
    try {
        const std::size_t fits = rows_that_fit(d, m.same);
        d.keep_blocks_of(line_table_access::of(source1));
        row_vector& rows = d.rows.own();
        rows.resize(fits);
        rows.resize(put_marked(rows.data(), 0, fits, s1, m.found1, 1, 0));
    } catch (const std::bad_alloc&) {
        d.failed = true;
    }
    table.setsort(same_order);
    d.sorted_by_text = true;
}

void fill_diff(line_table& table, const line_table& source1, const line_table& source2, const sorted_source& s1,
    const sorted_source& s2, std::string_view label1, std::string_view label2, const membership& m)
{
    line_table::impl& d = line_table_access::of(table);
    try {
        const std::size_t wanted = m.only1 + m.only2;
        const std::size_t fits = rows_that_fit(d, wanted);
        d.keep_blocks_of(line_table_access::of(source1));
        d.keep_blocks_of(line_table_access::of(source2));
        const std::uint32_t l1 = d.intern2(label1);
        const std::uint32_t l2 = d.intern2(label2);
        row_vector& rows = d.rows.own();
        rows.resize(fits);
        if (fits < wanted) {
            // What the row-by-row passes would have managed to hold: source 1's rows first.
            std::size_t k = put_marked(rows.data(), 0, fits, s1, m.found1, 0, l1);
            k = put_marked(rows.data(), k, fits, s2, m.found2, 0, l2);
            rows.resize(k);
            const std::vector<detail::sort_term> terms = {{column::es_text2, true}, {column::es_text, true}};
            detail::sort_rows(d, terms);
        } else {
            rows.resize(put_different(rows.data(), s1, s2, m, label1, label2, l1, l2));
        }
        table.setsort(diff_order);
    } catch (const std::bad_alloc&) {
        d.failed = true;
    }
    d.sorted_by_text = d.rows.size() < 2;
}

// The three lists as parts of one array, which the combined list holds whole and the other two
// share: the heading, the similar rows, a blank row, the heading, the different rows. The
// similar rows are written on a second thread while this one writes the different ones. False
// (and nothing shown yet) when a list would pass the row limit or a second text would not get
// the same number in the difference and the combined lists; the lists are then made one by one.
bool fill_shared(line_table& same, line_table& diff, line_table& sum, const line_table& source1,
    const line_table& source2, const sorted_source& s1, const sorted_source& s2, std::string_view label1,
    std::string_view label2, const membership& m, bool parallel)
{
    sum.reset();
    line_table::impl& ds = line_table_access::of(same);
    line_table::impl& dd = line_table_access::of(diff);
    line_table::impl& du = line_table_access::of(sum);
    const std::size_t similar = m.same, different = m.only1 + m.only2;
    const std::size_t total = similar + different + 3;
    if (similar > ds.room_left() || different > dd.room_left() || total > du.room_left())
        return false;
    for (line_table::impl* d : {&ds, &dd, &du})
        d->keep_blocks_of(line_table_access::of(source1));
    for (line_table::impl* d : {&dd, &du})
        d->keep_blocks_of(line_table_access::of(source2));
    // Rows keep their second text as a number into their table's own list of them; both lists
    // start empty and take the labels in the same order, so the numbers agree.
    const std::uint32_t l1 = dd.intern2(label1), l2 = dd.intern2(label2);
    if (du.intern2(label1) != l1 || du.intern2(label2) != l2)
        return false;
    const row_ref similarity = own_text_row(du, "Similarity");
    const row_ref difference = own_text_row(du, "Difference");

    const std::size_t diff_at = similar + 3;
    row_vector& rows = du.rows.own();
    rows.resize(total);
    row_ref* const out = rows.data();
    const int order = detail::compare_text(label1, label2);
    if (parallel && m.split && order != 0) {
        // Each thread writes the rows of one share of each source: the similar ones, then each
        // source's different ones into its group, each part at the place the walk's counts give
        // it. Both threads read and write about as much.
        row_ref* const similar_rows = out + 1;
        row_ref* const only1_rows = out + diff_at + (order < 0 ? 0 : m.only2);
        row_ref* const only2_rows = out + diff_at + (order < 0 ? m.only1 : 0);
        // The lower share's rows of each kind come first; the upper share's end with their list.
        auto part = [&](bool upper) {
            const std::size_t from1 = upper ? m.mid1 : 0, to1 = upper ? s1.n : m.mid1;
            const std::size_t from2 = upper ? m.mid2 : 0, to2 = upper ? s2.n : m.mid2;
            put_marked(
                similar_rows, upper ? m.same_low : 0, upper ? m.same : m.same_low, s1, m.found1, 1, 0, from1, to1);
            put_marked(
                only1_rows, upper ? m.only1_low : 0, upper ? m.only1 : m.only1_low, s1, m.found1, 0, l1, from1, to1);
            put_marked(
                only2_rows, upper ? m.only2_low : 0, upper ? m.only2 : m.only2_low, s2, m.found2, 0, l2, from2, to2);
        };
        on_two_threads(
            true, [&] { part(true); }, [&] { part(false); });
    } else {
        on_two_threads(
            parallel, [&] { put_marked(out + 1, 0, similar, s1, m.found1, 1, 0); },
            [&] { put_different(out + diff_at, s1, s2, m, label1, label2, l1, l2); });
    }
    out[0] = similarity;
    out[similar + 1] = row_ref {};
    out[similar + 2] = difference;

    ds.rows.share(du.rows.array(), 1, similar);
    dd.rows.share(du.rows.array(), diff_at, different);
    same.setsort(same_order);
    ds.sorted_by_text = true;
    diff.setsort(diff_order);
    dd.sorted_by_text = different < 2;
    du.sorted_by_text = false;
    return true;
}

// The combined list, copied from the other two: the similar rows on a second thread while this
// one copies the different ones, each into its own part of the rows.
void fill_sum(line_table& table, const line_table& source1, const line_table& source2, const line_table& same,
    const line_table& diff, bool parallel)
{
    table.reset();
    line_table::impl& d = line_table_access::of(table);
    const line_table::impl& ds = line_table_access::of(same);
    const line_table::impl& dd = line_table_access::of(diff);
    try {
        // A list that failed shows no rows, so none of its rows are copied.
        const std::size_t same_rows = same.rowcount() > 0 ? ds.rows.size() : 0;
        const std::size_t diff_rows = diff.rowcount() > 0 ? dd.rows.size() : 0;
        const std::size_t wanted = same_rows + diff_rows + 3;
        const std::size_t fits = rows_that_fit(d, wanted);
        d.keep_blocks_of(line_table_access::of(source1));
        d.keep_blocks_of(line_table_access::of(source2));
        const row_ref similarity = own_text_row(d, "Similarity");
        const row_ref difference = own_text_row(d, "Difference");
        // The labels are few: map each of the difference list's to this table's own once.
        std::vector<std::uint32_t> labels(dd.texts2.size());
        for (std::size_t i = 1; i < labels.size(); ++i)
            labels[i] = d.intern2(dd.texts2[i]);

        // Where each part goes while the rows fit: the heading, the similar rows, a blank row,
        // the heading, the different rows.
        const std::size_t similar = std::min(same_rows, fits > 0 ? fits - 1 : 0);
        const std::size_t diff_at = 1 + similar + 2;
        const std::size_t different = fits > diff_at ? std::min(diff_rows, fits - diff_at) : 0;
        row_vector& rows = d.rows.own();
        rows.resize(fits);
        row_ref* const out = rows.data();
        const row_ref parts[] = {similarity, row_ref {}, difference};
        const std::size_t places[] = {0, 1 + similar, 2 + similar};
        for (std::size_t k = 0; k < 3; ++k)
            if (places[k] < fits)
                out[places[k]] = parts[k];
        on_two_threads(
            parallel && similar + different >= parallel_threshold,
            // The similar rows have no second text: they are taken as they are.
            [&] { std::copy(ds.rows.begin(), ds.rows.begin() + static_cast<std::ptrdiff_t>(similar), out + 1); },
            [&] {
                for (std::size_t i = 0; i < different; ++i)
                    out[diff_at + i] = row_ref {dd.rows[i].text, dd.rows[i].len, labels[dd.rows[i].text2]};
            });
    } catch (const std::bad_alloc&) {
        d.failed = true;
    }
    d.sorted_by_text = false;
}

// The lists made one by one, each failing on its own.
void run_one_by_one(line_table& same, line_table& diff, line_table& sum, const line_table& source1,
    const line_table& source2, const sorted_source& s1, const sorted_source& s2, std::string_view label1,
    std::string_view label2, const membership& m, bool parallel)
{
    on_two_threads(
        parallel,
        [&] {
            try {
                fill_same(same, source1, s1, m);
            } catch (const std::bad_alloc&) {
                line_table_access::of(same).failed = true;
            }
        },
        [&] { fill_diff(diff, source1, source2, s1, s2, label1, label2, m); });
    fill_sum(sum, source1, source2, same, diff, parallel);
}

// A compare that could not make every list keeps none of them: part of a list would pass for
// all of it on the screen, on paper and in a saved file. The memory goes back at once.
void fail_all(line_table& same, line_table& diff, line_table& sum, compare_counts& counts, bool out_of_memory)
{
    for (line_table* t : {&same, &diff, &sum}) {
        t->reset();
        line_table_access::of(*t).failed = true;
    }
    counts.same = counts.diff = counts.sum = -1;
    counts.out_of_memory = out_of_memory;
}

} // namespace

compare_counts compare_sources(const line_table& source1, const line_table& source2, std::string_view label1,
    std::string_view label2, line_table& same, line_table& diff, line_table& sum)
{
    // Each list is told of the compare once, when all its rows are in place; no list is told
    // anything from another thread.
    line_table::batch same_changes(same), diff_changes(diff), sum_changes(sum);
    compare_counts counts;
    counts.rows1 = source1.rowcount();
    counts.rows2 = source2.rowcount();
    same.reset();
    diff.reset();
    if (counts.rows1 < 0 || counts.rows2 < 0) {
        // A source that was not loaded whole would pass its missing lines off as different.
        fail_all(same, diff, sum, counts, false);
        counts.source_failed = true;
        return counts;
    }
    if (counts.rows1 == 0 && counts.rows2 == 0) {
        // Left alone, the combined list would still offer an earlier compare to print and save.
        sum.reset();
        counts.both_empty = true;
        counts.sum = sum.rowcount();
        return counts;
    }

    // The walk counts a unit a piece, and the lists written after it as many again.
    work::begin_stage(0, 2 * walk_pieces);
    sorted_source s1, s2;
    membership m;
    try {
        order_source(source1, s1);
        order_source(source2, s2);
        find_members(s1, s2, m);
    } catch (const std::bad_alloc&) {
        // Without room to walk the sources no list can be built.
        fail_all(same, diff, sum, counts, true);
        return counts;
    }

    const bool parallel = second_thread_pays(s1.n + s2.n, parallel_threshold);
    bool shared = false;
    try {
        shared = fill_shared(same, diff, sum, source1, source2, s1, s2, label1, label2, m, parallel);
    } catch (const std::bad_alloc&) {
    }
    if (!shared) {
        // One by one, each list failing on its own: the two lists at once, then the combined
        // one, which needs them both.
        same.reset();
        diff.reset();
        run_one_by_one(same, diff, sum, source1, source2, s1, s2, label1, label2, m, parallel);
    }
    work::advance(walk_pieces);
    counts.same = same.rowcount();
    counts.diff = diff.rowcount();
    counts.sum = sum.rowcount();
    if (counts.failed()) {
        const std::size_t limit = static_cast<std::size_t>(line_table::row_limit());
        const bool over_limit = m.same > limit || m.only1 + m.only2 > limit || m.same + m.only1 + m.only2 + 3 > limit;
        fail_all(same, diff, sum, counts, !over_limit);
    }
    return counts;
}

} // namespace core
