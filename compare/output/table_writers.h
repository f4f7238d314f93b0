#pragma once
// The file types a list is saved in. Each writes every row, both columns, in row order, as
// UTF-8; none adds a heading row. A writer fails (write_failed, with the reason) when it could
// not write everything; what it wrote by then is not a usable file. The text, CSV and HTML
// writers read `rows` from several threads at once, so it must not change while they run.

#include "compare/output/xlsx_readback.h"
#include "runtime/core/result.h"
#include "runtime/core/row_source.h"

#include <ostream>
#include <string>

namespace core {

// es_text, a tab, es_text2 and a line feed per row. An es_text2 that holds a tab, a CR or a LF,
// or begins with a quote, is written in quotes with C's escapes, so that each row stays one line.
result write_text(const row_source& rows, std::ostream& out);

// RFC 4180: a field is quoted when it holds a comma, a quote, a CR or a LF, with its quotes
// doubled; records end in CRLF. A byte-order mark leads, so spreadsheets take it as UTF-8.
result write_csv(const row_source& rows, std::ostream& out);

// A self-contained HTML page with a two-column table; every text is escaped and shown with
// its blanks kept. `title` names the page.
result write_html(const row_source& rows, std::ostream& out, std::string_view title);

// The most characters an Excel cell holds.
constexpr long xlsx_cell_max = 32767;
// The most rows an Excel sheet holds.
constexpr long xlsx_row_max = 1048576;

// An Excel workbook into `out`, which must be a stream that can seek: es_text in column A and
// es_text2 in column B, every cell a text cell, so "=1+1" or "00123" stay as written, every
// character kept (a control, U+FFFE and U+FFFF as a spreadsheet's "_xHHHH_" escape, bytes that
// are no UTF-8 as U+FFFD). A list longer than a sheet holds (`sheet_rows`, which tests lower)
// goes on over further sheets, each as full as it can be, named "Rows 1 to 1048576",
// "Rows 1048577 to ..."; a list that fits has one sheet of the default name. A text longer than
// a cell holds, counted as a spreadsheet counts it, fails the whole workbook rather than being
// cut. `layout` tells xlsx_reads_back where the parts went.
result write_xlsx(const row_source& rows, std::ostream& out, xlsx_layout& layout, long sheet_rows = xlsx_row_max);

// The workbook written to the file at `path` and read back from it.
result write_xlsx_file(const row_source& rows, const std::string& path, long sheet_rows = xlsx_row_max);

} // namespace core
