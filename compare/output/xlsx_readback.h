#pragma once
// Reading a written workbook back. The workbook library streams each sheet through temporary
// files without checking those writes, so a file system that refuses bytes (full, over quota,
// over the process's file-size limit) leaves a well-formed archive around a cut-off sheet and
// no error at all; only reading the sheet back tells.

#include "runtime/result.h"

#include <string>
#include <vector>

namespace core {

// Whether the sheets of the workbook at `path` are whole: sheet i (from 1) ends as a sheet
// ends and holds rows[i - 1] rows. Fails (not_whole) otherwise.
result xlsx_sheets_are_whole(const std::string& path, const std::vector<long>& rows);

} // namespace core
