#pragma once
// Ordering the rows of a line table: the sort behind line_table::sort and the compare engine.

#include "compare/linetable/line_table_impl.h"

#include <vector>

namespace core {
namespace detail {

// Reorders d.rows by `terms`, stably. The rows change only once the new order is complete, so
// a std::bad_alloc leaves them as they were.
void sort_rows(line_table::impl& d, const std::vector<sort_term>& terms);

// Reorders `rows` by es_text ascending, stably.
void sort_by_text(row_vector& rows);

// Makes `out` (of n + more rows, not yet set) the rows of spans[0..n) and then more_spans[0..more)
// of `base` in ascending es_text order, stably: what appending them and sort_by_text give,
// without the unsorted rows ever standing in memory, nor the two runs of spans joined.
void sort_spans_by_text(row_vector& out, const char* base, const short_span* spans, std::size_t n,
    const short_span* more_spans = nullptr, std::size_t more = 0);

// True when `rows` are in ascending es_text order.
bool is_sorted_by_text(const row_vector& rows);

} // namespace detail
} // namespace core
