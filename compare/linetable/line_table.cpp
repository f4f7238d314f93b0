#include "compare/linetable/line_table.h"

#include "compare/linetable/line_table_impl.h"
#include "compare/linetable/row_sort.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <new>

namespace core {

namespace {

constexpr long default_row_limit = 2147483647L;
std::atomic<long> g_row_limit {default_row_limit};

// Rows are numbered with 32 bits inside (the sort's keys), whatever limit a caller sets.
std::size_t effective_row_limit()
{
    const long limit = g_row_limit.load(std::memory_order_relaxed);
    if (limit <= 0)
        return 0;
    return std::min<std::size_t>(static_cast<std::size_t>(limit), std::numeric_limits<std::uint32_t>::max());
}

constexpr std::size_t first_chunk = 4096;
constexpr std::size_t largest_chunk = std::size_t(1) << 20;
constexpr std::size_t max_text = std::numeric_limits<std::uint32_t>::max();

} // namespace

bool column_from_name(std::string_view name, column& out)
{
    if (name == "es_text") {
        out = column::es_text;
        return true;
    }
    if (name == "es_text2") {
        out = column::es_text2;
        return true;
    }
    return false;
}

// ---- the inside ------------------------------------------------------------------------------

void line_table::impl::clear()
{
    // Swapping with empties gives the memory back; a cleared vector would keep its capacity.
    rows.clear();
    std::vector<std::shared_ptr<const text_block>>().swap(blocks);
    arena.reset();
    texts2.assign(1, std::string_view {});
    std::unordered_map<std::string_view, std::uint32_t>().swap(text2_index);
    failed = false;
    sorted_by_text = true;
}

void line_table::impl::keep_block(const std::shared_ptr<const text_block>& b)
{
    if (!b)
        return;
    for (auto it = blocks.rbegin(); it != blocks.rend(); ++it)
        if (*it == b)
            return;
    blocks.push_back(b);
}

void line_table::impl::keep_blocks_of(const impl& other)
{
    if (&other == this)
        return;
    for (const auto& b : other.blocks)
        keep_block(b);
}

std::string_view line_table::impl::store(std::string_view s)
{
    if (s.empty())
        return {};
    if (!arena || arena->room() < s.size()) {
        std::size_t next = arena ? std::min(largest_chunk, 2 * (arena->size() + arena->room())) : first_chunk;
        auto fresh = std::make_shared<detail::arena_block>(std::max(next, s.size()));
        blocks.push_back(fresh);
        arena = std::move(fresh);
    }
    return {arena->append(s), s.size()};
}

std::uint32_t line_table::impl::intern2(std::string_view s)
{
    if (s.empty())
        return 0;
    auto it = text2_index.find(s);
    if (it != text2_index.end())
        return it->second;
    return intern2_kept(store(s));
}

std::uint32_t line_table::impl::intern2_kept(std::string_view s)
{
    if (s.empty())
        return 0;
    auto it = text2_index.find(s);
    if (it != text2_index.end())
        return it->second;
    if (texts2.size() >= std::numeric_limits<std::uint32_t>::max())
        throw std::bad_alloc();
    const auto index = static_cast<std::uint32_t>(texts2.size());
    texts2.push_back(s);
    text2_index.emplace(s, index);
    return index;
}

bool line_table::impl::room_for(std::size_t extra)
{
    const std::size_t limit = effective_row_limit();
    if (extra > limit || rows.size() > limit - extra) {
        failed = true;
        return false;
    }
    return true;
}

std::size_t line_table::impl::room_left() const
{
    const std::size_t limit = effective_row_limit();
    return rows.size() >= limit ? 0 : limit - rows.size();
}

// ---- the table -------------------------------------------------------------------------------

line_table::line_table()
    : d_(std::make_unique<impl>())
{
}
line_table::~line_table() = default;

void line_table::begin_change()
{
    if (batch_depth_++ == 0 && observer_)
        observer_->rows_about_to_change();
}

void line_table::end_change()
{
    if (--batch_depth_ == 0 && observer_)
        observer_->rows_changed();
}

line_table::batch::batch(line_table& t)
    : t_(t)
{
    t_.begin_change();
}
line_table::batch::~batch()
{
    t_.end_change();
}

long line_table::reset()
{
    batch changes(*this);
    d_->clear();
    return 1;
}

void line_table::swap_rows(line_table& other)
{
    batch mine(*this), theirs(other);
    d_.swap(other.d_);
    if (d_->sort_terms.empty())
        d_->sort_terms.swap(other.d_->sort_terms); // a reset keeps the sort it had
}

long line_table::insertrow(long before)
{
    const auto n = static_cast<long>(d_->rows.size());
    if (before < 0 || before > n + 1)
        return -1;
    batch changes(*this);
    if (!d_->room_for(1))
        return -1;
    const long at = before == 0 ? n : before - 1;
    try {
        detail::row_vector& rows = d_->rows.own();
        rows.insert(rows.begin() + at, detail::row_ref {});
    } catch (const std::bad_alloc&) {
        d_->failed = true;
        return -1;
    }
    // An empty text sorts first, so only a row put anywhere else can break the order.
    if (at != 0)
        d_->sorted_by_text = false;
    return at + 1;
}

long line_table::rowcount() const
{
    return d_->failed ? -1 : static_cast<long>(d_->rows.size());
}

long line_table::count() const
{
    return static_cast<long>(d_->rows.size());
}

std::string_view line_table::get(column c, long row) const
{
    if (row < 1 || row > static_cast<long>(d_->rows.size()))
        return {};
    const detail::row_ref& r = d_->rows[static_cast<std::size_t>(row - 1)];
    return c == column::es_text ? r.view() : d_->texts2[r.text2];
}

void line_table::cells(long first, long n, std::string_view* text, std::string_view* text2) const
{
    const long rows = static_cast<long>(d_->rows.size());
    for (long i = 0; i < n; ++i) {
        const long row = first + i;
        if (row < 1 || row > rows) {
            text[i] = text2[i] = {};
            continue;
        }
        const detail::row_ref& r = d_->rows[static_cast<std::size_t>(row - 1)];
        text[i] = r.view();
        text2[i] = d_->texts2[r.text2];
    }
}

long line_table::set(column c, long row, std::string_view text)
{
    if (row < 1 || row > static_cast<long>(d_->rows.size()))
        return -1;
    batch changes(*this);
    if (text.size() > max_text) {
        d_->failed = true;
        return -1;
    }
    try {
        detail::row_ref& r = d_->rows.own()[static_cast<std::size_t>(row - 1)];
        if (c == column::es_text) {
            const std::string_view kept = d_->store(text);
            r.text = kept.data();
            r.len = static_cast<std::uint32_t>(kept.size());
            if (d_->rows.size() > 1)
                d_->sorted_by_text = false;
        } else {
            r.text2 = d_->intern2(text);
        }
    } catch (const std::bad_alloc&) {
        d_->failed = true;
        return -1;
    }
    return 1;
}

long line_table::setsort(std::string_view expression)
{
    std::vector<detail::sort_term> terms;
    if (!detail::parse_sort(expression, terms))
        return -1;
    d_->sort_terms = std::move(terms);
    return 1;
}

long line_table::sort()
{
    if (d_->sort_terms.empty())
        return -1;
    batch changes(*this);
    try {
        detail::sort_rows(*d_, d_->sort_terms);
    } catch (const std::bad_alloc&) {
        // The rows are reordered only once the new order is complete, so they are as they were.
        return -1;
    }
    const detail::sort_term& major = d_->sort_terms.front();
    d_->sorted_by_text = major.col == column::es_text && major.ascending;
    return 1;
}

long line_table::rowscopy(long first, long last, line_table& target, long before) const
{
    if (last < first)
        return 1;
    const auto n = static_cast<long>(d_->rows.size());
    if (first < 1 || last > n)
        return -1;
    impl& t = *target.d_;
    const auto tn = static_cast<long>(t.rows.size());
    // 0 appends, as it does for insertrow.
    if (before < 0 || before > tn + 1)
        return -1;
    batch changes(target);
    const auto count = static_cast<std::size_t>(last - first + 1);
    if (!t.room_for(count))
        return -1;
    const long at = before == 0 ? tn : before - 1;
    try {
        // A copy first: the target may be this very table.
        detail::row_vector copies(d_->rows.begin() + (first - 1), d_->rows.begin() + last);
        if (&t != d_.get()) {
            t.keep_blocks_of(*d_);
            std::vector<std::uint32_t> mapped(d_->texts2.size(), std::numeric_limits<std::uint32_t>::max());
            mapped[0] = 0;
            for (detail::row_ref& r : copies) {
                std::uint32_t& m = mapped[r.text2];
                if (m == std::numeric_limits<std::uint32_t>::max())
                    m = t.intern2_kept(d_->texts2[r.text2]);
                r.text2 = m;
            }
        }
        detail::row_vector& rows = t.rows.own();
        rows.insert(rows.begin() + at, copies.begin(), copies.end());
    } catch (const std::bad_alloc&) {
        t.failed = true;
        return -1;
    }
    // Any run of an ordered table is ordered.
    t.sorted_by_text = tn == 0 && d_->sorted_by_text;
    return 1;
}

long line_table::append_lines(std::shared_ptr<const text_block> block, const line_span* spans, std::size_t n)
{
    if (n == 0)
        return rowcount();
    if (!block || !spans)
        return -1;
    batch changes(*this);
    impl& d = *d_;
    const std::size_t block_size = block->size();
    const char* base = block->data();
    try {
        d.keep_block(block);
        detail::row_vector& rows = d.rows.own();
        std::size_t fits = n;
        const std::size_t limit = effective_row_limit();
        const std::size_t room = rows.size() >= limit ? 0 : limit - rows.size();
        if (fits > room)
            fits = room;
        const std::size_t needed = rows.size() + fits;
        if (rows.capacity() < needed)
            rows.reserve(std::max(needed, rows.capacity() + rows.capacity() / 2));
        // Cleared before any row goes in: a bad span further on returns with the rows before it
        // appended, and the compare trusts this flag for its merge.
        if (needed > 1)
            d.sorted_by_text = false;
        for (std::size_t i = 0; i < fits; ++i) {
            const line_span& s = spans[i];
            if (s.offset > block_size || s.size > block_size - s.offset)
                return -1;
            if (s.size > max_text) {
                d.failed = true;
                return -1;
            }
            rows.push_back(detail::row_ref {base + s.offset, static_cast<std::uint32_t>(s.size), 0});
        }
        if (fits < n) {
            d.failed = true;
            return -1;
        }
    } catch (const std::bad_alloc&) {
        d.failed = true;
        return -1;
    }
    return rowcount();
}

bool line_table::fill_sorted(std::shared_ptr<const text_block> block, const short_span* spans, std::size_t n,
    const short_span* more, std::size_t m)
{
    if (!block || d_->failed || !d_->rows.empty() || n + m > d_->room_left())
        return false;
    try {
        detail::row_vector rows(n + m);
        detail::sort_spans_by_text(rows, block->data(), spans, n, more, m);
        batch changes(*this);
        d_->keep_block(block);
        d_->rows.adopt(std::move(rows));
    } catch (const std::bad_alloc&) {
        return false;
    }
    d_->sorted_by_text = true;
    setsort("es_text A");
    return true;
}

void line_table::reserve_rows(std::size_t more)
{
    try {
        d_->rows.own().reserve(d_->rows.size() + std::min(more, d_->room_left()));
    } catch (const std::bad_alloc&) {
    }
}

void line_table::trim_rows()
{
    if (d_->rows.capacity() - d_->rows.size() <= d_->rows.size() / 2)
        return;
    try {
        d_->rows.own().shrink_to_fit();
    } catch (const std::bad_alloc&) {
    }
}

bool line_table::holds_escapes() const
{
    for (const auto& block : d_->blocks)
        if (block->holds_escapes())
            return true;
    return false;
}

std::size_t line_table::row_capacity() const
{
    return d_->rows.capacity();
}

void line_table::mark_failed()
{
    d_->failed = true;
}

void line_table::set_row_limit(long limit)
{
    g_row_limit.store(limit, std::memory_order_relaxed);
}

long line_table::row_limit()
{
    return g_row_limit.load(std::memory_order_relaxed);
}

} // namespace core
