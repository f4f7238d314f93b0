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

// True when `rows` are in ascending es_text order.
bool is_sorted_by_text(const row_vector& rows);

} // namespace detail
} // namespace core
