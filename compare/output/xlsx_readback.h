#pragma once
// Reading a written workbook back before it is called saved: every member of the archive read
// from the file, inflated to its checksum and size, and parsed as XML, and every sheet counted
// row by row. A disk that refused bytes, a cut archive or a text that XML cannot hold all fail
// here, so an ill-formed workbook is never reported as saved.

#include "runtime/core/result.h"

#include <cstdint>
#include <string>
#include <vector>

namespace core {

// Where the writer put each sheet's parts, so that the parts are read back on two threads at
// once: a sheet is its head, its rows a piece at a time, and its tail, each deflated on its own.
struct xlsx_layout {
    struct part {
        std::uint64_t packed = 0, size = 0;
        std::uint32_t crc = 0;
        long rows = 0; // rows it holds
    };
    struct sheet {
        std::string member; // "xl/worksheets/sheet1.xml"
        std::vector<part> parts; // the head first, the tail last
    };
    std::vector<sheet> sheets;
};

// Whether the workbook at `path` (a "/proc/self/fd/N" name reads an open file) reads back as
// `layout` says it was written. Fails (not_whole) with the reason otherwise.
result xlsx_reads_back(const std::string& path, const xlsx_layout& layout);

} // namespace core
