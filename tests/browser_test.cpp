// The browser of the compare window, used as the user uses it: the drive list, the folder list
// and its path label, and what a selected file sets and loads.

#include "compare/browser/browser_observer.h"
#include "compare/linetable/grid_pane.h"
#include "compare/w_diff.h"
#include "runtime/core/drive_model.h"
#include "runtime/dir_controls.h"
#include "runtime/message_box.h"
#include "support/browser_tree.h"
#include "support/unprivileged.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

using testing::click_entry;
using testing::entries;

namespace {

// The compare window, and the user's hand on its drive list.
struct window : testing::shown_window {
    // The user picks drive entry `row` (from 0) in the drive list, even the one shown.
    void choose_drive(int row) { emit w.ddlb_1->activated(row); }
};

} // namespace

class browser_test : public QObject {
    Q_OBJECT

    QTemporaryDir c_;
    QTemporaryDir d_;
    std::vector<std::pair<int, QString>> loads_;
    QStringList messages_;
    // For the whole run the drives are the test's folders, and the test sees the loads and the
    // boxes.
    const core::seam_override<std::vector<core::drive>> drives_ = core::drive_seam().replace(std::vector<core::drive> {
        {"c", c_.path().toStdString()},
        {"d", d_.path().toStdString()},
        {"e", c_.path().toStdString() + "/no_such_drive"},
    });
    const core::seam_override<browser::pane_load_observer> load_observer_
        = browser::pane_load_seam().replace([this](int pane, const QString& file) { loads_.emplace_back(pane, file); });
    const core::seam_override<rt::message_box_hook> box_
        = rt::message_box_seam().replace([this](const QString&, const QString& text) { messages_ << text; });

private slots:
    void initTestCase()
    {
        QVERIFY(c_.isValid() && d_.isValid());
        QVERIFY(testing::make_folder(c_, QStringLiteral("a/b")));
        QVERIFY(testing::make_folder(c_, QStringLiteral("b")));
        QVERIFY(testing::make_folder(c_, QStringLiteral(".config")));
        QVERIFY(testing::make_file(c_, QStringLiteral("a/b/deep.txt"), "deep\n"));
        QVERIFY(testing::make_file(c_, QStringLiteral("a/x.txt"), "alpha\nbeta\n"));
        QVERIFY(testing::make_file(c_, QStringLiteral("a/notes"), "no extension\n"));
        QVERIFY(testing::make_file(c_, QStringLiteral("a/report.final.v2.txt"), "dots\n"));
        QVERIFY(testing::make_file(c_, QStringLiteral("b/y.txt"), "y\n"));
        QVERIFY(testing::make_file(c_, QStringLiteral("c.txt"), "c\n"));
        QVERIFY(testing::make_file(c_, QStringLiteral(".hidden.txt"), "h\n"));
        // Named as they are, these would lead into a/ and a/b/, to entries that are not them.
        QVERIFY(testing::make_file(c_, QStringLiteral("a\\x.txt"), "impostor\n"));
        QVERIFY(testing::make_folder(c_, QStringLiteral("a\\b")));
        QVERIFY(testing::make_file(d_, QStringLiteral("d_only.txt"), "d\n"));
    }

    void init()
    {
        loads_.clear();
        messages_.clear();
    }

    void opens_on_the_root_of_drive_c()
    {
        window win;
        w_diff& w = win.w;
        QCOMPARE(w.ddlb_1->count(), 3);
        QCOMPARE(w.ddlb_1->text(1), QStringLiteral("[-c-]"));
        QCOMPARE(w.ddlb_1->text(2), QStringLiteral("[-d-]"));
        QCOMPARE(w.ddlb_1->currentText(), QStringLiteral("[-c-]"));
        QCOMPARE(w.is_drive, QStringLiteral("c"));
        QCOMPARE(w.is_path, QStringLiteral("c:\\"));
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\"));
        QVERIFY(w.is_file.isEmpty());
        // No parent entry at a root; no hidden entry; nothing that would lead somewhere else.
        QCOMPARE(entries(w.lb_1), QStringLiteral("[a]\n[b]\nc.txt"));
    }

    void folders_open_with_a_click_and_the_parent_entry_goes_back()
    {
        window win;
        w_diff& w = win.w;
        QVERIFY(click_entry(w.lb_1, QStringLiteral("[a]")));
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\a\\"));
        QVERIFY(click_entry(w.lb_1, QStringLiteral("[b]")));
        QCOMPARE(w.is_path, QStringLiteral("c:\\a\\b\\"));
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\a\\b\\"));
        QCOMPARE(entries(w.lb_1), QStringLiteral("[..]\ndeep.txt"));

        QVERIFY(click_entry(w.lb_1, QStringLiteral("[..]")));
        QCOMPARE(w.is_path, QStringLiteral("c:\\a\\"));
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\a\\"));
        QCOMPARE(entries(w.lb_1), QStringLiteral("[..]\n[b]\nnotes\nreport.final.v2.txt\nx.txt"));
        QVERIFY(click_entry(w.lb_1, QStringLiteral("[b]")));
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\a\\b\\"));
        QCOMPARE(entries(w.lb_1), QStringLiteral("[..]\ndeep.txt"));

        QVERIFY(click_entry(w.lb_1, QStringLiteral("[..]")));
        QVERIFY(click_entry(w.lb_1, QStringLiteral("[..]")));
        QCOMPARE(w.is_path, QStringLiteral("c:\\"));
        QCOMPARE(entries(w.lb_1), QStringLiteral("[a]\n[b]\nc.txt"));
        QVERIFY(w.is_file.isEmpty());
    }

    void arrow_keys_select_and_enter_at_once()
    {
        window win;
        w_diff& w = win.w;
        w.lb_1->setFocus();
        // The cursor rests on the first entry: the first arrow moves on to the second.
        QTest::keyClick(w.lb_1, Qt::Key_Down);
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\b\\"));
        QCOMPARE(entries(w.lb_1), QStringLiteral("[..]\ny.txt"));
        QTest::keyClick(w.lb_1, Qt::Key_Down);
        QCOMPARE(w.is_file, QStringLiteral("c:\\b\\y.txt"));
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\b\\"));
        QTest::keyClick(w.lb_1, Qt::Key_Up);
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\"));

        // Space chooses the entry under the cursor.
        QTest::keyClick(w.lb_1, Qt::Key_Space);
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\a\\"));
        QCOMPARE(entries(w.lb_1), QStringLiteral("[..]\n[b]\nnotes\nreport.final.v2.txt\nx.txt"));
        QTest::keyClick(w.lb_1, Qt::Key_End);
        QCOMPARE(w.is_file, QStringLiteral("c:\\a\\x.txt"));
        QTest::keyClick(w.lb_1, Qt::Key_Up);
        QCOMPARE(w.is_file, QStringLiteral("c:\\a\\report.final.v2.txt"));
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\a\\"));
        QTest::keyClick(w.lb_1, Qt::Key_Home);
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\"));
        QCOMPARE(entries(w.lb_1), QStringLiteral("[a]\n[b]\nc.txt"));
    }

    void typing_and_ctrl_arrows_move_the_cursor_alone()
    {
        window win;
        w_diff& w = win.w;
        w.lb_1->setFocus();
        // A name is found as it is typed, a folder's without its brackets; nothing is chosen
        // until Return or Space.
        // Shift, held to type a capital, does not end the search.
        QTest::keyClick(w.lb_1, 'c');
        QTest::keyClick(w.lb_1, Qt::Key_Shift);
        QTest::keyClick(w.lb_1, '.');
        QCOMPARE(w.lb_1->currentItem()->text(), QStringLiteral("c.txt"));
        QVERIFY(w.is_file.isEmpty());
        QTest::keyClick(w.lb_1, Qt::Key_Escape);
        QTest::keyClick(w.lb_1, Qt::Key_A);
        QCOMPARE(w.lb_1->currentItem()->text(), QStringLiteral("[a]"));
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\"));
        QTest::keyClick(w.lb_1, Qt::Key_Return);
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\a\\"));
        QTest::keyClick(w.lb_1, Qt::Key_Down, Qt::ControlModifier);
        QTest::keyClick(w.lb_1, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\a\\"));
        QVERIFY(w.is_file.isEmpty());
        QTest::keyClick(w.lb_1, Qt::Key_Space);
        QCOMPARE(w.is_file, QStringLiteral("c:\\a\\notes"));
    }

    void a_double_click_enters_one_folder_only()
    {
        window win;
        w_diff& w = win.w;
        const QPoint at = testing::entry_point(w.lb_1, QStringLiteral("[a]"));
        // What the platform sends for a double click: press, release, double click, release.
        QTest::mousePress(w.lb_1->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseRelease(w.lb_1->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(w.lb_1->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseRelease(w.lb_1->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        // Under the pointer now lies c:\a\'s parent entry: it must not take the user back.
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\a\\"));
        QCOMPARE(w.lb_1->text(1), QStringLiteral("[..]"));

        // A double click that enters nothing still selects as a press does.
        QTest::mouseDClick(
            w.lb_1->viewport(), Qt::LeftButton, Qt::NoModifier, testing::entry_point(w.lb_1, QStringLiteral("x.txt")));
        QCOMPARE(w.is_file, QStringLiteral("c:\\a\\x.txt"));
    }

    void a_drive_choice_lists_its_root()
    {
        window win;
        w_diff& w = win.w;
        QVERIFY(click_entry(w.lb_1, QStringLiteral("[a]")));
        QVERIFY(click_entry(w.lb_1, QStringLiteral("[b]")));
        QVERIFY(click_entry(w.lb_1, QStringLiteral("deep.txt")));

        w.ddlb_1->setFocus();
        QTest::keyClick(w.ddlb_1, Qt::Key_Down);
        QCOMPARE(w.is_drive, QStringLiteral("d"));
        QCOMPARE(w.st_path->text(), QStringLiteral("d:\\"));
        QCOMPARE(entries(w.lb_1), QStringLiteral("d_only.txt"));
        QTest::keyClick(w.ddlb_1, Qt::Key_Up);
        QCOMPARE(w.is_drive, QStringLiteral("c"));
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\"));
        QCOMPARE(entries(w.lb_1), QStringLiteral("[a]\n[b]\nc.txt"));
        // A file selected on one drive stays the file to load.
        QCOMPARE(w.is_file, QStringLiteral("c:\\a\\b\\deep.txt"));

        // A drive that cannot be listed still shows its root; the user can choose again.
        win.choose_drive(2);
        QCOMPARE(w.st_path->text(), QStringLiteral("e:\\"));
        QCOMPARE(w.lb_1->count(), 0);
        win.choose_drive(0);
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\"));
        QCOMPARE(entries(w.lb_1), QStringLiteral("[a]\n[b]\nc.txt"));
    }

    void selecting_and_refilling_by_program_raise_no_event()
    {
        window win;
        w_diff& w = win.w;
        QSignalSpy list_spy(w.lb_1, &rt::listbox::selectionchanged);
        QSignalSpy drive_spy(w.ddlb_1, &rt::dropdownlistbox::selectionchanged);
        QCOMPARE(w.lb_1->selectitem(QStringLiteral("[b]"), 0), 2);
        QCOMPARE(w.lb_1->selectitem(QStringLiteral("[a]"), 1), 0);
        QCOMPARE(w.lb_1->selectitem(QStringLiteral("c.txt"), 1), 3);
        QCOMPARE(w.lb_1->currentItem()->text(), QStringLiteral("c.txt"));
        QCOMPARE(w.ddlb_1->selectitem(QStringLiteral("[-d-]"), 0), 2);
        QVERIFY(w.lb_1->dirlist(QStringLiteral("a\\*.*"), 48));
        QCOMPARE(w.lb_1->current_directory(), QStringLiteral("c:\\a\\"));
        QCOMPARE(list_spy.count(), 0);
        QCOMPARE(drive_spy.count(), 0);
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\"));
        QVERIFY(w.is_file.isEmpty());
    }

    void with_no_box_checked_a_file_only_sets_is_file()
    {
        window win;
        w_diff& w = win.w;
        QVERIFY(click_entry(w.lb_1, QStringLiteral("[a]")));
        const QString listed = entries(w.lb_1);
        QVERIFY(click_entry(w.lb_1, QStringLiteral("notes")));
        QCOMPARE(w.is_file, QStringLiteral("c:\\a\\notes"));
        QCOMPARE(w.is_path, QStringLiteral("c:\\a\\"));
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\a\\"));
        QCOMPARE(entries(w.lb_1), listed);
        QCOMPARE(w.lb_1->dragicon(), QStringLiteral("dragrow.ico"));
        QVERIFY(loads_.empty());
        QCOMPARE(w.st_1->text(), QStringLiteral("Source 1"));
        QCOMPARE(w.st_2->text(), QStringLiteral("Source 2"));

        // The path form leads back to the very file that was shown.
        std::string host;
        QVERIFY(core::host_path_of(w.is_file.toStdString(), host));
        QCOMPARE(QString::fromStdString(host), c_.path() + QStringLiteral("/a/notes"));
    }

    void with_box_2_checked_each_file_loads_into_pane_2()
    {
        window win;
        w_diff& w = win.w;
        QTest::mouseClick(w.cbx_2, Qt::LeftButton);
        QVERIFY(w.cbx_2->isChecked() && !w.cbx_1->isChecked());
        QVERIFY(click_entry(w.lb_1, QStringLiteral("[a]")));
        QVERIFY(loads_.empty());
        for (const QString& name :
            {QStringLiteral("x.txt"), QStringLiteral("notes"), QStringLiteral("report.final.v2.txt")}) {
            QVERIFY(click_entry(w.lb_1, name));
            const QString full = QStringLiteral("c:\\a\\") + name;
            QCOMPARE(w.is_file, full);
            QCOMPARE(loads_.back(), std::make_pair(2, full));
            QCOMPARE(w.st_2->text(), full);
        }
        QCOMPARE(loads_.size(), std::size_t(3));
        QCOMPARE(w.dw_2->table().rowcount(), 1L);
        QCOMPARE(w.st_1->text(), QStringLiteral("Source 1"));
        QCOMPARE(w.dw_1->table().rowcount(), 0L);
        QVERIFY(messages_.isEmpty());

        // Box 1 takes over, and the file selected next goes to pane 1.
        QTest::mouseClick(w.cbx_1, Qt::LeftButton);
        QVERIFY(click_entry(w.lb_1, QStringLiteral("x.txt")));
        QCOMPARE(loads_.back(), std::make_pair(1, QStringLiteral("c:\\a\\x.txt")));
        QCOMPARE(w.st_1->text(), QStringLiteral("c:\\a\\x.txt"));
        QCOMPARE(w.dw_1->table().rowcount(), 2L);
    }

    void the_selected_file_can_be_chosen_again()
    {
        QVERIFY(testing::make_folder(c_, QStringLiteral("again")));
        QVERIFY(testing::make_file(c_, QStringLiteral("again/list.txt"), "one\n"));
        const auto gone = qScopeGuard([this] { QDir(c_.path() + QStringLiteral("/again")).removeRecursively(); });
        window win;
        w_diff& w = win.w;
        QTest::mouseClick(w.cbx_1, Qt::LeftButton);
        QVERIFY(click_entry(w.lb_1, QStringLiteral("[again]")));
        QVERIFY(click_entry(w.lb_1, QStringLiteral("list.txt")));
        // The same entry, clicked again with the other box checked, goes to the other pane.
        QTest::mouseClick(w.cbx_2, Qt::LeftButton);
        QVERIFY(click_entry(w.lb_1, QStringLiteral("list.txt")));
        QCOMPARE(w.dw_2->table().rowcount(), 1L);
        // Space and Return read it again as it now is; a held key reads it once.
        QVERIFY(testing::make_file(c_, QStringLiteral("again/list.txt"), "one\ntwo\n"));
        w.lb_1->setFocus();
        QTest::keyClick(w.lb_1, Qt::Key_Space);
        QCOMPARE(w.dw_2->table().rowcount(), 2L);
        QTest::keyClick(w.lb_1, Qt::Key_Return);
        QTest::keyClick(w.lb_1, Qt::Key_Enter, Qt::KeypadModifier);
        QKeyEvent held(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "), true);
        QApplication::sendEvent(w.lb_1, &held);
        // Ctrl with a click takes the selection away and chooses nothing.
        QTest::mouseClick(w.lb_1->viewport(), Qt::LeftButton, Qt::ControlModifier,
            testing::entry_point(w.lb_1, QStringLiteral("list.txt")));
        const QString file = QStringLiteral("c:\\again\\list.txt");
        QCOMPARE(
            loads_, (std::vector<std::pair<int, QString>> {{1, file}, {2, file}, {2, file}, {2, file}, {2, file}}));
        QCOMPARE(w.st_1->text(), file);
        QCOMPARE(w.st_2->text(), file);
    }

    void is_file_survives_browsing()
    {
        window win;
        w_diff& w = win.w;
        QVERIFY(click_entry(w.lb_1, QStringLiteral("[a]")));
        QVERIFY(click_entry(w.lb_1, QStringLiteral("x.txt")));
        QVERIFY(click_entry(w.lb_1, QStringLiteral("[..]")));
        QVERIFY(click_entry(w.lb_1, QStringLiteral("[b]")));
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\b\\"));
        QCOMPARE(w.is_file, QStringLiteral("c:\\a\\x.txt"));
        w.dw_2_dragdrop(w.lb_1);
        QCOMPARE(w.st_2->text(), QStringLiteral("c:\\a\\x.txt"));
    }

    void a_folder_that_cannot_be_listed()
    {
        QVERIFY(testing::make_folder(c_, QStringLiteral("gone/inner")));
        window win;
        w_diff& w = win.w;
        QCOMPARE(entries(w.lb_1), QStringLiteral("[a]\n[b]\n[gone]\nc.txt"));
        // Deleted while shown: the user hears why and stays where they were, which lists anew.
        QVERIFY(QDir(c_.path() + QStringLiteral("/gone")).removeRecursively());
        QVERIFY(click_entry(w.lb_1, QStringLiteral("[gone]")));
        QCOMPARE(
            messages_, QStringList(QStringLiteral("Cannot open the folder c:\\gone\\\nNo such file or directory.")));
        QCOMPARE(w.is_path, QStringLiteral("c:\\"));
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\"));
        QCOMPARE(w.lb_1->current_directory(), QStringLiteral("c:\\"));
        QCOMPARE(entries(w.lb_1), QStringLiteral("[a]\n[b]\nc.txt"));

        // A folder the user may not read, by mouse and then by keyboard. Root reads every
        // folder, so the test reads as an unprivileged user.
        QVERIFY(testing::make_folder(c_, QStringLiteral("a/locked")));
        QVERIFY(testing::make_file(c_, QStringLiteral("a/locked/secret.txt"), "s\n"));
        const QString locked = c_.path() + QStringLiteral("/a/locked");
        QVERIFY(QFile::setPermissions(locked, QFileDevice::Permissions()));
        {
            const testing::unprivileged user(c_.path().toStdString());
            QVERIFY2(user.ok(), "no unprivileged user to browse as");
            QVERIFY(click_entry(w.lb_1, QStringLiteral("[a]")));
            const QString listed = entries(w.lb_1);
            messages_.clear();
            QVERIFY(click_entry(w.lb_1, QStringLiteral("[locked]")));
            const QString refused = QStringLiteral("Cannot open the folder c:\\a\\locked\\\nPermission denied.");
            QCOMPARE(messages_, QStringList(refused));
            QCOMPARE(w.is_path, QStringLiteral("c:\\a\\"));
            QCOMPARE(w.st_path->text(), QStringLiteral("c:\\a\\"));
            QCOMPARE(entries(w.lb_1), listed);
            // The cursor stays on the entry chosen, so the keyboard goes on from there.
            QCOMPARE(w.lb_1->currentItem()->text(), QStringLiteral("[locked]"));
            QVERIFY(w.lb_1->selectedItems().isEmpty());
            w.lb_1->setFocus();
            QTest::keyClick(w.lb_1, Qt::Key_Return);
            QCOMPARE(messages_, QStringList({refused, refused}));
            QCOMPARE(w.st_path->text(), QStringLiteral("c:\\a\\"));
            QTest::keyClick(w.lb_1, Qt::Key_Down);
            QCOMPARE(w.is_file, QStringLiteral("c:\\a\\notes"));
        }
        QVERIFY(
            QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        QVERIFY(QDir(locked).removeRecursively());
    }

    // Names that are not UTF-8 (here Latin-1, as an old program wrote them) are listed with
    // U+FFFD and the byte's hex digits, and lead to their very files.
    void names_that_are_not_utf8()
    {
        const std::string root = c_.path().toStdString();
        const std::string folder = root + "/caf\xE9", file = root + "/r\xE9sum\xE9.txt";
        QVERIFY(::mkdir(folder.c_str(), 0700) == 0);
        QVERIFY(testing::make_file_bytes(file, "first\nsecond\n"));
        QVERIFY(testing::make_file_bytes(folder + "/inside.txt", "inside\n"));
        const QString r = QStringLiteral("\uFFFD");
        {
            window win;
            w_diff& w = win.w;
            const QString resume = QStringLiteral("r") + r + QStringLiteral("E9sum") + r + QStringLiteral("E9.txt");
            QCOMPARE(entries(w.lb_1), QStringLiteral("[a]\n[b]\n[caf") + r + QStringLiteral("E9]\nc.txt\n") + resume);
            QTest::mouseClick(w.cbx_1, Qt::LeftButton);
            QVERIFY(click_entry(w.lb_1, resume));
            QCOMPARE(w.st_1->text(), QStringLiteral("c:\\") + resume);
            QCOMPARE(w.dw_1->table().rowcount(), 2L);
            QVERIFY(messages_.isEmpty());

            QVERIFY(click_entry(w.lb_1, QStringLiteral("[caf") + r + QStringLiteral("E9]")));
            QCOMPARE(w.st_path->text(), QStringLiteral("c:\\caf") + r + QStringLiteral("E9\\"));
            QCOMPARE(entries(w.lb_1), QStringLiteral("[..]\ninside.txt"));
            // Dropped on a pane, the last file chosen loads by its bytes too.
            w.dw_2_dragdrop(w.lb_1);
            QCOMPARE(w.st_2->text(), QStringLiteral("c:\\") + resume);
            QCOMPARE(w.dw_2->table().rowcount(), 2L);
        }
        // Qt cannot remove these names when the folder goes.
        ::unlink((folder + "/inside.txt").c_str());
        ::rmdir(folder.c_str());
        ::unlink(file.c_str());
    }
};

QTEST_MAIN(browser_test)
#include "browser_test.moc"
