// Loading a source file into a pane: through the load itself and through the window's
// ue_dragdrop, with what the user is told when a file cannot be read.

#include "compare/import/source_load.h"
#include "compare/linetable/grid_pane.h"
#include "compare/w_diff.h"
#include "runtime/core/drive_model.h"
#include "runtime/core/line_file.h"
#include "runtime/message_box.h"
#include "support/source_files.h"

#include <QDir>
#include <QLabel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <optional>
#include <unistd.h>

namespace {

QStringList rows_of(const core::line_table& t, core::column c = core::column::es_text)
{
    QStringList out;
    for (long r = 1; r <= t.count(); ++r)
        out << QString::fromStdString(std::string(t.get(c, r)));
    return out;
}

struct message {
    QString caption;
    QString text;
};

int open_descriptors()
{
    return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

int reads_before_failure = 0;

ssize_t fail_after_first_read(int fd, void* buffer, std::size_t count)
{
    if (reads_before_failure-- <= 0) {
        errno = EIO;
        return -1;
    }
    return ::read(fd, buffer, count < 12 ? count : 12);
}

const QByteArray five_lines("b\n\na\n   \na\n");

} // namespace

class import_test : public QObject {
    Q_OBJECT

    QTemporaryDir* dir_ = nullptr;
    QList<message> messages_;
    // Drive c is each test function's own folder.
    std::optional<core::seam_override<std::vector<core::drive>>> drives_;
    // For the whole run the test answers the boxes.
    const core::seam_override<rt::message_box_hook> box_
        = rt::message_box_seam().replace([this](const QString& caption, const QString& text) {
              messages_.append({caption, text});
          });

    // Writes a file under drive c and returns its path form, "c:\name".
    QString source(const QString& name, const QByteArray& bytes)
    {
        testing::write_source(*dir_, name, bytes);
        return QStringLiteral("c:\\") + name;
    }

    // Puts rows into a pane directly, to see whether a load touches it.
    static void fill(rt::grid_pane* pane, const QStringList& rows)
    {
        for (const QString& r : rows)
            pane->table().set(core::column::es_text, pane->table().insertrow(0), r.toStdString());
    }

private slots:
    void init()
    {
        dir_ = new QTemporaryDir;
        drives_.emplace(core::drive_seam().replace(std::vector<core::drive> {{"c", dir_->path().toStdString()}}));
        messages_.clear();
    }

    void cleanup()
    {
        drives_.reset();
        core::line_table::set_row_limit(2147483647L);
        delete dir_;
    }

    void load_keeps_sorts_and_reports()
    {
        core::line_table t;
        const std::string path = testing::write_source(*dir_, QStringLiteral("f.txt"), five_lines);
        core::result r = core::load_source(path, t);
        QVERIFY(r.ok());
        QCOMPARE(rows_of(t), (QStringList {QStringLiteral("a"), QStringLiteral("a"), QStringLiteral("b")}));
        QCOMPARE(rows_of(t, core::column::es_text2), (QStringList {QString(), QString(), QString()}));

        // A second load replaces the rows; a missing file leaves none and says why.
        r = core::load_source(path + ".missing", t);
        QVERIFY(r.why() == core::fault::open_failed);
        QCOMPARE(r.reason(), std::string("No such file or directory"));
        QCOMPARE(t.rowcount(), 0L);
    }

    void load_leaves_rows_unsorted_when_the_table_fails()
    {
        core::line_table t;
        core::line_table::set_row_limit(2);
        const core::result r = core::load_source(testing::write_source(*dir_, QStringLiteral("f.txt"), "c\nb\na\n"), t);
        QVERIFY(!r && r.why() == core::fault::table_failed);
        QVERIFY(t.rowcount() < 0);
        QCOMPARE(std::string(t.get(core::column::es_text, 1)), std::string("c"));
        QCOMPARE(std::string(t.get(core::column::es_text, 2)), std::string("b"));
    }

    void drop_loads_kept_lines_into_the_pane()
    {
        w_diff w;
        w.is_file = source(QStringLiteral("five.txt"), five_lines);
        w.ue_dragdrop(1);
        QCOMPARE(
            rows_of(w.dw_1->table()), (QStringList {QStringLiteral("a"), QStringLiteral("a"), QStringLiteral("b")}));
        QCOMPARE(w.st_1->text(), QStringLiteral("c:\\five.txt"));
        QCOMPARE(w.dw_1->count_label()->text(), QStringLiteral("3"));
        QVERIFY(messages_.isEmpty());

        // Lines as read: blanks around text, tabs, no terminator on the last line.
        w.is_file = source(QStringLiteral("exact.txt"), "  x  \r\n\t\r\n \t \rz");
        w.ue_dragdrop(2);
        QCOMPARE(rows_of(w.dw_2->table()),
            (QStringList {QStringLiteral("\t"), QStringLiteral(" \t "), QStringLiteral("  x  "), QStringLiteral("z")}));
        QCOMPARE(w.st_2->text(), QStringLiteral("c:\\exact.txt"));

        // The same text in UTF-16 gives the same rows.
        QByteArray utf16("\xFF\xFE");
        utf16 += testing::utf16_bytes(QStringLiteral("  x  \r\n\t\r\n \t \rz"), false);
        w.is_file = source(QStringLiteral("exact16.txt"), utf16);
        w.ue_dragdrop(1);
        QCOMPARE(rows_of(w.dw_1->table()), rows_of(w.dw_2->table()));
    }

    void a_load_touches_only_its_pane_and_label()
    {
        w_diff w;
        fill(w.dw_same, {QStringLiteral("same")});
        fill(w.dw_diff, {QStringLiteral("diff")});
        w.is_file = source(QStringLiteral("two.txt"), "2\n");
        w.ue_dragdrop(2);
        w.is_file = source(QStringLiteral("one.txt"), "1\n");
        w.ue_dragdrop(1);
        w.ue_dragdrop(1); // twice: its rows once
        QCOMPARE(rows_of(w.dw_1->table()), QStringList {QStringLiteral("1")});
        QCOMPARE(rows_of(w.dw_2->table()), QStringList {QStringLiteral("2")});
        QCOMPARE(w.st_2->text(), QStringLiteral("c:\\two.txt"));
        QCOMPARE(rows_of(w.dw_same->table()), QStringList {QStringLiteral("same")});
        QCOMPARE(rows_of(w.dw_diff->table()), QStringList {QStringLiteral("diff")});

        // Any other pane number loads nothing, changes nothing, and leaves no file open.
        const int descriptors = open_descriptors();
        w.is_file = source(QStringLiteral("three.txt"), "3\n");
        w.ue_dragdrop(3);
        w.ue_dragdrop(0);
        QCOMPARE(open_descriptors(), descriptors);
        QCOMPARE(rows_of(w.dw_1->table()), QStringList {QStringLiteral("1")});
        QCOMPARE(w.st_1->text(), QStringLiteral("c:\\one.txt"));
        QCOMPARE(rows_of(w.dw_2->table()), QStringList {QStringLiteral("2")});
        QVERIFY(messages_.isEmpty());
    }

    void empty_file_and_nothing_selected_are_silent()
    {
        w_diff w;
        fill(w.dw_1, {QStringLiteral("old")});
        w.is_file = source(QStringLiteral("empty.txt"), QByteArray());
        w.ue_dragdrop(1);
        QCOMPARE(w.dw_1->table().rowcount(), 0L);
        QCOMPARE(w.st_1->text(), QStringLiteral("c:\\empty.txt"));

        fill(w.dw_2, {QStringLiteral("old")});
        w.is_file.clear();
        w.ue_dragdrop(2);
        QCOMPARE(w.dw_2->table().rowcount(), 0L);
        QCOMPARE(w.st_2->text(), QString());
        QVERIFY(messages_.isEmpty());
    }

    void files_that_cannot_be_opened_are_reported_data()
    {
        QTest::addColumn<QString>("is_file");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QStringLiteral("c:\\missing.txt") << QStringLiteral("No such file or directory");
        QTest::newRow("directory") << QStringLiteral("c:\\folder") << QStringLiteral("Is a directory");
        QTest::newRow("no such drive") << QStringLiteral("q:\\x.txt") << QStringLiteral("names no drive");
    }

    void files_that_cannot_be_opened_are_reported()
    {
        QFETCH(QString, is_file);
        QFETCH(QString, reason);
        QDir(dir_->path()).mkdir(QStringLiteral("folder"));
        w_diff w;
        fill(w.dw_1, {QStringLiteral("old")});
        const int descriptors = open_descriptors();
        w.is_file = is_file;
        w.ue_dragdrop(1);
        QCOMPARE(open_descriptors(), descriptors);
        QCOMPARE(w.dw_1->table().rowcount(), 0L);
        QCOMPARE(w.st_1->text(), is_file);
        QCOMPARE(messages_.size(), 1);
        QCOMPARE(messages_[0].caption, QStringLiteral("File read error"));
        QVERIFY2(
            messages_[0].text.contains(is_file) && messages_[0].text.contains(reason), qPrintable(messages_[0].text));
    }

    void a_read_failure_keeps_the_lines_before_it_and_is_reported()
    {
        w_diff w;
        w.is_file = source(QStringLiteral("cut.txt"), "zeta\nalpha\nlost line\nnever\n");
        reads_before_failure = 1;
        {
            const auto failing = core::line_file::read_seam().replace(&fail_after_first_read);
            w.ue_dragdrop(1);
        }
        QCOMPARE(rows_of(w.dw_1->table()), (QStringList {QStringLiteral("alpha"), QStringLiteral("zeta")}));
        QCOMPARE(messages_.size(), 1);
        QCOMPARE(messages_[0].caption, QStringLiteral("File read error"));
        QVERIFY(messages_[0].text.contains(QStringLiteral("c:\\cut.txt")));
        QVERIFY(messages_[0].text.contains(QStringLiteral("Input/output error")));
        QVERIFY2(messages_[0].text.endsWith(QStringLiteral("Only the 2 lines before the failure were loaded.")),
            qPrintable(messages_[0].text));

        // A failure before any line says that nothing was loaded.
        messages_.clear();
        reads_before_failure = 0;
        {
            const auto failing = core::line_file::read_seam().replace(&fail_after_first_read);
            w.ue_dragdrop(1);
        }
        QCOMPARE(w.dw_1->table().count(), 0L);
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_[0].text.endsWith(QStringLiteral("Nothing was loaded.")), qPrintable(messages_[0].text));
    }

    void a_table_failure_shows_the_message_and_leaves_rows_unsorted()
    {
        w_diff w;
        core::line_table::set_row_limit(2);
        w.is_file = source(QStringLiteral("big.txt"), "c\nb\na\n");
        w.ue_dragdrop(1);
        QVERIFY(w.dw_1->table().rowcount() < 0);
        QCOMPARE(std::string(w.dw_1->table().get(core::column::es_text, 1)), std::string("c"));
        QCOMPARE(std::string(w.dw_1->table().get(core::column::es_text, 2)), std::string("b"));
        QCOMPARE(messages_.size(), 1);
        QCOMPARE(messages_[0].caption, QStringLiteral("File read error"));
        QCOMPARE(messages_[0].text, QStringLiteral("Not a Text or dBase file"));
        // The pane shows the rows it holds, as loaded.
        QCOMPARE(w.dw_1->view()->model()->rowCount(), 2);
        QCOMPARE(rows_of(w.dw_1->table()), (QStringList {QStringLiteral("c"), QStringLiteral("b")}));

        // A compare with it would take the missing line for one only the other source has.
        fill(w.dw_2, {QStringLiteral("a")});
        messages_.clear();
        w.ue_compare();
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_[0].text.startsWith(QStringLiteral("Source 1 was not loaded whole")),
            qPrintable(messages_[0].text));
        QVERIFY(w.dw_diff->table().failed() && w.dw_sum->table().failed());

        // The next load clears the failure.
        core::line_table::set_row_limit(2147483647L);
        w.ue_dragdrop(1);
        QCOMPARE(
            rows_of(w.dw_1->table()), (QStringList {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    }
};

QTEST_MAIN(import_test)
#include "import_test.moc"
