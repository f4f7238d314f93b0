// Input no one would choose on purpose, from the user's side: files that are no text, text that
// is broken, files and folders that change under the browser, awkward names, huge folders and
// link loops. Nothing may crash or hang, and what the panes show must be true to the file.

#include "compare/linetable/grid_pane.h"
#include "compare/w_diff.h"
#include "runtime/core/drive_model.h"
#include "runtime/core/utf8.h"
#include "runtime/dir_controls.h"
#include "runtime/grid_model.h"
#include "runtime/message_box.h"
#include "support/browser_tree.h"
#include "support/source_files.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QTableView>
#include <QTest>

#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using testing::click_entry;
using testing::entries;

namespace {

using window = testing::shown_window;

QStringList rows_of(const core::line_table& t)
{
    QStringList out;
    for (long r = 1; r <= t.rowcount(); ++r) {
        // As the pane shows it.
        out << QString::fromStdString(core::shown(t.get(core::column::es_text, r)));
    }
    return out;
}

// Why a row of `t` is not one a pane may hold (a terminator, nothing but blanks, bytes that
// do not show as UTF-8), or empty when every row is sound.
QString unsound_row(const core::line_table& t)
{
    for (long r = 1; r <= t.rowcount(); ++r) {
        const std::string_view s = t.get(core::column::es_text, r);
        const QByteArray bytes(s.data(), static_cast<int>(s.size()));
        if (bytes.contains('\n') || bytes.contains('\r'))
            return QStringLiteral("row %1 holds a line terminator").arg(r);
        if (bytes.count(' ') == bytes.size())
            return QStringLiteral("row %1 is blank").arg(r);
        const QByteArray shown = QByteArray::fromStdString(core::shown(s));
        if (QString::fromUtf8(shown.constData(), shown.size()).toUtf8() != shown)
            return QStringLiteral("row %1 does not show as UTF-8").arg(r);
    }
    return QString();
}

const QString replacement_character(QChar(0xFFFD));

} // namespace

class hostile_input_test : public QObject {
    Q_OBJECT

    QTemporaryDir* dir_ = nullptr;
    QStringList messages_; // "caption|text"
    // Drive c is each test function's own folder.
    std::optional<core::seam_override<std::vector<core::drive>>> drives_;
    // For the whole run the test answers the boxes.
    const core::seam_override<rt::message_box_hook> box_ = rt::message_box_seam().replace(
        [this](const QString& caption, const QString& text) { messages_ << caption + QLatin1Char('|') + text; });

    QString host(const QString& relative) const { return dir_->filePath(relative); }

    // Loads c:\<name> into pane `ai` the way a selection does.
    static void load(w_diff& w, const QString& name, int ai = 1)
    {
        w.is_file = QStringLiteral("c:\\") + name;
        w.ue_dragdrop(ai);
    }

private slots:
    void init()
    {
        dir_ = new QTemporaryDir;
        QVERIFY(dir_->isValid());
        drives_.emplace(core::drive_seam().replace(std::vector<core::drive> {{"c", dir_->path().toStdString()}}));
        messages_.clear();
    }

    void cleanup()
    {
        drives_.reset();
        delete dir_;
        dir_ = nullptr;
    }

    void binary_files_load_as_sound_rows()
    {
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), host(QStringLiteral("program.bin"))));
        QImage image(97, 61, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        {
            QPainter p(&image);
            p.setPen(Qt::blue);
            for (int i = 0; i < 61; i += 3)
                p.drawLine(0, i, 96, 60 - i);
        }
        QVERIFY(image.save(host(QStringLiteral("picture.png")), "PNG"));

        w_diff w;
        load(w, QStringLiteral("program.bin"), 1);
        load(w, QStringLiteral("picture.png"), 2);
        QCOMPARE(messages_, QStringList());
        QCOMPARE(w.st_1->text(), QStringLiteral("c:\\program.bin"));
        QCOMPARE(w.st_2->text(), QStringLiteral("c:\\picture.png"));
        for (const core::line_table* t : {&w.dw_1->table(), &w.dw_2->table()}) {
            QVERIFY(t->rowcount() > 0);
            const QString why = unsound_row(*t);
            QVERIFY2(why.isEmpty(), qPrintable(why));
        }

        // The same binary on both sides compares as wholly similar.
        load(w, QStringLiteral("program.bin"), 2);
        w.ue_compare();
        QCOMPARE(w.dw_same->table().rowcount(), w.dw_1->table().rowcount());
        QCOMPARE(w.dw_diff->table().rowcount(), 0L);
    }

    void blank_and_broken_text()
    {
        w_diff w;
        // Only blank lines, with every terminator: an empty pane under the file's path.
        testing::write_source(*dir_, QStringLiteral("blank.txt"), "\n   \n\r\n \r\r\n\r      ");
        load(w, QStringLiteral("blank.txt"));
        QCOMPARE(w.dw_1->table().rowcount(), 0L);
        QCOMPARE(w.st_1->text(), QStringLiteral("c:\\blank.txt"));

        // Bytes that are not UTF-8 amid UTF-8 text: each bad run becomes one U+FFFD, and
        // nothing around it is lost or shifted.
        testing::write_source(*dir_, QStringLiteral("broken.txt"),
            "Zürich\nna\xFF\xFEïve\ncut \xE2\x82\nend ✓\nsurrogate \xED\xA0\x80 here\n");
        load(w, QStringLiteral("broken.txt"));
        const QStringList broken = rows_of(w.dw_1->table());
        QCOMPARE(broken.size(), 5);
        QVERIFY(broken.contains(QStringLiteral("Zürich")));
        QVERIFY(broken.contains(QStringLiteral("end ✓")));
        QVERIFY2(broken.contains(
                     QStringLiteral("na") + replacement_character + replacement_character + QStringLiteral("ïve")),
            qPrintable(broken.join(QLatin1Char('|'))));
        QVERIFY(broken.contains(QStringLiteral("cut ") + replacement_character));
        QVERIFY(broken.join(QString()).count(replacement_character) >= 4);
        QCOMPARE(unsound_row(w.dw_1->table()), QString());
        // The pane shows them so, and copies them so.
        QStringList seen;
        const QAbstractItemModel* model = w.dw_1->view()->model();
        for (int row = 0; row < model->rowCount(); ++row)
            seen << model->index(row, rt::grid_model::text_column).data().toString();
        QCOMPARE(seen, broken);
        w.dw_1->view()->selectAll();
        w.dw_1->copy_selection();
        QCOMPARE(QApplication::clipboard()->text(), broken.join(QLatin1Char('\n')) + QLatin1Char('\n'));

        // UTF-16 without a byte-order mark, both byte orders, compares equal to its UTF-8 text.
        const QString text = QStringLiteral("Zürich\r\nnaïve\nline three\n東京\n");
        testing::write_source(*dir_, QStringLiteral("utf8.txt"), text.toUtf8());
        for (bool big_endian : {false, true}) {
            testing::write_source(*dir_, QStringLiteral("utf16.txt"), testing::utf16_bytes(text, big_endian));
            load(w, QStringLiteral("utf8.txt"), 1);
            load(w, QStringLiteral("utf16.txt"), 2);
            QCOMPARE(rows_of(w.dw_2->table()), rows_of(w.dw_1->table()));
            w.ue_compare();
            QCOMPARE(w.dw_same->table().rowcount(), 4L);
            QCOMPARE(w.dw_diff->table().rowcount(), 0L);
        }
        QCOMPARE(messages_, QStringList());
    }

    void a_named_pipe_neither_lists_nor_hangs()
    {
        QVERIFY(::mkfifo(host(QStringLiteral("pipe")).toLocal8Bit().constData(), 0600) == 0);
        QVERIFY(testing::make_file(*dir_, QStringLiteral("plain.txt"), "x\n"));
        window win;
        QCOMPARE(entries(win.w.lb_1), QStringLiteral("plain.txt"));
        // Named outright, it opens without a writer and reads as empty.
        load(win.w, QStringLiteral("pipe"));
        QCOMPARE(win.w.dw_1->table().rowcount(), 0L);
        QCOMPARE(messages_, QStringList());
    }

    void files_that_change_between_listing_and_selecting()
    {
        QVERIFY(testing::make_file(*dir_, QStringLiteral("gone.txt"), "a\n"));
        QVERIFY(testing::make_file(*dir_, QStringLiteral("now a folder.txt"), "b\n"));
        QVERIFY(testing::make_folder(*dir_, QStringLiteral("now a file")));
        window win;
        w_diff& w = win.w;
        QTest::mouseClick(w.cbx_1, Qt::LeftButton);
        QCOMPARE(entries(w.lb_1), QStringLiteral("[now a file]\ngone.txt\nnow a folder.txt"));

        QVERIFY(QFile::remove(host(QStringLiteral("gone.txt"))));
        QVERIFY(click_entry(w.lb_1, QStringLiteral("gone.txt")));
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_.at(0).startsWith(QStringLiteral("File read error|"))
                && messages_.at(0).contains(QStringLiteral("c:\\gone.txt"))
                && messages_.at(0).contains(QStringLiteral("No such file")),
            qPrintable(messages_.at(0)));
        QCOMPARE(w.dw_1->table().rowcount(), 0L);
        QCOMPARE(w.st_1->text(), QStringLiteral("c:\\gone.txt"));

        // Chmod denies nothing to the superuser, so a folder takes the file's place instead.
        QVERIFY(QFile::remove(host(QStringLiteral("now a folder.txt"))));
        QVERIFY(testing::make_folder(*dir_, QStringLiteral("now a folder.txt")));
        messages_.clear();
        QVERIFY(click_entry(w.lb_1, QStringLiteral("now a folder.txt")));
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_.at(0).contains(QStringLiteral("c:\\now a folder.txt"))
                && messages_.at(0).contains(QStringLiteral("directory")),
            qPrintable(messages_.at(0)));
        QCOMPARE(w.dw_1->table().rowcount(), 0L);

        // A folder that became a file cannot be entered: the user hears why and stays, and the
        // folder is listed again as it now is.
        QVERIFY(QDir(host(QStringLiteral("now a file"))).removeRecursively());
        QVERIFY(testing::make_file(*dir_, QStringLiteral("now a file"), "c\n"));
        messages_.clear();
        QVERIFY(click_entry(w.lb_1, QStringLiteral("[now a file]")));
        QCOMPARE(messages_,
            QStringList(QStringLiteral("Folder read error|Cannot open the folder c:\\now a file\\\nNot a directory.")));
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\"));
        QCOMPARE(entries(w.lb_1), QStringLiteral("[now a folder.txt]\nnow a file"));
    }

    void awkward_names_are_listed_selected_and_loaded()
    {
        const QStringList names = {
            QStringLiteral("-rf"),
            QStringLiteral("--help.txt"),
            QStringLiteral("two  spaces .txt"),
            QStringLiteral("it's \"quoted\".txt"),
            QStringLiteral("Zürich 東京 ✓.txt"),
            QStringLiteral("semi;colon & $HOME `x`.txt"),
        };
        QVERIFY(testing::make_folder(*dir_, QStringLiteral("odd dir")));
        for (const QString& name : names)
            QVERIFY(testing::make_file(*dir_, QStringLiteral("odd dir/") + name, (name + QLatin1Char('\n')).toUtf8()));
        window win;
        w_diff& w = win.w;
        QTest::mouseClick(w.cbx_1, Qt::LeftButton);
        QVERIFY(click_entry(w.lb_1, QStringLiteral("[odd dir]")));
        for (const QString& name : names) {
            messages_.clear();
            QVERIFY2(click_entry(w.lb_1, name), qPrintable(name));
            QCOMPARE(w.is_file, QStringLiteral("c:\\odd dir\\") + name);
            QCOMPARE(w.st_1->text(), w.is_file);
            QCOMPARE(rows_of(w.dw_1->table()), QStringList {name});
            QCOMPARE(messages_, QStringList());
        }
    }

    void a_folder_of_100000_entries()
    {
        const int count = 100000;
        QVERIFY(testing::make_folder(*dir_, QStringLiteral("many")));
        const QByteArray folder = host(QStringLiteral("many/")).toLocal8Bit();
        for (int i = 0; i < count; ++i) {
            const QByteArray name = folder + "f" + QByteArray::number(i) + ".txt";
            const int fd = ::open(name.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
        QVERIFY(testing::make_file(*dir_, QStringLiteral("many/f99999.txt"), "last\nfirst\n"));

        window win;
        w_diff& w = win.w;
        QTest::mouseClick(w.cbx_1, Qt::LeftButton);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(click_entry(w.lb_1, QStringLiteral("[many]")));
        const qint64 listed = clock.elapsed();
        QCOMPARE(w.lb_1->count(), count + 1);
        // Names in natural order: f2 before f10.
        QCOMPARE(w.lb_1->text(2), QStringLiteral("f0.txt"));
        QCOMPARE(w.lb_1->text(4), QStringLiteral("f2.txt"));
        QCOMPARE(w.lb_1->text(count + 1), QStringLiteral("f99999.txt"));
        QVERIFY(click_entry(w.lb_1, QStringLiteral("f99999.txt")));
        QCOMPARE(rows_of(w.dw_1->table()), (QStringList {QStringLiteral("first"), QStringLiteral("last")}));
        qInfo("listing %d entries took %lld ms", count, listed);
    }

    void symbolic_link_loops()
    {
        QVERIFY(testing::make_folder(*dir_, QStringLiteral("loop")));
        QVERIFY(testing::make_file(*dir_, QStringLiteral("loop/in.txt"), "inside\n"));
        QVERIFY(::symlink(".", host(QStringLiteral("loop/self")).toLocal8Bit().constData()) == 0);
        QVERIFY(::symlink("..", host(QStringLiteral("loop/up")).toLocal8Bit().constData()) == 0);
        QVERIFY(::symlink("pong", host(QStringLiteral("loop/ping")).toLocal8Bit().constData()) == 0);
        QVERIFY(::symlink("ping", host(QStringLiteral("loop/pong")).toLocal8Bit().constData()) == 0);

        window win;
        w_diff& w = win.w;
        QTest::mouseClick(w.cbx_1, Qt::LeftButton);
        QVERIFY(click_entry(w.lb_1, QStringLiteral("[loop]")));
        // The links that lead nowhere are left out; the ones that lead back in are folders.
        QCOMPARE(entries(w.lb_1), QStringLiteral("[..]\n[self]\n[up]\nin.txt"));

        // Deeper and deeper through the same folder, until the system may refuse to follow so
        // many links: then the links inside, and at last the folder itself, drop out of the list.
        int depth = 0;
        for (bool deeper = true; deeper && depth < 60; ++depth) {
            QVERIFY(click_entry(w.lb_1, QStringLiteral("[self]")));
            const QString listed = entries(w.lb_1);
            deeper = listed == QStringLiteral("[..]\n[self]\n[up]\nin.txt");
            QVERIFY2(deeper || listed == QStringLiteral("[..]\nin.txt") || listed == QStringLiteral("[..]"),
                qPrintable(w.st_path->text() + QLatin1Char('\n') + listed));
        }
        QVERIFY(w.st_path->text().startsWith(QStringLiteral("c:\\loop\\self\\self\\")));
        for (int i = 0; i < depth; ++i)
            QVERIFY(click_entry(w.lb_1, QStringLiteral("[..]")));
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\loop\\"));
        QVERIFY(click_entry(w.lb_1, QStringLiteral("[up]")));
        QVERIFY(click_entry(w.lb_1, QStringLiteral("[loop]")));
        QVERIFY(click_entry(w.lb_1, QStringLiteral("in.txt")));
        QCOMPARE(rows_of(w.dw_1->table()), QStringList {QStringLiteral("inside")});
        QCOMPARE(messages_, QStringList());
    }
};

QTEST_MAIN(hostile_input_test)
#include "hostile_input_test.moc"
