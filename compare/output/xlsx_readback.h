#pragma once
// Reading a written workbook back. The workbook library streams each sheet through temporary
// files without checking those writes, so a file system that refuses bytes (full, over quota,
// over the process's file-size limit) leaves a well-formed archive around a cut-off sheet and
// no error at all; only reading the sheet back tells.

#include <string>

namespace core {

// Whether the first sheet of the workbook at `path` is whole: its XML ends as a sheet ends and
// holds `rows` rows. False with the reason in `error` otherwise.
bool xlsx_sheet_is_whole(const std::string& path, long rows, std::string& error);

} // namespace core
