// Save As: every file type read back against the combined list, the names it is given, and
// what is left on disk when a save is cancelled or fails.

#include "compare/linetable/grid_pane.h"
#include "compare/output/table_saveas.h"
#include "compare/w_diff.h"
#include "runtime/core/drive_model.h"
#include "runtime/message_box.h"
#include "runtime/save_dialog.h"

#include "support/modal.h"
#include "support/output_files.h"
#include "support/read_back.h"

#include <QDirIterator>
#include <QFileDialog>
#include <QLineEdit>
#include <QtTest>

using testing::row_pairs;

namespace {

enum type_index { text_type = 0, csv_type = 1, html_type = 2, xlsx_type = 3 };

// Every file below `dir`, relative to it.
QStringList files_below(const QString& dir)
{
    QStringList found;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(dir).relativeFilePath(it.next());
    return found;
}

} // namespace

class save_test : public QObject {
    Q_OBJECT

    QStringList messages_;
    QList<rt::save_request> asked_;
    rt::save_answer answer_;
    // For the whole run the test answers the boxes and the save dialog.
    const core::seam_override<rt::message_box_hook> box_ = rt::message_box_seam().replace(
        [this](const QString& caption, const QString& text) { messages_ << caption + QLatin1Char('|') + text; });
    const core::seam_override<rt::save_dialog_hook> dialog_
        = rt::save_dialog_seam().replace([this](const rt::save_request& r) {
              asked_ << r;
              return answer_;
          });

private slots:
    void init()
    {
        messages_.clear();
        asked_.clear();
        answer_ = rt::save_answer();
    }

    void every_type_holds_the_combined_list()
    {
        QTemporaryDir dir;
        w_diff w;
        const row_pairs rows = testing::awkward_rows();
        QVERIFY(testing::fill(w.dw_sum->table(), rows));
        // Save As never takes the other lists.
        QVERIFY(testing::fill(w.dw_same->table(), {{"not saved", ""}}));

        const char* names[] = {"list.txt", "list.csv", "list.html", "list.xlsx"};
        for (int type = text_type; type <= xlsx_type; ++type) {
            const QString path = dir.filePath(QLatin1String(names[type]));
            answer_ = {path, type, QString()};
            w.ue_saveas();
            QVERIFY2(messages_.isEmpty(), qPrintable(messages_.join(QLatin1Char('\n'))));
            const std::string bytes = testing::file_bytes(path).toStdString();
            row_pairs back;
            std::string why;
            std::vector<std::string> sheet_names;
            std::vector<row_pairs> sheets;
            const bool read = type == text_type ? testing::read_text(bytes, back, why)
                : type == csv_type              ? testing::read_csv(bytes, back, why)
                : type == html_type             ? testing::read_html(bytes, back, why)
                                                : testing::read_xlsx(bytes, sheet_names, sheets, why);
            QVERIFY2(read, why.c_str());
            if (type == xlsx_type) {
                QCOMPARE(sheets.size(), std::size_t(1));
                back = sheets[0];
            }
            QVERIFY2(back == rows, names[type]);
        }
        // One file per save, and no working file left beside them.
        QCOMPARE(files_below(dir.path()).size(), 4);

        QCOMPARE(asked_.size(), 4);
        QStringList offered;
        for (const rt::file_type& t : asked_.at(0).types)
            offered << t.name + QLatin1Char('=') + t.extension;
        QCOMPARE(offered,
            (QStringList {QStringLiteral("Text=txt"), QStringLiteral("CSV=csv"), QStringLiteral("HTML=html"),
                QStringLiteral("Excel workbook=xlsx")}));
    }

    void a_name_without_extension_gets_the_types()
    {
        QTemporaryDir dir;
        w_diff w;
        QVERIFY(testing::fill(w.dw_sum->table(), {{"a", "b"}}));
        answer_ = {dir.filePath(QStringLiteral("report")), csv_type, QString()};
        w.ue_saveas();
        QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("report.csv"))));
        answer_ = {dir.filePath(QStringLiteral("notes.dat")), text_type, QString()};
        w.ue_saveas();
        QCOMPARE(testing::file_bytes(dir.filePath(QStringLiteral("notes.dat"))), QByteArray("a\tb\n"));
        // The extension of an offered type, typed, wins over the type selected.
        answer_ = {dir.filePath(QStringLiteral("typed.XLSX")), text_type, QString()};
        w.ue_saveas();
        QVERIFY(testing::file_bytes(dir.filePath(QStringLiteral("typed.XLSX"))).startsWith("PK\x03\x04"));
        answer_ = {dir.filePath(QStringLiteral("typed.csv")), html_type, QString()};
        w.ue_saveas();
        QCOMPARE(testing::file_bytes(dir.filePath(QStringLiteral("typed.csv"))),
            QByteArray("\xEF\xBB\xBF"
                       "a,b\r\n"));
        QCOMPARE(files_below(dir.path()).size(), 4);
        QVERIFY(messages_.isEmpty());

        QCOMPARE(
            rt::with_extension(QStringLiteral("/x/.hidden"), QStringLiteral("txt")), QStringLiteral("/x/.hidden.txt"));
        QCOMPARE(
            rt::with_extension(QStringLiteral("/x.d/name"), QStringLiteral("txt")), QStringLiteral("/x.d/name.txt"));
        QCOMPARE(rt::with_extension(QStringLiteral("/x/name."), QStringLiteral("txt")), QStringLiteral("/x/name.txt"));
    }

    void before_any_compare_an_empty_list_is_saved()
    {
        QTemporaryDir dir;
        w_diff w;
        answer_ = {dir.filePath(QStringLiteral("empty.txt")), text_type, QString()};
        w.ue_saveas();
        QCOMPARE(asked_.size(), 1);
        QVERIFY(QFileInfo::exists(answer_.path));
        QCOMPARE(testing::file_bytes(answer_.path), QByteArray());
        answer_ = {dir.filePath(QStringLiteral("empty.csv")), csv_type, QString()};
        w.ue_saveas();
        QCOMPARE(testing::file_bytes(answer_.path), QByteArray("\xEF\xBB\xBF"));
        QVERIFY(messages_.isEmpty());
    }

    void cancel_writes_and_says_nothing()
    {
        QTemporaryDir dir;
        w_diff w;
        QVERIFY(testing::fill(w.dw_sum->table(), {{"a", ""}}));
        answer_ = rt::save_answer();
        w.ue_saveas();
        QCOMPARE(asked_.size(), 1);
        QVERIFY(messages_.isEmpty());
        QVERIFY(files_below(dir.path()).isEmpty());
    }

    void a_failed_save_is_reported_and_leaves_the_earlier_file()
    {
        QTemporaryDir dir;
        w_diff w;
        QVERIFY(testing::fill(w.dw_sum->table(), {{"new", ""}}));

        // A folder that does not exist.
        const QString lost = dir.filePath(QStringLiteral("no-such-folder/list.txt"));
        answer_ = {lost, text_type, QString()};
        w.ue_saveas();
        QCOMPARE(messages_.size(), 1);
        QVERIFY(messages_.at(0).startsWith(QStringLiteral("Save As|")));
        QVERIFY2(messages_.at(0).contains(lost), qPrintable(messages_.at(0)));

        // A name that leads to a device is no file to replace: refused by name, nothing written.
        const QString full = dir.filePath(QStringLiteral("full"));
        if (QFile::link(QStringLiteral("/dev/full"), full + QStringLiteral(".txt"))
            && QFile::link(QStringLiteral("/dev/full"), full + QStringLiteral(".xlsx"))) {
            for (int type : {text_type, xlsx_type}) {
                messages_.clear();
                answer_ = {full, type, QString()};
                w.ue_saveas();
                QCOMPARE(messages_.size(), 1);
                QVERIFY2(messages_.at(0).contains(full) && messages_.at(0).contains(QStringLiteral("device")),
                    qPrintable(messages_.at(0)));
            }
            QFile::remove(full + QStringLiteral(".txt"));
            QFile::remove(full + QStringLiteral(".xlsx"));
        }

        // A list that a workbook cannot hold fails after part of it was written; the file
        // saved earlier under that name stays as it was, and no half-written file is left.
        const QString earlier = dir.filePath(QStringLiteral("kept.xlsx"));
        {
            QFile f(earlier);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("earlier contents");
        }
        QVERIFY(testing::fill(w.dw_sum->table(), {{std::string(40000, 'x'), ""}}));
        messages_.clear();
        answer_ = {earlier, xlsx_type, QString()};
        w.ue_saveas();
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_.at(0).contains(earlier) && messages_.at(0).contains(QStringLiteral("32,767")),
            qPrintable(messages_.at(0)));
        QCOMPARE(testing::file_bytes(earlier), QByteArray("earlier contents"));
        QCOMPARE(files_below(dir.path()), QStringList {QStringLiteral("kept.xlsx")});

        // A read-only folder, where the permission holds (not for the superuser).
        QDir(dir.path()).mkdir(QStringLiteral("locked"));
        const QString locked = dir.filePath(QStringLiteral("locked"));
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        if (!QFileInfo(locked).isWritable()) {
            messages_.clear();
            answer_ = {locked + QStringLiteral("/list.html"), html_type, QString()};
            w.ue_saveas();
            QCOMPARE(messages_.size(), 1);
            QVERIFY(files_below(locked).isEmpty());
        }
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void the_real_dialog_keeps_no_history()
    {
        const auto real_dialog = rt::save_dialog_seam().replace(std::nullopt);
        QTemporaryDir config;
        QTemporaryDir data;
        QTemporaryDir target;
        const QByteArray old_config = qgetenv("XDG_CONFIG_HOME");
        const QByteArray old_data = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));

        w_diff w;
        QVERIFY(testing::fill(w.dw_sum->table(), {{"kept", "row"}}));
        const QString name = target.filePath(QStringLiteral("chosen"));
        // The dialog opens in the folder the list shows; in the home folder once that is gone.
        std::string form;
        QVERIFY(core::path_form_of(QDir(target.path()).canonicalPath().toStdString() + '/', form));
        w.is_path = QString::fromStdString(form);
        QString opened_in;
        bool answered = false;
        testing::when_modal<QFileDialog>([&](QFileDialog* dialog) {
            opened_in = dialog->directory().absolutePath();
            answered = true;
            dialog->selectNameFilter(QStringLiteral("CSV (*.csv)"));
            // Typed, as a user would: selectFile leaves alone a name field that has the focus.
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(name);
            static_cast<QDialog*>(dialog)->accept();
        });
        w.ue_saveas();
        QCOMPARE(opened_in, QDir(target.path()).canonicalPath());
        // Cancelled once, too, for the path that writes nothing.
        w.is_path = QString::fromStdString(form) + QStringLiteral("gone\\");
        testing::when_modal<QFileDialog>([&](QFileDialog* dialog) {
            opened_in = dialog->directory().absolutePath();
            dialog->reject();
        });
        w.ue_saveas();
        QCOMPARE(opened_in, QDir::homePath());

        qputenv("XDG_CONFIG_HOME", old_config);
        qputenv("XDG_DATA_HOME", old_data);
        QVERIFY(answered);
        QVERIFY(messages_.isEmpty());
        QCOMPARE(testing::file_bytes(name + QStringLiteral(".csv")), QByteArray("\xEF\xBB\xBFkept,row\r\n"));
        QCOMPARE(files_below(config.path()), QStringList());
        QCOMPARE(files_below(data.path()), QStringList());
    }

    void an_answer_waits_for_the_dialogs_own_loop()
    {
        // A dialog that handles events while it is being shown, as the file dialog does while
        // it reads a folder: an answer given then is lost, and exec would wait forever.
        struct slow_to_show : QDialog {
            void setVisible(bool visible) override
            {
                QDialog::setVisible(visible);
                QTest::qSleep(30);
                QCoreApplication::processEvents();
            }
        } dialog;
        QTimer::singleShot(10000, &dialog, [&dialog] {
            dialog.show();
            dialog.done(2);
        });
        testing::when_modal<QDialog>([](QDialog* d) { d->done(1); });
        QCOMPARE(dialog.exec(), 1);
    }
};

QTEST_MAIN(save_test)
#include "save_test.moc"
