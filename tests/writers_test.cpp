// The file types of Save As, byte for byte: text, CSV, HTML, and the workbook read back.

#include "compare/output/piece_writer.h"
#include "compare/output/table_writers.h"
#include "compare/output/xlsx_readback.h"
#include "compare/output/zip_archive.h"
#include "runtime/core/wide_registers.h"

#include "support/output_files.h"
#include "support/read_back.h"

#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <fstream>
#include <functional>
#include <sstream>
#include <streambuf>

using testing::row_pairs;
using testing::vector_rows;

namespace {

// A stream that takes `room` bytes and refuses the rest, as a full disk does.
class refusing_buffer : public std::streambuf {
public:
    explicit refusing_buffer(std::streamsize room = 0)
        : room_(room)
    {
    }

protected:
    int_type overflow(int_type c) override { return xsputn(nullptr, 1) == 1 ? c : traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize n) override
    {
        const std::streamsize taken = std::min(n, room_);
        room_ -= taken;
        return taken;
    }

private:
    std::streamsize room_;
};

std::string text_of(const row_pairs& rows)
{
    std::ostringstream out;
    if (const core::result written = core::write_text(vector_rows(rows), out); !written)
        return "failed: " + written.reason();
    return out.str();
}

std::string csv_of(const row_pairs& rows)
{
    std::ostringstream out;
    if (const core::result written = core::write_csv(vector_rows(rows), out); !written)
        return "failed: " + written.reason();
    return out.str();
}

std::string html_of(const row_pairs& rows, std::string_view title = "list")
{
    std::ostringstream out;
    if (const core::result written = core::write_html(vector_rows(rows), out, title); !written)
        return "failed: " + written.reason();
    return out.str();
}

// Leaves this thread's wide registers in use, as a graphical program's drawing may; false where
// the processor cannot tell.
bool soil_wide_registers()
{
#if defined(__x86_64__) && defined(__GNUC__)
    if (__builtin_cpu_supports("avx")) // written out, so that no compiler cleans up after it
        __asm__ volatile("vpcmpeqb %%ymm1, %%ymm1, %%ymm1" ::: "xmm1");
#endif
    return core::wide_registers_in_use();
}

} // namespace

class writers_test : public QObject {
    Q_OBJECT

private slots:
    void text_is_tab_separated_lines()
    {
        QCOMPARE(text_of({}), std::string());
        QCOMPARE(text_of(testing::awkward_rows()),
            std::string("plain\t\n"
                        "a,b\tc:\\one.txt\n"
                        "say \"hi\"\tx\n"
                        "tab\there\t2\n"
                        "=1+1\t00123\n"
                        "  padded  \t<b>&'</b>\n"
                        "Zürich – 東京 ✓\tnaïve\n"
                        "\tonly second\n"
                        "alpha\t\"c:\\\\tmp\\\\new\\nline\\ttab.txt\"\n"
                        "beta\t\"\\\"quoted\\\" \\\\ name\"\n"));
        // A source that needs no quotes keeps its backslashes as they are, and a row's tabs
        // stay its own: the source is what follows the last tab.
        QCOMPARE(
            text_of({{"x\ty", "c:\\tmp\\n.txt"}, {"y", "d\"q\""}}), std::string("x\ty\tc:\\tmp\\n.txt\ny\td\"q\"\n"));
    }

    void csv_quotes_only_where_needed()
    {
        QCOMPARE(csv_of({}), std::string("\xEF\xBB\xBF"));
        QCOMPARE(csv_of(testing::awkward_rows()),
            std::string("\xEF\xBB\xBF"
                        "plain,\r\n"
                        "\"a,b\",c:\\one.txt\r\n"
                        "\"say \"\"hi\"\"\",x\r\n"
                        "tab\there,2\r\n"
                        "=1+1,00123\r\n"
                        "  padded  ,<b>&'</b>\r\n"
                        "Zürich – 東京 ✓,naïve\r\n"
                        ",only second\r\n"
                        "alpha,\"c:\\tmp\\new\nline\ttab.txt\"\r\n"
                        "beta,\"\"\"quoted\"\" \\ name\"\r\n"));
        // Line breaks inside a field stay inside its quotes.
        QCOMPARE(csv_of({{"one\r\ntwo", "\"\""}, {"cr\r", "lf\n"}}),
            std::string("\xEF\xBB\xBF"
                        "\"one\r\ntwo\",\"\"\"\"\"\"\r\n"
                        "\"cr\r\",\"lf\n\"\r\n"));
    }

    void html_is_one_escaped_page()
    {
        const std::string page = html_of({{"a < b && c > d", ""}, {"'q' \"w\"", "x\x01y"}}, "<title>");
        QCOMPARE(page,
            std::string("<!DOCTYPE html>\n"
                        "<html>\n"
                        "<head>\n"
                        "<meta charset=\"utf-8\">\n"
                        "<title>&lt;title&gt;</title>\n"
                        "<style>\n"
                        "table { border-collapse: collapse; font-family: sans-serif; font-size: 10pt; }\n"
                        "td { border: 1px solid #c0c0c0; padding: 1px 6px; white-space: pre; "
                        "vertical-align: top; }\n"
                        "</style>\n"
                        "</head>\n"
                        "<body>\n"
                        "<table>\n"
                        "<tbody>\n"
                        "<tr><td>a &lt; b &amp;&amp; c &gt; d</td><td></td></tr>\n"
                        "<tr><td>&#39;q&#39; &quot;w&quot;</td><td>x\xEF\xBF\xBDy</td></tr>\n"
                        "</tbody>\n"
                        "</table>\n"
                        "</body>\n"
                        "</html>\n"));
        // No row, still a whole page with its table.
        const std::string empty = html_of({});
        QVERIFY(empty.find("<tbody>\n</tbody>") != std::string::npos);
        QVERIFY(empty.size() > 100 && empty.compare(empty.size() - 8, 8, "</html>\n") == 0);
    }

    // Megabytes of rows, some far longer than the writers gather at once, some needing quotes
    // only past their first sixteen bytes, come out whole and in order.
    void long_lists_come_out_whole()
    {
        row_pairs rows;
        std::string text = "\xEF\xBB\xBF", csv = text;
        for (int i = 0; i < 40000; ++i) {
            std::string line(static_cast<std::size_t>(i % 61), 'a' + i % 26);
            if (i % 7 == 0)
                line += i % 2 ? "\"" : ",";
            if (i == 20000)
                line.assign(700000, 'x');
            const std::string source = i % 3 ? "c:\\one, two.txt" : "c:\\three.txt";
            rows.push_back({line, source});
            text += line + '\t' + source + '\n';
            const bool quoted = line.find_first_of(",\"") != std::string::npos;
            const std::string field = !quoted ? line : '"' + (i % 2 ? line + '"' : line) + '"';
            csv += field + (i % 3 ? ",\"c:\\one, two.txt\"\r\n" : ",c:\\three.txt\r\n");
        }
        QVERIFY(text_of(rows) == text.substr(3));
        QVERIFY(csv_of(rows) == csv);
    }

    // With the wide registers in use every older vector step waits on the one before, which made
    // a CSV save from the window twice as slow; the pieces are formatted with them clean.
    void pieces_are_formatted_with_clean_wide_registers()
    {
        if (!soil_wide_registers())
            QSKIP("this processor does not tell whether its wide registers are in use");
        std::atomic<int> soiled {0};
        std::ostringstream out;
        QVERIFY(core::write_pieces(100000, out,
            [&] { return [&](long, long, core::byte_piece&) { soiled += core::wide_registers_in_use(); }; }));
        QCOMPARE(soiled.load(), 0);
    }

    // A sheet's parts are deflated on different threads and joined into one member; each is
    // inflated alone to be read back, and must be exactly its bytes.
    void parts_deflated_apart_join_into_one_stream()
    {
        std::string first;
        for (int i = 0; i < 40000; ++i)
            first += "<row><c t=\"inlineStr\"><is><t>line " + std::to_string(i * 7919 % 1000) + "</t></is></c></row>";
        const std::vector<std::string> parts {first, "", "<row/>"};
        std::string joined, whole;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            core::byte_piece packed;
            QVERIFY(core::deflater().put(parts[i], packed, i + 1 == parts.size()));
            QVERIFY(!core::wide_registers_in_use());
            const std::string bytes(packed.data(), packed.size());
            const bool last = i + 1 == parts.size();
            std::string back;
            QVERIFY(core::inflater().put(bytes, parts[i].size(), last, back) && back == parts[i]);
            QVERIFY(!core::inflater().put(bytes, parts[i].size(), !last, back));
            QVERIFY(!core::inflater().put(bytes, parts[i].size() + 1, last, back));
            QVERIFY(!core::inflater().put(bytes + "xyz", parts[i].size(), last, back));
            if (!parts[i].empty())
                QVERIFY(!core::inflater().put(bytes, parts[i].size() - 1, last, back));
            QVERIFY(!core::wide_registers_in_use());
            joined += bytes;
            whole += parts[i];
        }
        // Another inflater reads the joined parts as one stream, with the joined checksum.
        testing::read_back_detail::inflater other;
        std::string back(whole.size(), '\0');
        other.z.next_in = reinterpret_cast<Bytef*>(joined.data());
        other.z.avail_in = static_cast<uInt>(joined.size());
        other.z.next_out = reinterpret_cast<Bytef*>(back.data());
        other.z.avail_out = static_cast<uInt>(back.size());
        QVERIFY(inflate(&other.z, Z_FINISH) == Z_STREAM_END && other.z.avail_in == 0 && back == whole);
        QCOMPARE(core::zip_crc_join(core::zip_crc(0, first), core::zip_crc(0, "<row/>"), 6),
            static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(whole.data()), whole.size())));
    }

    void a_refused_write_is_a_failure()
    {
        refusing_buffer refusing;
        std::ostream out(&refusing);
        const auto refused = [](const core::result& written) {
            return !written && written.why() == core::fault::write_failed && !written.reason().empty();
        };
        const vector_rows rows(testing::awkward_rows());
        QVERIFY(refused(core::write_text(rows, out)));
        out.clear();
        QVERIFY(refused(core::write_csv(rows, out)));
        out.clear();
        QVERIFY(refused(core::write_html(rows, out, "t")));
        // A disk that fills part way through a long list.
        const vector_rows many(row_pairs(200000, {"a line of the list", "c:\\a.txt"}));
        for (auto* write : {&core::write_text, &core::write_csv}) {
            refusing_buffer filling(1 << 20);
            std::ostream partly(&filling);
            QVERIFY(refused((*write)(many, partly)));
        }
    }

    void workbook_cells_are_all_text()
    {
        if (!testing::have_tool("unzip"))
            QSKIP("unzip is not installed");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("list.xlsx"));
        row_pairs rows = testing::awkward_rows();
        rows.push_back({"_x0041_ stays", "bell\x07"});
        // Every character a line may hold is kept, a NUL and a CR among them.
        rows.push_back({std::string("abc\0def", 7), std::string("\0lead", 5)});
        rows.push_back({"cr\rlf\r\n", "\x1f\x0b"});
        // Letters that would close into an escape with the escape of the control after them.
        rows.push_back({std::string("_x0041\0", 7), "_x0041\x01_x0042"});
        // Characters that XML forbids, which a parser refuses to read as they are.
        rows.push_back({"non\xEF\xBF\xBF"
                        "char_x0041\xEF\xBF\xBE",
            "\xEF\xBF\xBEpath"});
        // A row without a first text, and one after a row with no text at all, which the sheet
        // leaves out: each cell must still land in its own row and column.
        rows.push_back({"", "second only"});
        rows.push_back({"", ""});
        rows.push_back({"after the gap", "second"});
        const core::result written = core::write_xlsx_file(vector_rows(rows), path.toStdString());
        QVERIFY2(written, written.reason().c_str());

        const auto cells = testing::xlsx_cells(path);
        QVERIFY(!cells.isEmpty());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const QString row = QString::number(i + 1);
            const auto check = [&](const QString& ref, const std::string& expected) {
                if (expected.empty()) {
                    QVERIFY2(!cells.contains(ref) || cells[ref].text.isEmpty(), qPrintable(ref));
                    return;
                }
                QVERIFY2(cells.contains(ref), qPrintable(ref));
                QCOMPARE(cells[ref].text, QString::fromUtf8(expected.data(), static_cast<int>(expected.size())));
                QVERIFY2(cells[ref].type == QLatin1String("inlineStr") || cells[ref].type == QLatin1String("s"),
                    qPrintable(ref + QLatin1Char(' ') + cells[ref].type));
                QVERIFY(!cells[ref].formula);
            };
            check(QStringLiteral("A") + row, rows[i].first);
            check(QStringLiteral("B") + row, rows[i].second);
        }
        // Nothing beyond the two columns and the rows.
        for (auto it = cells.begin(); it != cells.end(); ++it) {
            QVERIFY2(
                it.key().startsWith(QLatin1Char('A')) || it.key().startsWith(QLatin1Char('B')), qPrintable(it.key()));
            QVERIFY(it.key().mid(1).toInt() <= static_cast<int>(rows.size()));
        }
        // The working files went with the workbook.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList {QStringLiteral("list.xlsx")});
    }

    void workbook_refuses_what_a_cell_cannot_hold()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("long.xlsx"));
        const row_pairs rows {{"fine", ""}, {"short", std::string(core::xlsx_cell_max + 1, 'x')}};
        const core::result refused = core::write_xlsx_file(vector_rows(rows), path.toStdString());
        QVERIFY(!refused && refused.why() == core::fault::write_failed);
        QVERIFY2(refused.reason().find("row 2 holds 32,768 characters, more than the 32,767") != std::string::npos,
            refused.reason().c_str());
        // Characters beyond the first plane count twice, as a spreadsheet counts them.
        std::string wide;
        for (long i = 0; i < core::xlsx_cell_max / 2 + 1; ++i)
            wide += "\xF0\x9F\x98\x80";
        QVERIFY(!core::write_xlsx_file(vector_rows({{wide, ""}}), path.toStdString()));

        // A cell of exactly the most characters is kept whole (here in multi-byte letters), and
        // controls count as the one character each is, not as the seven of its escape.
        std::string widest;
        for (long i = 0; i < core::xlsx_cell_max; ++i)
            widest += "é";
        const std::string controls(core::xlsx_cell_max, '\x01');
        const core::result written = core::write_xlsx_file(vector_rows({{widest, controls}}), path.toStdString());
        QVERIFY2(written, written.reason().c_str());
        if (testing::have_tool("unzip")) {
            const auto cells = testing::xlsx_cells(path);
            QCOMPARE(cells[QStringLiteral("A1")].text.size(), int(core::xlsx_cell_max));
            QCOMPARE(cells[QStringLiteral("B1")].text, QString(int(core::xlsx_cell_max), QChar(1)));
        }
    }

    void a_list_longer_than_a_sheet_goes_on_over_further_sheets()
    {
        if (!testing::have_tool("unzip"))
            QSKIP("unzip is not installed");
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("long.xlsx"));
        row_pairs rows;
        for (int i = 1; i <= 8; ++i)
            rows.push_back({"row " + std::to_string(i), i == 5 ? "" : "x"});
        rows[5].first.clear(); // a row with text in B only
        core::result written = core::write_xlsx_file(vector_rows(rows), path.toStdString(), 3);
        QVERIFY2(written, written.reason().c_str());
        QCOMPARE(testing::xlsx_sheet_names(path),
            (QStringList {
                QStringLiteral("Rows 1 to 3"), QStringLiteral("Rows 4 to 6"), QStringLiteral("Rows 7 to 8")}));
        // Every row once, in order, each sheet from its own row 1.
        row_pairs back;
        for (int sheet = 1; sheet <= 3; ++sheet) {
            const auto cells = testing::xlsx_cells(path, sheet);
            for (int r = 1; r <= (sheet < 3 ? 3 : 2); ++r)
                back.push_back({cells.value(QStringLiteral("A%1").arg(r)).text.toStdString(),
                    cells.value(QStringLiteral("B%1").arg(r)).text.toStdString()});
        }
        QVERIFY(back == rows);
        // The check read back after writing tells each sheet's rows apart and misses none.
        core::xlsx_layout layout;
        {
            std::ofstream out(path.toStdString(), std::ios::binary | std::ios::trunc);
            QVERIFY(core::write_xlsx(vector_rows(rows), out, layout, 3));
        }
        QVERIFY(core::xlsx_reads_back(path.toStdString(), layout));
        // Each member's checksum and sizes stand in its local header as in the directory: some
        // spreadsheets refuse a workbook whose headers leave them to a zip64 field.
        {
            const QByteArray bytes = testing::file_bytes(path);
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            std::vector<core::zip_entry> entries;
            std::vector<std::uint64_t> data_at;
            std::string why;
            QVERIFY2(core::read_zip_directory(f.handle(), entries, data_at, why), why.c_str());
            for (const core::zip_entry& e : entries) {
                const QByteArray local = bytes.mid(static_cast<int>(e.header_at), 30);
                QCOMPARE(local.mid(14, 12),
                    QByteArray::fromStdString(
                        std::string {char(e.crc), char(e.crc >> 8), char(e.crc >> 16), char(e.crc >> 24),
                            char(e.packed), char(e.packed >> 8), char(e.packed >> 16), char(e.packed >> 24),
                            char(e.size), char(e.size >> 8), char(e.size >> 16), char(e.size >> 24)}));
            }
        }
        const auto wrong = [&](const std::function<void(core::xlsx_layout&)>& change) {
            core::xlsx_layout changed = layout;
            change(changed);
            return core::xlsx_reads_back(path.toStdString(), changed).why() == core::fault::not_whole;
        };
        QVERIFY(wrong([](core::xlsx_layout& l) { l.sheets[1].parts[1].rows = 2; }));
        QVERIFY(wrong([](core::xlsx_layout& l) { l.sheets.pop_back(); }));
        QVERIFY(
            wrong([](core::xlsx_layout& l) { l.sheets.push_back(l.sheets.back()), l.sheets.back().member += "x"; }));
        // A byte of the sheet's rows changed on the disk.
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QByteArray bytes = f.readAll();
            const int at = bytes.indexOf("xl/worksheets/sheet2.xml") + 60;
            bytes[at] = static_cast<char>(bytes[at] ^ 0x10);
            f.seek(0);
            f.write(bytes);
        }
        QVERIFY(!core::xlsx_reads_back(path.toStdString(), layout));
        // A list that fits keeps one sheet of the default name.
        written = core::write_xlsx_file(vector_rows(rows), path.toStdString(), 8);
        QVERIFY2(written, written.reason().c_str());
        QCOMPARE(testing::xlsx_sheet_names(path), QStringList {QStringLiteral("Sheet1")});
    }

    void workbook_of_an_empty_list_opens()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("empty.xlsx"));
        const auto open_files = [] { return QDir(QStringLiteral("/proc/self/fd")).count(); };
        const auto before = open_files();
        QVERIFY(core::write_xlsx_file(vector_rows({}), path.toStdString()));
        // Sheets with no cell, alone or among others, leave no file open behind them.
        QVERIFY(core::write_xlsx_file(
            vector_rows({{"", ""}, {"", ""}, {"a", ""}}), dir.filePath(QStringLiteral("two.xlsx")).toStdString(), 2));
        QCOMPARE(open_files(), before);
        QVERIFY(testing::file_bytes(path).startsWith("PK"));
        if (testing::have_tool("unzip"))
            QVERIFY(testing::xlsx_cells(path).isEmpty());
    }
};

QTEST_GUILESS_MAIN(writers_test)
#include "writers_test.moc"
