// A long session: the program started once, and its compare window taken round the whole road
// again and again with sources of ten thousand to a million lines. Each cycle loads both panes
// from the folder list, compares, copies a result list to the clipboard by Ctrl+A and Ctrl+C,
// prints a list into a PDF file and saves the combined list in every type, all through the
// frame's menu; everything it made is read back against lists worked out here, then removed.
//
// After every cycle one line gives the process's resident memory, the heap in use and the open
// files. The first two rounds of cycles are the warm-up; after it the resident memory may rise
// no more than TOVIK_SOAK_TOLERANCE_MB (8 unless told) above the warm-up's highest nor drift up
// by as much from the first round to the last, and the heap in use after a cycle of each size
// no more than TOVIK_SOAK_HEAP_TOLERANCE_MB (2) above the warm-up's after that size. No file may
// be left open that was not open before the first cycle, and the temporary folder and the folder
// saved into are empty after every cycle.
//
// Too long for every run of the suite: `make soak` builds and runs it. TOVIK_SOAK_CYCLES sets the
// number of cycles (200 unless told).

#include "app/linara.h"
#include "compare/linetable/grid_pane.h"
#include "compare/w_diff.h"
#include "frame/m_main.h"
#include "frame/w_frame.h"
#include "printopt/w_print_option.h"
#include "runtime/core/drive_model.h"
#include "runtime/message_box.h"
#include "runtime/print_job.h"
#include "runtime/save_dialog.h"
#include "runtime/window_refs.h"
#include "support/browser_tree.h"
#include "support/modal.h"
#include "support/output_files.h"
#include "support/plain_compare.h"
#include "support/read_back.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace {

// The sizes the cycles go through, and their order: every size in each round of ten, the largest
// twice, a smaller one always between; two hundred cycles take about ten minutes on two cores.
const long sizes[] = {10000, 30000, 100000, 300000, 1000000};
const int round_of_sizes[] = {0, 1, 2, 0, 3, 1, 4, 2, 0, 4};
constexpr int round_length = int(sizeof round_of_sizes / sizeof round_of_sizes[0]);

// How many cycles settle the memory: the first two rounds.
constexpr int warm_up_cycles = 2 * round_length;

// Lines of the first source that the second replaces with lines of its own: a few hundred
// difference rows at every size, so that the difference list prints on a few pages.
constexpr long replaced_lines = 200;

long env_number(const char* name, long fallback)
{
    bool ok = false;
    const long value = qEnvironmentVariable(name).toLong(&ok);
    return ok && value > 0 ? value : fallback;
}

// The process's resident memory in kB, as the kernel counts it.
long resident_kb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// The bytes malloc has handed out and not had back, in kB, over all its arenas: what the system
// holds (malloc_info's "current") less what lies free in it, plus the blocks mapped on their own.
// Unlike the resident memory it does not keep what was freed, so it tells a leak from memory
// that the allocator keeps for later.
long heap_in_use_kb()
{
#if defined(__GLIBC__)
    char* text = nullptr;
    std::size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    if (!out)
        return -1;
    const int failed = malloc_info(0, out);
    std::fclose(out);
    const QByteArray xml(text, int(size));
    std::free(text);
    if (failed)
        return -1;
    // The totals over every arena follow the last arena's own figures.
    const QByteArray all = xml.mid(xml.lastIndexOf("</heap>"));
    const auto figure = [&all](const char* kind, const char* type) {
        const QRegularExpression re(
            QStringLiteral("<%1 type=\"%2\"[^>]* size=\"(\\d+)\"").arg(QLatin1String(kind), QLatin1String(type)));
        const auto m = re.match(QString::fromLatin1(all));
        return m.hasMatch() ? m.captured(1).toLongLong() : 0LL;
    };
    const long long used
        = figure("system", "current") - figure("total", "fast") - figure("total", "rest") + figure("total", "mmap");
    return long(used / 1024);
#else
    return -1;
#endif
}

// The files the process holds open, each as "fd -> what it is"; the listing's own handle, gone
// by the time it is looked at, is left out.
QStringList open_files()
{
    QStringList held;
    const QStringList fds = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System);
    for (const QString& fd : fds) {
        char target[4096];
        const QByteArray link = QByteArrayLiteral("/proc/self/fd/") + fd.toLatin1();
        const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
        if (n > 0)
            held << fd + QStringLiteral(" -> ") + QString::fromUtf8(target, int(n));
    }
    return held;
}

bool is_wake_up(const QString& open_file)
{
    return open_file.endsWith(QLatin1String("anon_inode:[eventfd]"));
}

int wake_ups(const QStringList& open)
{
    return int(std::count_if(open.begin(), open.end(), is_wake_up));
}

int thread_count()
{
    return int(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
}

QStringList files_below(const QString& dir)
{
    QStringList found;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(dir).relativeFilePath(it.next());
    found.sort();
    return found;
}

// The lines of a file as the loader splits them, line ends taken off.
std::vector<std::string> lines_of(const QByteArray& bytes)
{
    std::vector<std::string> lines;
    const char* at = bytes.constData();
    const char* const end = at + bytes.size();
    while (at < end) {
        const char* nl = static_cast<const char*>(std::memchr(at, '\n', std::size_t(end - at)));
        const char* stop = nl ? nl : end;
        const char* text_end = stop > at && stop[-1] == '\r' ? stop - 1 : stop;
        lines.emplace_back(at, std::size_t(text_end - at));
        at = nl ? nl + 1 : end;
    }
    return lines;
}

// The lines a pane keeps: none empty, none of blanks only.
std::vector<std::string> kept(const std::vector<std::string>& lines)
{
    std::vector<std::string> out;
    for (const std::string& l : lines)
        if (l.find_first_not_of(' ') != std::string::npos)
            out.push_back(l);
    return out;
}

QByteArray joined(const std::vector<std::string>& lines, const char* eol)
{
    QByteArray out;
    for (const std::string& l : lines)
        out.append(l.data(), int(l.size())).append(eol);
    return out;
}

// The rows of a list held in the Text file's form (text, a tab, source, a line feed), one by one.
// A source never holds a tab, so the last tab of a line ends its text.
class text_rows {
public:
    explicit text_rows(const QByteArray& bytes)
        : at_(bytes.constData())
        , end_(at_ + bytes.size())
    {
    }
    bool next(std::string_view& text, std::string_view& source)
    {
        if (at_ >= end_)
            return false;
        const char* nl = static_cast<const char*>(std::memchr(at_, '\n', std::size_t(end_ - at_)));
        const std::string_view line(at_, std::size_t(nl - at_));
        at_ = nl + 1;
        const std::size_t tab = line.rfind('\t');
        text = line.substr(0, tab);
        source = line.substr(tab + 1);
        ++read_;
        return true;
    }
    long read() const { return read_; }

private:
    const char* at_;
    const char* end_;
    long read_ = 0;
};

QString shown(std::string_view s)
{
    return QString::fromUtf8(s.data(), int(std::min<std::size_t>(s.size(), 80)));
}

QString mismatch(const char* what, long row, std::string_view got, std::string_view expected)
{
    return QStringLiteral("%1, row %2: \"%3\" where \"%4\" was expected")
        .arg(QLatin1String(what))
        .arg(row)
        .arg(shown(got), shown(expected));
}

// A file mapped into memory for reading, so that reading a large one back costs no heap.
class mapped_file {
public:
    explicit mapped_file(const QString& path)
        : file_(path)
    {
        if (file_.open(QIODevice::ReadOnly))
            data_ = file_.size() > 0 ? file_.map(0, file_.size()) : reinterpret_cast<uchar*>(&empty_);
    }
    bool ok() const { return data_ != nullptr; }
    std::string_view bytes() const
    {
        return data_ ? std::string_view(reinterpret_cast<const char*>(data_), std::size_t(file_.size()))
                     : std::string_view();
    }

private:
    QFile file_;
    uchar* data_ = nullptr;
    char empty_ = 0;
};

// The copied text of a result list: each row's text, then a tab and its source when it has one.
// `first` and `count` pick the list's rows out of the combined list.
QString check_copy(const QByteArray& copied, const QByteArray& sum_text, long first, long count)
{
    text_rows rows(sum_text);
    std::string_view text, source;
    std::size_t at = 0;
    const std::string_view got(copied.constData(), std::size_t(copied.size()));
    while (rows.next(text, source)) {
        const long row = rows.read();
        if (row < first || row >= first + count)
            continue;
        std::string line(text);
        if (!source.empty())
            line.append("\t").append(source);
        line += '\n';
        if (got.substr(at, line.size()) != line)
            return mismatch("copy", row - first + 1, got.substr(at, got.find('\n', at) - at), line);
        at += line.size();
    }
    if (at != got.size())
        return QStringLiteral("copy: %1 bytes more than the list's %2 rows").arg(got.size() - at).arg(count);
    return QString();
}

// The rows a reader hands over, one by one against the rows of the list; the first difference,
// or what the reader could not read, as a problem.
class row_check {
public:
    row_check(const char* type, const QByteArray& sum_text)
        : type_(type)
        , rows_(sum_text)
    {
    }

    bool operator()(std::string&& text, std::string&& source, std::string&)
    {
        std::string_view want, want_source;
        if (!rows_.next(want, want_source))
            problem_ = QStringLiteral("%1: more rows than the list's %2").arg(QLatin1String(type_)).arg(rows_.read());
        else if (text != want)
            problem_ = mismatch(type_, rows_.read(), text, want);
        else if (source != want_source)
            problem_ = mismatch(type_, rows_.read(), source, want_source);
        return problem_.isEmpty();
    }

    // What went wrong once the reader is done (`read` false, for `why`), or empty.
    QString outcome(bool read, const std::string& why)
    {
        if (problem_.isEmpty() && !read)
            problem_ = QStringLiteral("%1: %2").arg(QLatin1String(type_), QString::fromStdString(why));
        std::string_view text, source;
        if (problem_.isEmpty() && rows_.next(text, source))
            problem_ = QStringLiteral("%1: only %2 rows").arg(QLatin1String(type_)).arg(rows_.read() - 1);
        return problem_;
    }

private:
    const char* type_;
    text_rows rows_;
    QString problem_;
};

// A CSV file read as RFC 4180 says, record by record against the rows.
QString check_csv(std::string_view csv, const QByteArray& sum_text)
{
    row_check check("CSV", sum_text);
    std::string why;
    const bool read = testing::for_each_csv_row(csv, check, why);
    return check.outcome(read, why);
}

// The page's table, row by row against the rows.
QString check_html(std::string_view page, const QByteArray& sum_text)
{
    row_check check("HTML", sum_text);
    std::string why;
    const bool read = testing::for_each_html_row(page, check, why);
    return check.outcome(read, why);
}

// A workbook's only sheet, every cell against the rows: read as it streams out of unzip through
// a file in `work`, never whole in memory. A row with no text may be left out of the sheet.
QString check_xlsx(const QString& path, const QByteArray& sum_text, const QString& work)
{
    const QStringList sheets = testing::xlsx_sheet_names(path);
    if (sheets.size() != 1)
        return QStringLiteral("workbook: %1 sheets").arg(sheets.size());
    std::vector<std::string> shared;
    std::string why;
    if (!testing::read_shared_strings(
            testing::unzip_member(path, QStringLiteral("xl/sharedStrings.xml")).toStdString(), shared, why))
        return QStringLiteral("workbook: ") + QString::fromStdString(why);
    const QString sheet_file = work + QStringLiteral("/sheet1.xml");
    {
        QProcess unzip;
        unzip.setStandardOutputFile(sheet_file);
        unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), path, QStringLiteral("xl/worksheets/sheet1.xml")});
        if (!unzip.waitForFinished(300000) || unzip.exitCode() != 0)
            return QStringLiteral("workbook: the sheet could not be unpacked");
    }
    QString problem;
    {
        const mapped_file sheet(sheet_file);
        if (!sheet.ok())
            return QStringLiteral("workbook: the unpacked sheet could not be read");
        text_rows rows(sum_text);
        std::string_view expected[2];
        long cells = 0;
        const auto cell = [&](long row, char column, std::string&& text, std::string&) {
            // The rows skipped over must have had no text.
            while (rows.read() < row) {
                if (!rows.next(expected[0], expected[1])) {
                    problem = QStringLiteral("workbook: row %1 is past the list's %2 rows").arg(row).arg(rows.read());
                    return false;
                }
                if (rows.read() < row && (!expected[0].empty() || !expected[1].empty())) {
                    problem = QStringLiteral("workbook: row %1 is missing").arg(rows.read());
                    return false;
                }
            }
            if (rows.read() != row || (column != 'A' && column != 'B')) {
                problem = QStringLiteral("workbook: a cell out of place at row %1").arg(row);
                return false;
            }
            ++cells;
            if (text != expected[column - 'A'])
                problem = mismatch(column == 'A' ? "workbook" : "workbook source", row, text, expected[column - 'A']);
            return problem.isEmpty();
        };
        const bool read = testing::for_each_sheet_cell(sheet.bytes(), shared, cell, why);
        if (problem.isEmpty() && !read)
            problem = QStringLiteral("workbook: ") + QString::fromStdString(why);
        std::string_view text_left, source_left;
        if (problem.isEmpty() && rows.next(text_left, source_left))
            problem = QStringLiteral("workbook: only %1 rows").arg(rows.read() - 1);
        if (problem.isEmpty() && cells == 0)
            problem = QStringLiteral("workbook: no cells");
    }
    QFile::remove(sheet_file);
    return problem;
}

QString run_tool(const QString& tool, const QStringList& args)
{
    QProcess p;
    p.start(tool, args);
    if (!p.waitForFinished(300000) || p.exitCode() != 0)
        return QString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The PDF: its first page under the header of the list chosen, its last page ending in the
// list's total. `pages` is set to the number of pages.
QString check_pdf(const QString& pdf, const QString& tag, long total, int& pages)
{
    const QString info = run_tool(QStringLiteral("pdfinfo"), {pdf});
    const auto pages_match = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
    pages = pages_match.hasMatch() ? pages_match.captured(1).toInt() : 0;
    if (pages < 1)
        return QStringLiteral("PDF: not a readable document");
    const auto page_text = [&](int page) {
        return run_tool(QStringLiteral("pdftotext"),
            {QStringLiteral("-layout"), QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                QString::number(page), pdf, QStringLiteral("-")});
    };
    if (!page_text(1).contains(tag))
        return QStringLiteral("PDF: the first page has no \"%1\"").arg(tag);
    const QString last = page_text(pages);
    if (!last.contains(
            QRegularExpression(QStringLiteral("Total :\\s+%1\\s*$").arg(total), QRegularExpression::MultilineOption)))
        return QStringLiteral("PDF: the last of %1 pages does not end in the total %2").arg(pages).arg(total);
    return QString();
}

// One pair of sources and what comparing them gives.
struct source_pair {
    long lines = 0;
    QString one, two; // their entries in the folder list
    std::string label1, label2; // as the source labels show them
    long rows1 = 0, rows2 = 0; // rows of the source panes
    long same = 0, diff = 0; // rows of the result lists
    QByteArray sum_text; // the combined list in the Text file's form
    bool print_both = false; // the combined list is printed; else the difference list
};

struct cycle_figures {
    int cycle = 0;
    long lines = 0;
    long rss_kb = 0;
    long heap_kb = 0;
    int fds = 0;
};

} // namespace

class soak : public QObject {
    Q_OBJECT

    QTemporaryDir scratch_;
    QString data_ = scratch_.filePath(QStringLiteral("data"));
    QString out_, tmp_, check_;
    QString old_tmpdir_;
    std::vector<source_pair> pairs_;
    long cycles_ = 200;
    QStringList messages_;
    rt::save_answer save_answer_;
    // For the whole run drive c is the data folder, and the test answers the boxes and the
    // save dialog.
    const core::seam_override<std::vector<core::drive>> drives_
        = core::drive_seam().replace(std::vector<core::drive> {{"c", data_.toStdString()}});
    const core::seam_override<rt::message_box_hook> box_ = rt::message_box_seam().replace(
        [this](const QString& caption, const QString& text) { messages_ << caption + QLatin1Char('|') + text; });
    const core::seam_override<rt::save_dialog_hook> dialog_
        = rt::save_dialog_seam().replace([this](const rt::save_request&) { return save_answer_; });
    QStringList files_before_;
    int spare_wake_ups_before_ = 0; // wake-up handles less threads
    std::vector<cycle_figures> figures_;
    QElapsedTimer run_clock_;

    w_diff& window() { return *rt::windows().w_diff; }

    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(4, 4)); }

    // Two sources of `lines` lines: the first as the generator makes it, the second the same
    // lines the other way round and with line feeds and carriage returns, a few hundred of them
    // replaced by lines of the generator's second file.
    void make_pair(long lines, int seed)
    {
        const QString stem
            = lines >= 1000000 ? QStringLiteral("%1m").arg(lines / 1000000) : QStringLiteral("%1k").arg(lines / 1000);
        const QString raw1 = scratch_.filePath(QStringLiteral("gen-one")),
                      raw2 = scratch_.filePath(QStringLiteral("gen-two"));
        QProcess gen;
        gen.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        gen.start(QStringLiteral("python3"),
            {QStringLiteral(TOVIK_BENCH_DIR "/gen_lines.py"), QStringLiteral("--lines"), QString::number(lines),
                QStringLiteral("--seed"), QString::number(seed), raw1, raw2});
        QVERIFY2(gen.waitForFinished(600000) && gen.exitCode() == 0, "gen_lines.py failed");

        std::vector<std::string> first = lines_of(testing::file_bytes(raw1));
        const std::vector<std::string> other = lines_of(testing::file_bytes(raw2));
        QFile::remove(raw1);
        QFile::remove(raw2);
        QCOMPARE(long(first.size()), lines);
        std::vector<std::string> second(first.rbegin(), first.rend());
        const long step = std::max(1L, lines / replaced_lines);
        for (long i = step / 2; i < long(second.size()) && i < long(other.size()); i += step)
            second[std::size_t(i)] = other[std::size_t(i)];

        source_pair p;
        p.lines = lines;
        p.one = stem + QStringLiteral("-one.txt");
        p.two = stem + QStringLiteral("-two.txt");
        p.label1 = "c:\\lists\\" + p.one.toStdString();
        p.label2 = "c:\\lists\\" + p.two.toStdString();
        p.print_both = lines <= 10000;
        QVERIFY(testing::make_file(scratch_, QStringLiteral("data/lists/") + p.one, joined(first, "\n")));
        QVERIFY(testing::make_file(scratch_, QStringLiteral("data/lists/") + p.two, joined(second, "\r\n")));

        const std::vector<std::string> kept1 = kept(first), kept2 = kept(second);
        first.clear();
        first.shrink_to_fit();
        second.clear();
        second.shrink_to_fit();
        p.rows1 = long(kept1.size());
        p.rows2 = long(kept2.size());
        const testing::lists expected = testing::plain_compare(kept1, kept2, p.label1, p.label2, true);
        p.same = long(expected.same.size());
        p.diff = long(expected.diff.size());
        for (const testing::row& r : expected.sum)
            p.sum_text.append(r.text.data(), int(r.text.size()))
                .append('\t')
                .append(r.text2.data(), int(r.text2.size()))
                .append('\n');
        std::printf("soak: %s and %s, %ld lines: %ld and %ld rows, %ld similar, %ld different\n", qPrintable(p.one),
            qPrintable(p.two), lines, p.rows1, p.rows2, p.same, p.diff);
        std::fflush(stdout);
        pairs_.push_back(std::move(p));
    }

    // Loads the entry `name` into pane 1 or 2 as the user does: its box checked, the entry clicked.
    void load(int pane, const QString& name, const std::string& label, long rows)
    {
        w_diff& w = window();
        QCheckBox* box = pane == 1 ? w.cbx_1 : w.cbx_2;
        if (!box->isChecked())
            click(box);
        QVERIFY(box->isChecked());
        QVERIFY2(testing::click_entry(w.lb_1, name), qPrintable(name));
        QCOMPARE((pane == 1 ? w.st_1 : w.st_2)->text(), QString::fromStdString(label));
        QCOMPARE((pane == 1 ? w.dw_1 : w.dw_2)->table().rowcount(), rows);
    }

    // Selects every row of `pane` and copies them with the keys, reading the clipboard back.
    void copy(rt::grid_pane* pane, const source_pair& p, bool difference)
    {
        w_frame* frame = rt::windows().w_frame;
        // The offscreen platform gives no window back the activation a dialog took.
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame));
        QApplication::clipboard()->clear();
        pane->view()->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(pane->view()));
        QTest::keyClick(pane->view(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(pane->view(), Qt::Key_C, Qt::ControlModifier);
        const QByteArray copied = QApplication::clipboard()->text().toUtf8();
        // The clipboard is emptied again, so that every cycle ends holding the same.
        QApplication::clipboard()->clear();
        const QString problem = difference ? check_copy(copied, p.sum_text, p.same + 4, p.diff)
                                           : check_copy(copied, p.sum_text, 2, p.same);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    }

private slots:
    void initTestCase()
    {
        run_clock_.start();
        QVERIFY(scratch_.isValid());
        cycles_ = env_number("TOVIK_SOAK_CYCLES", 200);
        out_ = scratch_.filePath(QStringLiteral("out"));
        tmp_ = scratch_.filePath(QStringLiteral("tmp"));
        check_ = scratch_.filePath(QStringLiteral("check"));
        QVERIFY(testing::make_folder(scratch_, QStringLiteral("data/lists")));
        QVERIFY(testing::make_folder(scratch_, QStringLiteral("out")));
        QVERIFY(testing::make_folder(scratch_, QStringLiteral("tmp")));
        QVERIFY(testing::make_folder(scratch_, QStringLiteral("check")));
        // Everything that asks for the temporary folder gets one of its own, to be found empty.
        old_tmpdir_ = qEnvironmentVariable("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(tmp_));
        QCOMPARE(QDir::tempPath(), tmp_);
        for (const char* tool : {"python3", "unzip", "pdfinfo", "pdftotext"})
            QVERIFY2(testing::have_tool(tool), tool);

        for (std::size_t i = 0; i < sizeof sizes / sizeof sizes[0]; ++i) {
            make_pair(sizes[i], 7 + int(i));
            if (QTest::currentTestFailed())
                return;
        }
#if defined(__GLIBC__)
        // What working out the expected lists took goes back to the system, so that the cycles
        // start from the program's own memory and cannot grow unseen into that left free here.
        malloc_trim(0);
#endif
        std::printf("soak: sources made in %.1f s\n", run_clock_.elapsed() / 1000.0);
        std::fflush(stdout);

        // The program as it starts: the about window first, then the frame with the compare window.
        testing::press_return_in_modal();
        linara app;
        app.open(QString());
        QVERIFY(rt::windows().w_frame && rt::windows().w_diff);
        QVERIFY(testing::click_entry(window().lb_1, QStringLiteral("[lists]")));
        QCOMPARE(window().st_path->text(), QStringLiteral("c:\\lists\\"));
        files_before_ = open_files();
        spare_wake_ups_before_ = wake_ups(files_before_) - thread_count();
        std::printf("soak: open before the first cycle: %s\n", qPrintable(files_before_.join(QStringLiteral(", "))));
        std::fflush(stdout);
    }

    void cleanupTestCase()
    {
        if (rt::windows().w_frame)
            rt::windows().w_frame->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        qputenv("TMPDIR", QFile::encodeName(old_tmpdir_));
        if (old_tmpdir_.isEmpty())
            qunsetenv("TMPDIR");
        std::printf("soak: whole run %.1f s\n", run_clock_.elapsed() / 1000.0);
        std::fflush(stdout);
    }

    void cycle_data()
    {
        QTest::addColumn<int>("cycle");
        for (int c = 1; c <= cycles_; ++c)
            QTest::newRow(qPrintable(QString::number(c))) << c;
    }

    // Load both panes, compare, copy, print, save in every type; read it all back.
    void cycle()
    {
        QFETCH(int, cycle);
        const source_pair& p = pairs_.at(std::size_t(round_of_sizes[(cycle - 1) % round_length]));
        w_diff& w = window();
        m_main* menu = rt::windows().w_frame->menuid();
        messages_.clear();
        QElapsedTimer clock;
        clock.start();
        double seconds[6] = {};
        auto lap = [&](int phase) {
            seconds[phase] = clock.nsecsElapsed() / 1e9;
            clock.restart();
        };

        load(1, p.one, p.label1, p.rows1);
        if (QTest::currentTestFailed())
            return;
        load(2, p.two, p.label2, p.rows2);
        if (QTest::currentTestFailed())
            return;
        lap(0);

        click(w.cb_compare);
        QCOMPARE(w.dw_same->table().rowcount(), p.same);
        QCOMPARE(w.dw_diff->table().rowcount(), p.diff);
        QCOMPARE(w.dw_sum->table().rowcount(), p.same + p.diff + 3);
        lap(1);

        // The similarity list, hundreds of thousands of rows, and the difference list with its
        // sources, by turns.
        const bool copy_difference = cycle % 2 == 0;
        copy(copy_difference ? w.dw_diff : w.dw_same, p, copy_difference);
        if (QTest::currentTestFailed())
            return;
        lap(2);

        // The print option dialog answered as the user would; the job goes into a PDF file.
        const QString pdf = out_ + QStringLiteral("/list.pdf");
        testing::when_modal<w_print_option>([&p](w_print_option* d) {
            (p.print_both ? d->rb_all : d->rb_diff)->click();
            d->cb_ok->click();
        });
        {
            const auto printer = rt::print_job_seam().replace([pdf] { return rt::open_pdf_job(pdf); });
            menu->m_file.m_print->trigger();
        }
        QVERIFY2(QFileInfo::exists(pdf), "nothing was printed");
        lap(3);

        for (int type = 0; type < 4; ++type) {
            save_answer_ = {out_ + QStringLiteral("/list"), type, QString()};
            menu->m_file.m_saveas->trigger();
        }
        save_answer_ = rt::save_answer();
        QVERIFY2(messages_.isEmpty(), qPrintable(messages_.join(QLatin1Char('\n'))));
        lap(4);

        // One file per save and the printed one; no working file beside them.
        QCOMPARE(files_below(out_),
            (QStringList {QStringLiteral("list.csv"), QStringLiteral("list.html"), QStringLiteral("list.pdf"),
                QStringLiteral("list.txt"), QStringLiteral("list.xlsx")}));
        int pages = 0;
        QString problem = p.print_both ? check_pdf(pdf, QStringLiteral("(Both)"), p.same + p.diff + 3, pages)
                                       : check_pdf(pdf, QStringLiteral("(Difference)"), p.diff, pages);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        {
            const mapped_file text(out_ + QStringLiteral("/list.txt"));
            QVERIFY(text.ok());
            QVERIFY2(text.bytes() == std::string_view(p.sum_text.constData(), std::size_t(p.sum_text.size())),
                "the Text file differs from the list");
        }
        {
            const mapped_file csv(out_ + QStringLiteral("/list.csv"));
            problem = check_csv(csv.bytes(), p.sum_text);
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
        }
        {
            const mapped_file html(out_ + QStringLiteral("/list.html"));
            problem = check_html(html.bytes(), p.sum_text);
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
        }
        problem = check_xlsx(out_ + QStringLiteral("/list.xlsx"), p.sum_text, check_);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        for (const QString& name : files_below(out_))
            QVERIFY(QFile::remove(out_ + QLatin1Char('/') + name));
        lap(5);

        QCOMPARE(files_below(tmp_), QStringList());
        QCOMPARE(files_below(out_), QStringList());
        QCOMPARE(files_below(data_).size(), int(2 * pairs_.size()));

        // Nothing is held open that was not open before the first cycle. A thread's event loop
        // holds a wake-up handle while the thread lives, and Qt's own pool starts threads when
        // work comes and ends them after half a minute idle: wake-up handles are counted against
        // the threads alive rather than taken one by one.
        const QStringList files = open_files();
        QStringList opened;
        for (const QString& f : files)
            if (!is_wake_up(f) && !files_before_.contains(f))
                opened << f;
        const int threads = thread_count();
        const int spare_wake_ups = wake_ups(files) - threads;
        if (spare_wake_ups > spare_wake_ups_before_)
            opened << QStringLiteral("%1 wake-up handles with %2 threads, %3 more than before the first cycle")
                          .arg(wake_ups(files))
                          .arg(threads)
                          .arg(spare_wake_ups - spare_wake_ups_before_);
        const long rss = resident_kb(), heap = heap_in_use_kb();
        figures_.push_back({cycle, p.lines, rss, heap, int(files.size())});
        std::printf("soak: cycle %3d  %7ld lines  rss %7.1f MB  heap in use %7.1f MB  fds %2d  threads %2d  "
                    "pdf %3d pages  load %5.2f  compare %5.2f  copy %5.2f  print %5.2f  save %5.2f  "
                    "read back %5.2f s\n",
            cycle, p.lines, rss / 1024.0, heap / 1024.0, int(files.size()), threads, pages, seconds[0], seconds[1],
            seconds[2], seconds[3], seconds[4], seconds[5]);
        std::fflush(stdout);
        QVERIFY2(opened.isEmpty(), qPrintable(QStringLiteral("left open: ") + opened.join(QStringLiteral(", "))));
    }

    // Once the warm-up is over the resident memory rises and drifts up no more than the
    // tolerance above where the warm-up took it; the heap in use after a cycle of each size
    // stays where the warm-up left it after that size. The resident memory also keeps what the
    // allocator holds for later, and that goes on growing a little after the warm-up as its
    // arenas (one to each thread that wrote or sorted) fragment: over the 180 cycles after it,
    // 5 MB here, all in what malloc holds, with the heap in use flat to a tenth of a MB and no
    // new mapping. A leak of 45 kB a cycle passes 8 MB of resident memory over those cycles,
    // and one of 12 kB passes 2 MB of heap.
    void memory_stays_flat()
    {
        if (long(figures_.size()) < warm_up_cycles + round_length)
            QSKIP("too few cycles to tell");
        const double tolerance_mb = double(env_number("TOVIK_SOAK_TOLERANCE_MB", 8));
        const double heap_tolerance_mb = double(env_number("TOVIK_SOAK_HEAP_TOLERANCE_MB", 2));
        const auto mb = [](double kb) { return kb / 1024.0; };

        long warm_rss = 0, low_rss = -1, high_rss = 0;
        int fds_low = 1 << 30, fds_high = 0;
        std::map<long, long> warm_heap, high_heap;
        QString series;
        for (const cycle_figures& f : figures_) {
            series += QStringLiteral(" %1").arg(mb(f.rss_kb), 0, 'f', 1);
            fds_low = std::min(fds_low, f.fds);
            fds_high = std::max(fds_high, f.fds);
            if (f.cycle <= warm_up_cycles) {
                warm_rss = std::max(warm_rss, f.rss_kb);
                warm_heap[f.lines] = std::max(warm_heap[f.lines], f.heap_kb);
            } else {
                low_rss = low_rss < 0 ? f.rss_kb : std::min(low_rss, f.rss_kb);
                high_rss = std::max(high_rss, f.rss_kb);
                high_heap[f.lines] = std::max(high_heap[f.lines], f.heap_kb);
            }
        }
        // The drift: the mean of the last round less the mean of the first round after the
        // warm-up; both rounds hold the same sizes in the same order.
        const int last_cycle = figures_.back().cycle;
        double first_round = 0, last_round = 0;
        int in_first = 0, in_last = 0;
        for (const cycle_figures& f : figures_) {
            if (f.cycle > warm_up_cycles && f.cycle <= warm_up_cycles + round_length) {
                first_round += f.rss_kb;
                ++in_first;
            }
            if (f.cycle > last_cycle - round_length) {
                last_round += f.rss_kb;
                ++in_last;
            }
        }
        const double drift = in_first && in_last ? mb(last_round / in_last - first_round / in_first) : 0;

        std::printf("soak: resident memory after each cycle, MB:%s\n", qPrintable(series));
        std::printf("soak: resident memory: warm-up (%d cycles) up to %.1f MB; after it %.1f .. %.1f MB over %d "
                    "cycles (%+.1f MB against the warm-up); drift between the first and the last round after "
                    "the warm-up %+.1f MB\n",
            warm_up_cycles, mb(warm_rss), mb(low_rss), mb(high_rss), int(figures_.size()) - warm_up_cycles,
            mb(high_rss - warm_rss), drift);
        for (const auto& [lines, high] : high_heap)
            std::printf("soak: heap in use after %7ld lines: warm-up up to %7.1f MB, after it up to %7.1f MB (%+.1f)\n",
                lines, mb(warm_heap[lines]), mb(high), mb(high - warm_heap[lines]));
        // A cycle has figures only once it found both folders empty.
        std::printf("soak: open files: %d before the first cycle, %d .. %d after the cycles; the temporary folder "
                    "and the folder saved into found empty after %d of %ld cycles\n",
            int(files_before_.size()), fds_low, fds_high, int(figures_.size()), cycles_);
        std::fflush(stdout);

        QStringList over;
        if (mb(high_rss - warm_rss) > tolerance_mb)
            over << QStringLiteral("the resident memory rose %1 MB above the warm-up").arg(mb(high_rss - warm_rss));
        if (drift > tolerance_mb)
            over << QStringLiteral("the resident memory drifted up %1 MB").arg(drift);
        for (const auto& [lines, high] : high_heap)
            if (mb(high - warm_heap[lines]) > heap_tolerance_mb)
                over << QStringLiteral("the heap in use after %1 lines rose %2 MB above the warm-up")
                            .arg(lines)
                            .arg(mb(high - warm_heap[lines]));
        QVERIFY2(over.isEmpty(), qPrintable(over.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(soak)
#include "long_session.moc"
