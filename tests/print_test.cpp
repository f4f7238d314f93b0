// Print: the list chosen in the print option dialog under its three-line header, the pages a
// long list takes, and what the job does when it cannot start.

#include "compare/linetable/grid_pane.h"
#include "compare/w_diff.h"
#include "printopt/w_print_option.h"
#include "runtime/clock.h"
#include "runtime/core/print_layout.h"
#include "runtime/grid_layout.h"
#include "runtime/message.h"
#include "runtime/message_box.h"
#include "runtime/print_job.h"
#include "runtime/save_dialog.h"

#include "support/modal.h"
#include "support/output_files.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <optional>

using testing::row_pairs;

namespace {

// What the recording jobs were asked to do, in order.
struct print_log {
    int opened = 0;
    int closed = 0;
    QStringList texts;
    std::vector<row_pairs> grids;
    std::vector<int> margins;
    QStringList order; // "text", "grid", "close", "cancel"
};

// How the recording jobs behave.
struct test_printer {
    bool opens = true;
    bool missing = false; // there is no printer at all
    QString name; // empty: a job into a file
    long pages = 0; // the pages a job says it will take
    QString fails_at_end; // what a job that failed as it ended says
};

class recording_job : public rt::print_job {
public:
    recording_job(print_log& log, const test_printer& printer)
        : log_(log)
        , printer_(printer)
    {
        ++log_.opened;
    }
    bool is_open() const override { return printer_.opens && !printer_.missing && !ended_; }
    QString error() const override
    {
        if (ended_)
            return printer_.fails_at_end;
        return is_open() ? QString() : QStringLiteral("The test printer is switched off.");
    }
    bool no_printer() const override { return printer_.missing; }
    QString printer_name() const override { return printer_.name; }
    long page_count(const QString&, const core::row_source&, int) override { return printer_.pages; }
    void cancel() override { log_.order << QStringLiteral("cancel"); }
    void print_text(const QString& text) override
    {
        log_.texts << text;
        log_.order << QStringLiteral("text");
    }
    void print_rows(const core::row_source& rows, int margin_top) override
    {
        row_pairs copy;
        for (long r = 1; r <= rows.count(); ++r)
            copy.emplace_back(std::string(rows.es_text(r)), std::string(rows.es_text2(r)));
        log_.grids.push_back(copy);
        log_.margins.push_back(margin_top);
        log_.order << QStringLiteral("grid");
    }
    void close() override
    {
        ++log_.closed;
        log_.order << QStringLiteral("close");
        ended_ = true;
    }

private:
    print_log& log_;
    const test_printer printer_;
    bool ended_ = false;
};

// Answers the print option dialog with a choice: 1 similarity, 2 difference, 3 both, 0 Cancel,
// -1 the close box.
void answer_dialog(int choice)
{
    testing::when_modal<w_print_option>([choice](w_print_option* dialog) {
        switch (choice) {
        case 1:
            dialog->rb_same->click();
            break;
        case 2:
            dialog->rb_diff->click();
            break;
        case 3:
            dialog->rb_all->click();
            break;
        }
        if (choice < 0)
            dialog->close();
        else if (choice == 0)
            dialog->cb_cancel->click();
        else
            dialog->cb_ok->click();
    });
}

const row_pairs same_rows {{"alpha", ""}, {"beta", ""}};
const row_pairs diff_rows {{"gamma", "one.txt"}, {"delta", "two.txt"}};

row_pairs combined_rows()
{
    row_pairs rows {{"Similarity", ""}};
    rows.insert(rows.end(), same_rows.begin(), same_rows.end());
    rows.push_back({"", ""});
    rows.push_back({"Difference", ""});
    rows.insert(rows.end(), diff_rows.begin(), diff_rows.end());
    return rows;
}

// The compare window as a compare leaves it.
void fill_results(w_diff& w)
{
    QVERIFY(testing::fill(w.dw_same->table(), same_rows));
    QVERIFY(testing::fill(w.dw_diff->table(), diff_rows));
    QVERIFY(testing::fill(w.dw_sum->table(), combined_rows()));
    w.st_1->setText(QStringLiteral("c:\\one.txt"));
    w.st_2->setText(QStringLiteral("c:\\two.txt"));
}

QString pdf_text(const QString& pdf, const QStringList& extra = {})
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
        QStringList {QStringLiteral("-layout")} + extra + QStringList {pdf, QStringLiteral("-")});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

int pdf_pages(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {pdf});
    p.waitForFinished(60000);
    const auto m
        = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(QString::fromUtf8(p.readAllStandardOutput()));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// The box of each word on a page of the PDF, by word.
QMultiMap<QString, QRectF> word_boxes(const QString& pdf, int page)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
        {QStringLiteral("-bbox"), QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
            QString::number(page), pdf, QStringLiteral("-")});
    p.waitForFinished(60000);
    QMultiMap<QString, QRectF> boxes;
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([^\"]+)\" yMin=\"([^\"]+)\" xMax=\"([^\"]+)\" yMax=\"([^\"]+)\">([^<]*)</word>"));
    auto it = word.globalMatch(QString::fromUtf8(p.readAllStandardOutput()));
    while (it.hasNext()) {
        const auto m = it.next();
        boxes.insert(m.captured(5),
            QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                QPointF(m.captured(3).toDouble(), m.captured(4).toDouble())));
    }
    return boxes;
}

// The top edge of each word on a page of the PDF, by word.
QMultiMap<QString, double> word_tops(const QString& pdf, int page)
{
    QMultiMap<QString, double> tops;
    const auto boxes = word_boxes(pdf, page);
    for (auto it = boxes.begin(); it != boxes.end(); ++it)
        tops.insert(it.key(), it.value().top());
    return tops;
}

} // namespace

class print_test : public QObject {
    Q_OBJECT

    print_log log_;
    QStringList messages_;
    QStringList questions_;
    bool answer_yes_ = false;
    test_printer printer_setup_;
    // For the whole run jobs are recorded, the test answers the boxes, and the clock stands
    // still; a test function may stand in for one of them in turn.
    const core::seam_override<rt::print_job_factory> printer_
        = rt::print_job_seam().replace([this] { return std::make_unique<recording_job>(log_, printer_setup_); });
    const core::seam_override<rt::message_box_hook> box_ = rt::message_box_seam().replace(
        [this](const QString& caption, const QString& text) { messages_ << caption + QLatin1Char('|') + text; });
    const core::seam_override<rt::question_hook> questions_asked_
        = rt::question_seam().replace([this](const QString& caption, const QString& text) {
              questions_ << caption + QLatin1Char('|') + text;
              return answer_yes_;
          });
    const core::seam_override<rt::clock_hook> clock_
        = rt::clock_seam().replace([] { return QDateTime(QDate(2024, 3, 9), QTime(14, 5, 6)); });

private slots:
    void init()
    {
        log_ = print_log();
        messages_.clear();
        questions_.clear();
        answer_yes_ = false;
        printer_setup_ = test_printer();
    }

    // --- pages of a list -------------------------------------------------------------------

    void a_short_list_fits_below_what_is_printed()
    {
        core::list_page_metrics m {1000, 330, 150, 69, 53};
        auto pages = core::lay_out_list(3, m);
        QCOMPARE(pages.size(), std::size_t(1));
        QCOMPARE(pages[0].new_page, false);
        QCOMPARE(pages[0].top, 330); // the margin, not just below the header
        QCOMPARE(pages[0].row_count, 3L);
        QVERIFY(pages[0].total);

        // A header taller than the margin pushes the list below it.
        m.used = 400;
        pages = core::lay_out_list(3, m);
        QCOMPARE(pages[0].top, 400);

        // An empty list is its total line alone.
        pages = core::lay_out_list(0, m);
        QCOMPARE(pages.size(), std::size_t(1));
        QCOMPARE(pages[0].row_count, 0L);
        QVERIFY(pages[0].total);
    }

    void a_long_list_takes_every_row_over_its_pages()
    {
        const core::list_page_metrics m {2000, 330, 200, 69, 53};
        const long rows = 1000;
        const auto pages = core::lay_out_list(rows, m);
        QVERIFY(pages.size() > 30);
        long next = 1;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            const auto& p = pages[i];
            QCOMPARE(p.first_row, next);
            QCOMPARE(p.new_page, i > 0);
            QCOMPARE(p.top, 330);
            QVERIFY(p.top + p.row_count * 69 + (p.total ? 53 : 0) <= m.page_height);
            QCOMPARE(p.total, i + 1 == pages.size());
            // A page is left only when the next row would not fit on it.
            if (i + 1 < pages.size() && !pages[i + 1].total)
                QVERIFY(p.top + (p.row_count + 1) * 69 > m.page_height);
            next += p.row_count;
        }
        QCOMPARE(next, rows + 1);
    }

    void the_total_line_goes_where_there_is_room()
    {
        // 24 rows fill 330..1986 exactly; the total line needs a page of its own.
        const core::list_page_metrics m {330 + 24 * 69 + 10, 330, 0, 69, 53};
        auto pages = core::lay_out_list(24, m);
        QCOMPARE(pages.size(), std::size_t(2));
        QCOMPARE(pages[0].row_count, 24L);
        QVERIFY(!pages[0].total);
        QCOMPARE(pages[1].row_count, 0L);
        QVERIFY(pages[1].total && pages[1].new_page);
        // With room for it, it stays.
        pages = core::lay_out_list(23, m);
        QCOMPARE(pages.size(), std::size_t(1));
        QVERIFY(pages[0].total);
    }

    void a_full_first_page_moves_the_list_on()
    {
        const core::list_page_metrics m {1000, 330, 980, 69, 53};
        auto pages = core::lay_out_list(2, m);
        QVERIFY(pages[0].new_page);
        QCOMPARE(pages[0].top, 330);
        QCOMPARE(pages[0].row_count, 2L);
    }

    void a_page_too_short_still_ends()
    {
        const core::list_page_metrics m {300, 330, 0, 69, 53};
        const auto pages = core::lay_out_list(5, m);
        long printed = 0;
        for (const auto& p : pages)
            printed += p.row_count;
        QCOMPARE(printed, 5L);
        QVERIFY(pages.back().total);
        QVERIFY(pages.size() <= 6);
    }

    // --- ue_print --------------------------------------------------------------------------

    void cancel_and_the_close_box_open_no_job()
    {
        w_diff w;
        fill_results(w);
        answer_dialog(0);
        w.ue_print();
        QCOMPARE(log_.opened, 0);

        // OK with nothing chosen is Cancel too.
        testing::when_modal<w_print_option>([](w_print_option* d) { d->cb_ok->click(); });
        w.ue_print();
        QCOMPARE(log_.opened, 0);

        // The close box stores no number; an earlier print's choice must not be taken for it.
        rt::message().doubleparm = 2;
        answer_dialog(-1);
        w.ue_print();
        QCOMPARE(log_.opened, 0);
        QVERIFY(messages_.isEmpty());
        QCOMPARE(w.dw_diff->table().print_margin_top(), 0);
    }

    void each_choice_prints_its_list_under_the_header()
    {
        const QString when = rt::date_text(QDate(2024, 3, 9)) + QLatin1Char(' ') + rt::time_text(QTime(14, 5, 6));
        struct {
            int choice;
            const char* tag;
            row_pairs rows;
        } cases[] = {{1, "(Similarity)", same_rows}, {2, "(Difference)", diff_rows}, {3, "(Both)", combined_rows()}};
        for (const auto& c : cases) {
            log_ = print_log();
            w_diff w;
            fill_results(w);
            answer_dialog(c.choice);
            w.ue_print();
            QCOMPARE(log_.opened, 1);
            QCOMPARE(
                log_.order, (QStringList {QStringLiteral("text"), QStringLiteral("grid"), QStringLiteral("close")}));
            QCOMPARE(log_.texts.at(0),
                when + QLatin1Char(' ') + QLatin1String(c.tag)
                    + QStringLiteral("\r\nFile 1: c:\\one.txt\r\nFile 2: c:\\two.txt"));
            QVERIFY(log_.grids.at(0) == c.rows);
            QCOMPARE(log_.margins.at(0), 330);

            // The margin stays on the printed pane, and only there.
            rt::grid_pane* printed[] = {w.dw_same, w.dw_diff, w.dw_sum};
            for (int i = 0; i < 3; ++i)
                QCOMPARE(printed[i]->table().print_margin_top(), i + 1 == c.choice ? 330 : 0);
        }
    }

    void before_any_compare_the_labels_and_an_empty_list_print()
    {
        w_diff w;
        answer_dialog(3);
        w.ue_print();
        QCOMPARE(log_.opened, 1);
        const QStringList lines = log_.texts.at(0).split(QStringLiteral("\r\n"));
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines.at(0).endsWith(QStringLiteral(" (Both)")));
        QCOMPARE(lines.at(1), QStringLiteral("File 1: Source 1"));
        QCOMPARE(lines.at(2), QStringLiteral("File 2: Source 2"));
        QVERIFY(log_.grids.at(0).empty());
    }

    void the_moment_is_taken_before_the_dialog()
    {
        w_diff w;
        std::optional<core::seam_override<rt::clock_hook>> later;
        testing::when_modal<w_print_option>([&later](w_print_option* dialog) {
            later.emplace(rt::clock_seam().replace([] { return QDateTime(QDate(2031, 1, 1), QTime(1, 2, 3)); }));
            dialog->rb_same->click();
            dialog->cb_ok->click();
        });
        w.ue_print();
        QVERIFY(log_.texts.at(0).startsWith(
            rt::date_text(QDate(2024, 3, 9)) + QLatin1Char(' ') + rt::time_text(QTime(14, 5, 6)) + QLatin1Char(' ')));
    }

    // The clock stands for every seam: a stand-in that outlived its override would answer
    // for the tests after it.
    void overrides_put_back_what_they_found()
    {
        const QDateTime still(QDate(2024, 3, 9), QTime(14, 5, 6));
        const QDateTime outer(QDate(2031, 1, 1), QTime(1, 2, 3));
        const QDateTime inner(QDate(2032, 2, 2), QTime(2, 3, 4));
        {
            const auto a = rt::clock_seam().replace([outer] { return outer; });
            {
                const auto b = rt::clock_seam().replace([inner] { return inner; });
                {
                    const auto real = rt::clock_seam().replace(std::nullopt);
                    QVERIFY(qAbs(rt::now().secsTo(QDateTime::currentDateTime())) < 60);
                }
                QCOMPARE(rt::now(), inner);
            }
            QCOMPARE(rt::now(), outer);

            // The override moved into puts back what was there; the one moved from touches the
            // seam no more.
            std::optional<core::seam_override<rt::clock_hook>> moved_from(
                rt::clock_seam().replace([inner] { return inner; }));
            {
                const auto moved = std::move(*moved_from);
            }
            QCOMPARE(rt::now(), outer);
            const auto again = rt::clock_seam().replace([inner] { return inner; });
            moved_from.reset();
            QCOMPARE(rt::now(), inner);
        }
        QCOMPARE(rt::now(), still);
    }

    void a_job_that_cannot_start_is_reported()
    {
        printer_setup_.opens = false;
        w_diff w;
        fill_results(w);
        answer_dialog(2);
        w.ue_print();
        QCOMPARE(log_.opened, 1);
        QVERIFY(log_.order.isEmpty());
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_.at(0).startsWith(QStringLiteral("Print|")));
        QVERIFY(messages_.at(0).contains(QStringLiteral("The test printer is switched off.")));

        // The real job into a file that cannot be made says which file.
        const auto job = rt::open_pdf_job(QStringLiteral("/nonexistent-folder/list.pdf"));
        QVERIFY(!job->is_open());
        QVERIFY2(job->error().contains(QStringLiteral("/nonexistent-folder/list.pdf")), qPrintable(job->error()));
        job->print_text(QStringLiteral("ignored"));
        job->close();
    }

    void paper_for_more_than_a_hundred_pages_is_asked_for()
    {
        printer_setup_.name = QStringLiteral("Test Printer");
        printer_setup_.pages = 1296;
        w_diff w;
        fill_results(w);
        answer_dialog(2);
        w.ue_print();
        QCOMPARE(questions_.size(), 1);
        QVERIFY2(questions_.at(0).contains(QStringLiteral("1296 pages"))
                && questions_.at(0).contains(QStringLiteral("Test Printer")),
            qPrintable(questions_.at(0)));
        QCOMPARE(log_.order, QStringList {QStringLiteral("cancel")});
        QCOMPARE(w.dw_diff->table().print_margin_top(), 0);

        answer_yes_ = true;
        answer_dialog(2);
        w.ue_print();
        QCOMPARE(log_.grids.size(), std::size_t(1));
        // A hundred pages go without a word; a job that fails as it ends is told.
        printer_setup_.pages = 100;
        printer_setup_.fails_at_end = QStringLiteral("The test printer jammed.");
        answer_dialog(2);
        w.ue_print();
        QCOMPARE(questions_.size(), 2);
        QCOMPARE(log_.grids.size(), std::size_t(2));
        QCOMPARE(messages_, QStringList {QStringLiteral("Print|Nothing was printed. The test printer jammed.")});
    }

    void with_no_printer_the_pages_can_go_into_a_pdf_file()
    {
        printer_setup_.missing = true;
        QTemporaryDir dir;
        QList<rt::save_request> asked;
        QString chosen;
        const auto dialog = rt::save_dialog_seam().replace([&](const rt::save_request& request) {
            asked << request;
            return rt::save_answer {chosen, 0, QString()};
        });
        w_diff w;
        fill_results(w);
        w.is_path = QStringLiteral("c:") + QString(dir.path()).replace(QLatin1Char('/'), QLatin1Char('\\'))
            + QLatin1Char('\\');
        // Declined, and then the save dialog cancelled: nothing is written and nothing said.
        answer_dialog(2);
        w.ue_print();
        QCOMPARE(questions_.size(), 1);
        QVERIFY2(questions_.at(0).startsWith(QStringLiteral("Print|No printer is available.")),
            qPrintable(questions_.at(0)));
        QVERIFY(asked.isEmpty());
        answer_yes_ = true;
        answer_dialog(2);
        w.ue_print();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(QDir(asked.at(0).folder).canonicalPath(), QDir(dir.path()).canonicalPath());
        QCOMPARE(asked.at(0).name, QStringLiteral("Difference.pdf"));
        QCOMPARE(asked.at(0).types.size(), 1);
        QCOMPARE(asked.at(0).types.at(0).extension, QStringLiteral("pdf"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());

        // A name typed without the extension gets it, and the pages are written there.
        chosen = dir.filePath(QStringLiteral("list"));
        answer_dialog(2);
        w.ue_print();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList {QStringLiteral("list.pdf")});
        QVERIFY(testing::file_bytes(dir.filePath(QStringLiteral("list.pdf"))).startsWith("%PDF"));
        if (testing::have_tool("pdftotext"))
            QVERIFY(pdf_text(dir.filePath(QStringLiteral("list.pdf"))).contains(QStringLiteral("(Difference)")));
        QCOMPARE(messages_, QStringList());
        QCOMPARE(log_.grids.size(), std::size_t(0));
    }

    void a_pdf_file_takes_its_name_only_when_whole()
    {
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("list.pdf"));
        const auto only_the_file = [&dir] {
            return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden) == QStringList {QStringLiteral("list.pdf")};
        };
        QFile earlier(pdf);
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier") == 7);
        earlier.close();
        auto job = rt::open_pdf_job(pdf);
        job->print_text(QStringLiteral("dropped"));
        job->cancel();
        QCOMPARE(testing::file_bytes(pdf), QByteArray("earlier"));
        job.reset();
        QVERIFY(only_the_file());

        job = rt::open_pdf_job(pdf);
        job->print_text(QStringLiteral("kept"));
        QCOMPARE(testing::file_bytes(pdf), QByteArray("earlier"));
        job->close();
        QCOMPARE(job->error(), QString());
        QVERIFY(testing::file_bytes(pdf).startsWith("%PDF"));
        job.reset();
        QVERIFY(only_the_file());

        // A folder gone while the job printed: the job says it wrote nothing.
        auto gone = std::make_unique<QTemporaryDir>();
        const QString lost = gone->filePath(QStringLiteral("lost.pdf"));
        job = rt::open_pdf_job(lost);
        job->print_text(QStringLiteral("lost"));
        gone.reset();
        job->close();
        QVERIFY2(job->error().contains(lost), qPrintable(job->error()));
        QVERIFY(!QFileInfo::exists(lost));
    }

    // --- on paper --------------------------------------------------------------------------

    void the_printed_page_reads_as_the_list()
    {
        if (!testing::have_tool("pdftotext"))
            QSKIP("pdftotext is not installed");
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("both.pdf"));
        const auto printer = rt::print_job_seam().replace([pdf] { return rt::open_pdf_job(pdf); });
        w_diff w;
        fill_results(w);
        answer_dialog(3);
        w.ue_print();

        const QString text = pdf_text(pdf);
        const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        auto line_with = [&](const QString& what) {
            for (const QString& l : lines)
                if (l.contains(what))
                    return l.simplified();
            return QString();
        };
        QVERIFY2(line_with(QStringLiteral("(Both)")).endsWith(QStringLiteral("(Both)")), qPrintable(text));
        QCOMPARE(line_with(QStringLiteral("File 1:")), QStringLiteral("File 1: c:\\one.txt"));
        QCOMPARE(line_with(QStringLiteral("File 2:")), QStringLiteral("File 2: c:\\two.txt"));
        QCOMPARE(line_with(QStringLiteral("Similarity")), QStringLiteral("1 Similarity"));
        QCOMPARE(line_with(QStringLiteral("alpha")), QStringLiteral("2 alpha"));
        QCOMPARE(line_with(QStringLiteral("gamma")), QStringLiteral("6 gamma one.txt"));
        QCOMPARE(line_with(QStringLiteral("delta")), QStringLiteral("7 delta two.txt"));
        // The blank row keeps its number; the count takes in the headings and the blank row.
        QVERIFY2(std::any_of(
                     lines.begin(), lines.end(), [](const QString& l) { return l.simplified() == QLatin1String("4"); }),
            qPrintable(text));
        QCOMPARE(line_with(QStringLiteral("Total :")), QStringLiteral("Total : 7"));
        QCOMPARE(pdf_pages(pdf), 1);
    }

    void an_empty_list_prints_a_zero_total()
    {
        if (!testing::have_tool("pdftotext"))
            QSKIP("pdftotext is not installed");
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("empty.pdf"));
        const auto printer = rt::print_job_seam().replace([pdf] { return rt::open_pdf_job(pdf); });
        w_diff w;
        answer_dialog(1);
        w.ue_print();
        const QString text = pdf_text(pdf);
        QVERIFY2(text.contains(QStringLiteral("(Similarity)")), qPrintable(text));
        QVERIFY2(
            text.contains(QRegularExpression(QStringLiteral("Total :\\s+0\\s*$"), QRegularExpression::MultilineOption)),
            qPrintable(text));
    }

    void a_long_list_runs_over_pages_below_the_margin()
    {
        if (!testing::have_tool("pdftotext") || !testing::have_tool("pdfinfo"))
            QSKIP("pdftotext or pdfinfo is not installed");
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("long.pdf"));
        const auto printer = rt::print_job_seam().replace([pdf] { return rt::open_pdf_job(pdf); });
        w_diff w;
        row_pairs rows;
        const int n = 300;
        for (int i = 1; i <= n; ++i)
            rows.push_back({"line" + std::to_string(i), ""});
        QVERIFY(testing::fill(w.dw_same->table(), rows));
        answer_dialog(1);
        w.ue_print();

        const int pages = pdf_pages(pdf);
        QVERIFY2(pages > 2, qPrintable(QString::number(pages)));
        // A job tells beforehand how many pages a header and a list will take.
        QCOMPARE(
            rt::open_pdf_job(dir.filePath(QStringLiteral("counted.pdf")))
                ->page_count(QStringLiteral("when (Similarity)\r\nFile 1: a\r\nFile 2: b"), w.dw_same->table(), 330),
            long(pages));
        // Every row once, in order, across the pages; the total line on the last.
        const QString text = pdf_text(pdf);
        int at = 0;
        for (int i = 1; i <= n; ++i) {
            const auto m = QRegularExpression(QStringLiteral("\\b%1 line%1\\b").arg(i)).match(text, at);
            QVERIFY2(m.hasMatch(), qPrintable(QStringLiteral("row %1").arg(i)));
            at = static_cast<int>(m.capturedEnd());
        }
        QVERIFY(
            pdf_text(pdf, {QStringLiteral("-f"), QString::number(pages), QStringLiteral("-l"), QString::number(pages)})
                .contains(QStringLiteral("Total :")));

        // On a later page the first row starts the margin's worth of rows down: 330 units are
        // nearly five rows of 69.
        const auto tops = word_tops(pdf, 2);
        QVERIFY(!tops.isEmpty());
        double first = 1e9, second = 1e9;
        QString first_word;
        for (auto it = tops.begin(); it != tops.end(); ++it) {
            if (!it.key().startsWith(QLatin1String("line")))
                continue;
            if (it.value() < first) {
                second = first;
                first = it.value();
                first_word = it.key();
            } else if (it.value() < second) {
                second = it.value();
            }
        }
        const double pitch = second - first;
        QVERIFY(pitch > 0);
        const auto page1 = word_tops(pdf, 1);
        double page_top = 1e9;
        for (double y : page1.values())
            page_top = std::min(page_top, y); // the header's first line sits at the top of the page
        QVERIFY2(first - page_top > 4.3 * pitch && first - page_top < 5.3 * pitch,
            qPrintable(QStringLiteral("%1 %2 %3").arg(first).arg(page_top).arg(pitch)));
    }

    void row_numbers_print_whole()
    {
        if (!testing::have_tool("pdftotext") || !testing::have_tool("pdfinfo"))
            QSKIP("pdftotext or pdfinfo is not installed");
        QTemporaryDir dir;
        const QString pdf = dir.filePath(QStringLiteral("numbers.pdf"));
        const auto printer = rt::print_job_seam().replace([pdf] { return rt::open_pdf_job(pdf); });
        w_diff w;
        QVERIFY(testing::fill(w.dw_same->table(), row_pairs(2000, {"x", ""})));
        answer_dialog(1);
        w.ue_print();
        // Four digits keep inside the grid, left of the text, as on screen. The leftmost "2000"
        // is the last row's number; the total line's count stands right of "Total :".
        const auto boxes = word_boxes(pdf, pdf_pages(pdf));
        const auto numbers = boxes.values(QStringLiteral("2000"));
        const QRectF number = *std::min_element(
            numbers.begin(), numbers.end(), [](const QRectF& a, const QRectF& b) { return a.left() < b.left(); });
        QVERIFY2(number.left() >= boxes.value(QStringLiteral("Total")).left() - 1
                && number.right() <= boxes.value(QStringLiteral("x")).left(),
            qPrintable(QStringLiteral("%1..%2").arg(number.left()).arg(number.right())));
    }

    void long_lines_and_paths_print_readably()
    {
        if (!testing::have_tool("pdftotext"))
            QSKIP("pdftotext is not installed");
        QTemporaryDir dir;
        const QString keep = qEnvironmentVariable("TOVIK_KEEP_PDF");
        w_diff w;
        const std::string one = "c:\\home\\alice\\Documents\\exports\\2026\\customers-north.txt";
        const std::string two = "c:\\home\\alice\\Documents\\exports\\2026\\customers-south.txt";
        const std::string long_line = "A line far longer than its cell, such as an exported record with many fields: "
                                      "id=40213;name=Ada Lovelace;city=London;notes=first program;status=kept";
        QVERIFY(testing::fill(w.dw_same->table(), {{long_line, ""}, {"short", ""}}));
        QVERIFY(testing::fill(w.dw_diff->table(), {{long_line, one}, {"only in the south", two}}));
        QVERIFY(testing::fill(w.dw_sum->table(),
            {{"Similarity", ""}, {long_line, ""}, {"short", ""}, {"", ""}, {"Difference", ""}, {long_line, one},
                {"only in the south", two}}));
        w.st_1->setText(QString::fromStdString(one));
        w.st_2->setText(QString::fromStdString(two));
        QString printed[4];
        for (int choice = 1; choice <= 3; ++choice) {
            const QString pdf = (keep.isEmpty() ? dir.path() : keep) + QStringLiteral("/choice%1.pdf").arg(choice);
            const auto printer = rt::print_job_seam().replace([pdf] { return rt::open_pdf_job(pdf); });
            answer_dialog(choice);
            w.ue_print();
            printed[choice] = pdf_text(pdf);
        }
        // The kept layout of the difference list: the grid across the page, the long line cut
        // with "…", each source label and header path cut in the middle so its file name shows.
        // Blank lines left out: the space between header and list is drawn a line taller on one
        // Qt generation than on the other.
        QFile expected(QStringLiteral(TOVIK_TEST_DATA "/printed_difference.txt"));
        QVERIFY(expected.open(QIODevice::ReadOnly));
        const auto lines = [](const QString& text) { return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts); };
        QCOMPARE(lines(printed[2]), lines(QString::fromUtf8(expected.readAll())));
        for (int choice : {1, 3})
            QVERIFY2(printed[choice].contains(QChar(0x2026)), qPrintable(printed[choice]));
    }
};

QTEST_MAIN(print_test)
#include "print_test.moc"
