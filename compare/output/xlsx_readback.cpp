#include "compare/output/xlsx_readback.h"

#include "compare/output/zip_archive.h"
#include "runtime/core/owner.h"
#include "runtime/core/thread_pool.h"
#include "runtime/core/work_gauge.h"

#include <expat.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string_view>

namespace core {

namespace {

// An XML parser for one thread, reused part after part; it counts the rows a part holds.
struct parser_kind {
    using handle = XML_Parser;
    static XML_Parser none() noexcept { return nullptr; }
    static void free(XML_Parser p) noexcept { XML_ParserFree(p); }
};

class xml_checker {
public:
    // Parses `pieces` in turn as one document; false (with the parser's reason) when it is not
    // well-formed. rows() then tells how many rows stood at `row_depth`.
    bool parse(std::initializer_list<std::string_view> pieces, int row_depth, std::string& why)
    {
        if (!parser_ || !XML_ParserReset(parser_.get(), "UTF-8")) {
            why = "there was not enough memory to read it back";
            return false;
        }
        depth_ = 0;
        rows_ = 0;
        row_depth_ = row_depth;
        XML_SetUserData(parser_.get(), this);
        XML_SetElementHandler(parser_.get(), &xml_checker::start, &xml_checker::end);
        std::size_t left = pieces.size();
        for (std::string_view p : pieces) {
            const bool final_piece = --left == 0;
            // The parser counts in ints: long pieces go in several calls.
            do {
                const std::size_t n = std::min<std::size_t>(p.size(), 1 << 30);
                if (XML_Parse(parser_.get(), p.data(), static_cast<int>(n), final_piece && n == p.size())
                    != XML_STATUS_OK) {
                    why = std::string("its XML is not well-formed (") + XML_ErrorString(XML_GetErrorCode(parser_.get()))
                        + ")";
                    return false;
                }
                p.remove_prefix(n);
            } while (!p.empty());
        }
        return true;
    }
    long rows() const { return rows_; }

private:
    static void XMLCALL start(void* self, const XML_Char* name, const XML_Char**)
    {
        auto* c = static_cast<xml_checker*>(self);
        if (++c->depth_ == c->row_depth_ && std::strcmp(name, "row") == 0)
            ++c->rows_;
    }
    static void XMLCALL end(void* self, const XML_Char*) { --static_cast<xml_checker*>(self)->depth_; }

    owner<parser_kind> parser_ {XML_ParserCreate("UTF-8")};
    int depth_ = 0, row_depth_ = 0;
    long rows_ = 0;
};

// One piece of the reading back: a part of a sheet's rows, a sheet's head and tail together,
// or a whole member that is not a sheet.
struct task {
    enum kind { rows, ends, member } what;
    std::size_t sheet = 0, part = 0; // of the layout; for a member, its entry
    std::uint64_t at = 0; // where its deflated bytes begin in the file
};

} // namespace

result xlsx_reads_back(const std::string& path, const xlsx_layout& layout)
{
    const auto not_whole = [](const std::string& why) {
        return result {fault::not_whole, "the workbook does not read back whole: " + why};
    };
    const unique_fd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file)
        return not_whole(std::strerror(errno));
    std::vector<zip_entry> entries;
    std::vector<std::uint64_t> data_at;
    std::string why;
    if (!read_zip_directory(file.get(), entries, data_at, why))
        return not_whole(why);

    std::vector<task> tasks;
    std::vector<bool> sheet_found(layout.sheets.size(), false);
    for (std::size_t e = 0; e < entries.size(); ++e) {
        std::size_t s = 0;
        while (s < layout.sheets.size() && layout.sheets[s].member != entries[e].name)
            ++s;
        if (s == layout.sheets.size()) {
            if (entries[e].name.rfind("xl/worksheets/", 0) == 0)
                return not_whole(entries[e].name + " was not written");
            tasks.push_back({task::member, e, 0, data_at[e]});
            continue;
        }
        const xlsx_layout::sheet& sheet = layout.sheets[s];
        if (sheet_found[s] || sheet.parts.size() < 2)
            return not_whole(entries[e].name + " is there twice or is malformed");
        sheet_found[s] = true;
        std::uint64_t packed = 0, size = 0;
        for (std::size_t p = 0; p < sheet.parts.size(); ++p) {
            if (p > 0 && p + 1 < sheet.parts.size())
                tasks.push_back({task::rows, s, p, data_at[e] + packed});
            packed += sheet.parts[p].packed;
            size += sheet.parts[p].size;
        }
        tasks.push_back({task::ends, s, 0, data_at[e]});
        std::uint32_t crc = sheet.parts[0].crc;
        for (std::size_t p = 1; p < sheet.parts.size(); ++p)
            crc = zip_crc_join(crc, sheet.parts[p].crc, sheet.parts[p].size);
        if (entries[e].method != 8 || entries[e].packed != packed || entries[e].size != size || entries[e].crc != crc)
            return not_whole(entries[e].name + " is not the size it was written");
    }
    for (std::size_t s = 0; s < sheet_found.size(); ++s)
        if (!sheet_found[s])
            return not_whole(layout.sheets[s].member + " is missing");

    std::atomic<std::size_t> next {0};
    std::mutex failed_mutex;
    std::string failure;
    auto work = [&] {
        inflater inflating;
        xml_checker xml;
        std::string packed, bytes, tail_packed, tail;
        std::string reason;
        const auto fail = [&](const std::string& what) {
            std::lock_guard<std::mutex> lock(failed_mutex);
            if (failure.empty())
                failure = what;
            next = tasks.size();
        };
        try {
            for (std::size_t i; (i = next.fetch_add(1)) < tasks.size();) {
                const task& t = tasks[i];
                if (t.what == task::member) {
                    const zip_entry& e = entries[t.sheet];
                    const auto ends_in = [&e](std::string_view tail) {
                        return e.name.size() >= tail.size()
                            && e.name.compare(e.name.size() - tail.size(), tail.size(), tail) == 0;
                    };
                    const bool read = read_at(file.get(), t.at, static_cast<std::size_t>(e.packed), packed)
                        && (e.method == 0 ? (bytes = packed, bytes.size() == e.size)
                                          : e.method == 8 && inflating.put(packed, e.size, true, bytes));
                    if (!read || zip_crc(0, bytes) != e.crc)
                        fail(e.name + " is damaged");
                    else if ((ends_in(".xml") || ends_in(".rels")) && !xml.parse({bytes}, 0, reason))
                        fail(e.name + ": " + reason);
                    continue;
                }
                const xlsx_layout::sheet& sheet = layout.sheets[t.sheet];
                const std::string& name = sheet.member;
                if (t.what == task::rows) {
                    const xlsx_layout::part& p = sheet.parts[t.part];
                    if (!read_at(file.get(), t.at, static_cast<std::size_t>(p.packed), packed)
                        || !inflating.put(packed, p.size, false, bytes) || zip_crc(0, bytes) != p.crc) {
                        fail(name + " is damaged");
                    } else if (!xml.parse({"<sheetData>", bytes, "</sheetData>"}, 2, reason)) {
                        fail(name + ": " + reason);
                    } else if (xml.rows() != p.rows) {
                        fail(name + " holds " + std::to_string(xml.rows()) + " rows where " + std::to_string(p.rows)
                            + " were written");
                    }
                    work::advance(static_cast<std::uint64_t>(p.rows));
                    if (work::stop_asked())
                        fail(work::cancelled);
                    continue;
                }
                // The head and the tail hold the sheet's outline and no row: the two together
                // are the document of a sheet with no rows.
                const xlsx_layout::part& head = sheet.parts.front();
                const xlsx_layout::part& last = sheet.parts.back();
                std::uint64_t tail_at = t.at;
                for (std::size_t p = 0; p + 1 < sheet.parts.size(); ++p)
                    tail_at += sheet.parts[p].packed;
                const bool read = read_at(file.get(), t.at, static_cast<std::size_t>(head.packed), packed)
                    && read_at(file.get(), tail_at, static_cast<std::size_t>(last.packed), tail_packed)
                    && inflating.put(packed, head.size, false, bytes)
                    && inflating.put(tail_packed, last.size, true, tail);
                if (!read || zip_crc(0, bytes) != head.crc || zip_crc(0, tail) != last.crc)
                    fail(name + " is damaged");
                else if (!xml.parse({bytes, tail}, 3, reason) || xml.rows() != 0)
                    fail(name + ": " + (reason.empty() ? std::string("its outline holds rows") : reason));
            }
        } catch (const std::bad_alloc&) {
            fail("there was not enough memory to read it back");
        }
    };
    std::uint64_t rows = 0;
    for (const xlsx_layout::sheet& sheet : layout.sheets)
        for (const xlsx_layout::part& p : sheet.parts)
            rows += static_cast<std::uint64_t>(p.rows);
    work::begin_stage(1, rows);
    try {
        on_two_threads(tasks.size() > 8, work, work);
    } catch (const std::bad_alloc&) {
        return not_whole("there was not enough memory to read it back");
    }
    if (!failure.empty())
        return not_whole(failure);
    return {};
}

} // namespace core
