#pragma once
// Loading a source file into a line table: every line that is neither empty nor made of blanks
// only becomes one row, exactly as read, and the rows are then sorted by line text.

#include "compare/linetable/line_table.h"
#include "runtime/core/result.h"

#include <string>

namespace core {

class line_file;

// Resets `pane` and fills it from the file at `host_path` (a path of this machine), then sorts
// it by "es_text A" unless the table failed. Shows nothing.
result load_source(const std::string& host_path, line_table& pane);

// Appends the kept lines of `file` to `pane`, for callers that open, reset and sort themselves.
// A file that is not open fails with open_failed and appends nothing. When reading failed in
// mid-file the lines before the failure are appended and the failure is read_failed even if the
// table failed as well; the table's own failure always shows in its negative row count. Running
// out of memory is one of these failures: while the text is decoded, read_failed with nothing
// appended; after it, a failed table that keeps the rows that went in.
result read_source(line_file& file, line_table& pane);

// What read_source and then sorting by "es_text A" (unless the table failed) give, for callers
// that open and reset themselves; large files are sorted as they are put in.
result read_sorted_source(line_file& file, line_table& pane);

} // namespace core
