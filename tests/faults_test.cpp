// Faults of the machine under the user's feet: a table that runs out of room in mid-load, a
// save target that changes while the dialog is open, a file system that refuses bytes, and no
// printer at all. Each must be told to the user truthfully, and nothing saved before is lost.

#include "compare/w_diff.h"
#include "printopt/w_print_option.h"
#include "runtime/drive_model.h"
#include "runtime/grid_pane.h"
#include "runtime/message_box.h"
#include "runtime/print_job.h"
#include "runtime/save_dialog.h"
#include "support/browser_tree.h"
#include "support/modal.h"
#include "support/output_files.h"

#include <QCheckBox>
#include <QDirIterator>
#include <QLabel>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using window = testing::shown_window;

// Indexes of the save types, in the dialog's order.
enum { text_type = 0, csv_type = 1, html_type = 2, xlsx_type = 3 };

// Every file below `dir`, hidden ones too, relative to it.
QStringList files_below(const QString& dir)
{
    QStringList out;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(dir).relativeFilePath(it.next());
    out.sort();
    return out;
}

// Lowers the largest file this process may write, for the life of the scope: writes past it
// fail with EFBIG, as they would on a full disk, even for the superuser.
class file_size_limit {
public:
    explicit file_size_limit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~file_size_limit()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    file_size_limit(const file_size_limit&) = delete;
    file_size_limit& operator=(const file_size_limit&) = delete;
    bool ok() const { return ok_; }

private:
    rlimit saved_ {};
    void (*previous_)(int) = SIG_DFL;
    bool ok_ = false;
};

} // namespace

class faults_test : public QObject {
    Q_OBJECT

    QStringList messages_; // "caption|text"
    rt::message_box_hook saved_box_;
    rt::save_dialog_hook saved_dialog_;
    // What the save dialog answers, and what happens while it is open.
    rt::save_answer answer_;
    std::function<void()> while_open_;

private slots:
    void init()
    {
        messages_.clear();
        while_open_ = nullptr;
        saved_box_ = rt::set_message_box_hook(
            [this](const QString& caption, const QString& text) { messages_ << caption + QLatin1Char('|') + text; });
        saved_dialog_ = rt::set_save_dialog_hook([this](const rt::save_request&) {
            if (while_open_)
                while_open_();
            return answer_;
        });
    }

    void cleanup()
    {
        rt::set_message_box_hook(saved_box_);
        rt::set_save_dialog_hook(saved_dialog_);
        core::line_table::set_row_limit(2147483647L);
        core::set_drive_root("c", std::string());
    }

    void a_table_that_runs_out_of_room_in_mid_load()
    {
        QTemporaryDir dir;
        core::set_drive_root("c", dir.path().toStdString());
        QVERIFY(testing::make_file(dir, QStringLiteral("six.txt"), "f\ne\nd\nc\nb\na\n"));
        QVERIFY(testing::make_file(dir, QStringLiteral("two.txt"), "a\nz\n"));
        window win;
        w_diff& w = win.w;

        QTest::mouseClick(w.cbx_1, Qt::LeftButton);
        core::line_table::set_row_limit(4);
        QVERIFY(testing::click_entry(w.lb_1, QStringLiteral("six.txt")));
        QCOMPARE(messages_, QStringList {QStringLiteral("File read error|Not a Text or dBase file")});
        QVERIFY(w.dw_1->table().rowcount() < 0);
        QCOMPARE(w.st_1->text(), QStringLiteral("c:\\six.txt"));
        // The rows that fitted stay as read, unsorted.
        QCOMPARE(std::string(w.dw_1->table().get(core::column::es_text, 1)), std::string("f"));
        QCOMPARE(std::string(w.dw_1->table().get(core::column::es_text, 4)), std::string("c"));

        // Comparing against the failed pane neither crashes nor invents rows.
        QTest::mouseClick(w.cbx_2, Qt::LeftButton);
        QVERIFY(testing::click_entry(w.lb_1, QStringLiteral("two.txt")));
        w.ue_compare();
        QVERIFY(w.dw_same->table().rowcount() <= 2);
        QVERIFY(w.dw_diff->table().rowcount() <= 6);

        // With room again the same file loads whole and silently.
        core::line_table::set_row_limit(2147483647L);
        messages_.clear();
        QTest::mouseClick(w.cbx_1, Qt::LeftButton);
        QVERIFY(testing::click_entry(w.lb_1, QStringLiteral("six.txt")));
        QCOMPARE(messages_, QStringList());
        QCOMPARE(w.dw_1->table().rowcount(), 6L);
        QCOMPARE(std::string(w.dw_1->table().get(core::column::es_text, 1)), std::string("a"));
    }

    void the_save_target_changes_while_the_dialog_is_open()
    {
        QTemporaryDir dir;
        w_diff w;
        QVERIFY(testing::fill(w.dw_sum->table(), {{"new row", "x"}, {"second", ""}}));
        const QString target = dir.filePath(QStringLiteral("list.txt"));
        auto write_earlier = [&] {
            QFile f(target);
            return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write("earlier\n") == 8;
        };
        answer_ = {target, text_type, QString()};

        // Another file put in its place: the save replaces it whole.
        QVERIFY(write_earlier());
        while_open_ = [&] {
            QFile::remove(target);
            QFile f(target);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(100000, 'o'));
        };
        w.ue_saveas();
        QCOMPARE(messages_, QStringList());
        QCOMPARE(testing::file_bytes(target), QByteArray("new row\tx\nsecond\t\n"));
        QCOMPARE(files_below(dir.path()), QStringList {QStringLiteral("list.txt")});

        // A folder put in its place: refused and reported by name, the folder as it was.
        while_open_ = [&] {
            QFile::remove(target);
            QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("list.txt/inside")));
        };
        w.ue_saveas();
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_.at(0).startsWith(QStringLiteral("Save As|")) && messages_.at(0).contains(target),
            qPrintable(messages_.at(0)));
        QVERIFY(QFileInfo(target + QStringLiteral("/inside")).isDir());
        QVERIFY(files_below(dir.path()).isEmpty());
        QVERIFY(QDir(target).removeRecursively());

        // The folder removed: reported by name, nothing left anywhere.
        const QString inner = dir.filePath(QStringLiteral("sub/list.csv"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        answer_ = {inner, csv_type, QString()};
        while_open_ = [&] { QVERIFY(QDir(dir.filePath(QStringLiteral("sub"))).removeRecursively()); };
        messages_.clear();
        w.ue_saveas();
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_.at(0).contains(inner), qPrintable(messages_.at(0)));
        QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("sub"))));

        // A link to the full device put in its place: every byte refused, and said so.
        answer_ = {target, text_type, QString()};
        while_open_ = [&] { QVERIFY(QFile::link(QStringLiteral("/dev/full"), target)); };
        messages_.clear();
        w.ue_saveas();
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(
            messages_.at(0).contains(target) && messages_.at(0).contains(QStringLiteral("space"), Qt::CaseInsensitive),
            qPrintable(messages_.at(0)));
        QVERIFY(QFileInfo(target).isSymLink());
    }

    void a_file_system_that_refuses_bytes_keeps_the_earlier_file()
    {
        QTemporaryDir dir;
        w_diff w;
        // Rows that no type can pack into the limit below, not even a compressed workbook.
        testing::row_pairs rows;
        std::uint32_t seed = 12345;
        for (int i = 0; i < 20000; ++i) {
            std::string text;
            for (int k = 0; k < 24; ++k) {
                seed = seed * 1103515245u + 12345u;
                text += static_cast<char>('!' + (seed >> 16) % 90);
            }
            rows.push_back({text, std::to_string(i)});
        }
        QVERIFY(testing::fill(w.dw_sum->table(), rows));

        const QStringList extensions
            = {QStringLiteral("txt"), QStringLiteral("csv"), QStringLiteral("html"), QStringLiteral("xlsx")};
        for (int type : {text_type, csv_type, html_type, xlsx_type}) {
            const QString name = dir.filePath(QStringLiteral("kept.") + extensions.at(type));
            {
                QFile f(name);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write("earlier contents");
            }
            answer_ = {name, type, QString()};
            messages_.clear();
            {
                file_size_limit limit(64 * 1024);
                QVERIFY(limit.ok());
                w.ue_saveas();
            }
            QVERIFY2(messages_.size() == 1, qPrintable(name));
            QVERIFY2(messages_.at(0).startsWith(QStringLiteral("Save As|")) && messages_.at(0).contains(name),
                qPrintable(messages_.at(0)));
            QCOMPARE(testing::file_bytes(name), QByteArray("earlier contents"));
            QCOMPARE(files_below(dir.path()).size(), type + 1);
        }
    }

    void no_printer_is_told_and_nothing_printed()
    {
        if (!QPrinterInfo::availablePrinterNames().isEmpty())
            QSKIP("this machine has a printer, which the test must not print on");
        const rt::print_job_factory saved = rt::set_print_job_factory({});
        w_diff w;
        QVERIFY(testing::fill(w.dw_diff->table(), {{"only here", "a.txt"}}));
        testing::when_modal<w_print_option>([](w_print_option* dialog) {
            dialog->rb_diff->click();
            dialog->cb_ok->click();
        });
        w.ue_print();
        rt::set_print_job_factory(saved);
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_.at(0).startsWith(QStringLiteral("Print|"))
                && messages_.at(0).contains(QStringLiteral("printer"), Qt::CaseInsensitive),
            qPrintable(messages_.at(0)));
        // The margin is set only on a job that started.
        QCOMPARE(w.dw_diff->table().print_margin_top(), 0);
    }
};

QTEST_MAIN(faults_test)
#include "faults_test.moc"
