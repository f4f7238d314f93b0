// The drag of the folder list: the mouse events it raises, when a drag begins, and what the
// drag carries and shows.

#include "compare/linetable/grid_pane.h"
#include "compare/w_diff.h"
#include "runtime/core/drive_model.h"
#include "runtime/dir_controls.h"
#include "support/browser_tree.h"

#include <QApplication>
#include <QCheckBox>
#include <QDrag>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

namespace {

struct drag_seen {
    QObject* source = nullptr;
    QStringList formats;
    QSize picture;
    bool button_flag_during_drag = true;
};

} // namespace

using testing::send_mouse;

class drag_test : public QObject {
    Q_OBJECT

    QTemporaryDir c_;
    QList<drag_seen> drags_;
    w_diff* window_ = nullptr;
    int drop_on_ = 0; // the source pane a drag ends on, 0 for none
    // For the whole run drive c is the test's folder, and the test runs the drags: it notes
    // what each carries and drops it where drop_on_ says.
    const core::seam_override<std::vector<core::drive>> drives_
        = core::drive_seam().replace(std::vector<core::drive> {{"c", c_.path().toStdString()}});
    const core::seam_override<rt::listbox::drag_starter> drags_run_
        = rt::listbox::drag_seam().replace([this](QDrag& drag) {
              drag_seen seen;
              seen.source = drag.source();
              seen.formats = drag.mimeData()->formats();
              seen.picture = drag.pixmap().size();
              seen.button_flag_during_drag = window_->ib_lbuttondown;
              drags_ << seen;
              if (drop_on_ == 1)
                  window_->dw_1_dragdrop(drag.source());
              else if (drop_on_ == 2)
                  window_->dw_2_dragdrop(drag.source());
              return drop_on_ ? Qt::CopyAction : Qt::IgnoreAction;
          });

    w_diff& open_window()
    {
        delete window_;
        window_ = new w_diff;
        window_->constructors();
        window_->show();
        [&] { QVERIFY(QTest::qWaitForWindowExposed(window_)); }();
        return *window_;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(c_.isValid());
        QVERIFY(testing::make_folder(c_, QStringLiteral("src/deeper")));
        QVERIFY(testing::make_file(c_, QStringLiteral("src/one.txt"), "one\n"));
        QVERIFY(testing::make_file(c_, QStringLiteral("src/two.txt"), "two\n"));
    }

    void cleanupTestCase() { delete window_; }

    void init()
    {
        drags_.clear();
        drop_on_ = 0;
    }

    void the_button_events_follow_the_mouse()
    {
        w_diff& w = open_window();
        QSignalSpy down(w.lb_1, &rt::listbox::ue_lbuttondown);
        QSignalSpy up(w.lb_1, &rt::listbox::ue_lbuttonup);
        QSignalSpy moved(w.lb_1, &rt::listbox::ue_mousemove);
        const QPoint at = testing::entry_point(w.lb_1, QStringLiteral("[src]"));

        send_mouse(w.lb_1, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
        QCOMPARE(moved.count(), 1);
        QCOMPARE(moved.at(0).at(0).toUInt(), 0u);
        QVERIFY(!w.ib_lbuttondown);

        send_mouse(w.lb_1, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(down.count(), 1);
        QCOMPARE(down.at(0).at(0).toUInt(), unsigned(rt::mk_lbutton));
        QCOMPARE(down.at(0).at(1).toInt(), at.x());
        QCOMPARE(down.at(0).at(2).toInt(), at.y());
        QVERIFY(w.ib_lbuttondown);
        // The press chose the entry, as a click does.
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\src\\"));

        send_mouse(w.lb_1, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(up.count(), 1);
        QVERIFY(!w.ib_lbuttondown);

        // Other buttons leave the left button's state alone.
        send_mouse(w.lb_1, QEvent::MouseButtonPress, at, Qt::RightButton, Qt::RightButton);
        send_mouse(w.lb_1, QEvent::MouseButtonRelease, at, Qt::RightButton, Qt::NoButton);
        QCOMPARE(down.count(), 1);
        QCOMPARE(up.count(), 1);
        QVERIFY(drags_.isEmpty());
    }

    void pressing_a_file_and_moving_past_the_drag_distance_drags_the_list()
    {
        w_diff& w = open_window();
        QVERIFY(testing::click_entry(w.lb_1, QStringLiteral("[src]")));
        const QPoint at = testing::entry_point(w.lb_1, QStringLiteral("two.txt"));
        const int distance = QApplication::startDragDistance();

        send_mouse(w.lb_1, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(w.is_file, QStringLiteral("c:\\src\\two.txt"));
        send_mouse(w.lb_1, QEvent::MouseMove, at + QPoint(distance - 1, 0), Qt::NoButton, Qt::LeftButton);
        QVERIFY(drags_.isEmpty());
        // Short of the distance nothing begins, and the pressed entry stays selected.
        QCOMPARE(w.lb_1->currentItem()->text(), QStringLiteral("two.txt"));

        send_mouse(w.lb_1, QEvent::MouseMove, at + QPoint(0, -distance - 2), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(drags_.size(), 1);
        const drag_seen& seen = drags_.first();
        QCOMPARE(seen.source, static_cast<QObject*>(w.lb_1));
        QCOMPARE(seen.formats, QStringList {rt::listbox::drag_mime_type()});
        QCOMPARE(seen.picture, QSize(32, 32));
        QVERIFY(!seen.button_flag_during_drag);
        QCOMPARE(w.lb_1->currentItem()->text(), QStringLiteral("two.txt"));
        QCOMPARE(w.is_file, QStringLiteral("c:\\src\\two.txt"));

        // One press, one drag: further moves before a new press begin nothing.
        send_mouse(w.lb_1, QEvent::MouseMove, at + QPoint(0, 3 * distance), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(drags_.size(), 1);
    }

    void a_drag_loads_only_the_pane_it_is_dropped_on()
    {
        w_diff& w = open_window();
        QVERIFY(testing::click_entry(w.lb_1, QStringLiteral("[src]")));
        QTest::mouseClick(w.cbx_1, Qt::LeftButton);
        // A click loads into the checked pane at once.
        QVERIFY(testing::click_entry(w.lb_1, QStringLiteral("one.txt")));
        QCOMPARE(w.st_1->text(), QStringLiteral("c:\\src\\one.txt"));
        auto drag = [&](const QString& entry) {
            const QPoint at = testing::entry_point(w.lb_1, entry);
            send_mouse(w.lb_1, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
            send_mouse(w.lb_1, QEvent::MouseMove, at + QPoint(40, 0), Qt::NoButton, Qt::LeftButton);
        };
        // Dropped nowhere: nothing loads, the checked pane included.
        drag(QStringLiteral("two.txt"));
        QCOMPARE(w.st_1->text(), QStringLiteral("c:\\src\\one.txt"));
        QCOMPARE(w.st_2->text(), QStringLiteral("Source 2"));
        // Dropped on Source 2: there and nowhere else.
        drop_on_ = 2;
        QVERIFY(testing::click_entry(w.lb_1, QStringLiteral("one.txt")));
        drag(QStringLiteral("two.txt"));
        QCOMPARE(drags_.size(), 2);
        QCOMPARE(w.st_1->text(), QStringLiteral("c:\\src\\one.txt"));
        QCOMPARE(w.dw_1->table().get(core::column::es_text, 1), std::string_view("one"));
        QCOMPARE(w.st_2->text(), QStringLiteral("c:\\src\\two.txt"));
        QCOMPARE(w.dw_2->table().get(core::column::es_text, 1), std::string_view("two"));
    }

    void a_directory_entry_drags_too_and_keeps_the_last_file()
    {
        w_diff& w = open_window();
        QVERIFY(testing::click_entry(w.lb_1, QStringLiteral("[src]")));
        QVERIFY(testing::click_entry(w.lb_1, QStringLiteral("one.txt")));
        const QPoint at = testing::entry_point(w.lb_1, QStringLiteral("[deeper]"));
        send_mouse(w.lb_1, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\src\\deeper\\"));
        send_mouse(w.lb_1, QEvent::MouseMove, at + QPoint(40, 0), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(drags_.size(), 1);
        QCOMPARE(w.is_file, QStringLiteral("c:\\src\\one.txt"));
    }

    void no_drag_without_a_held_press_on_an_entry()
    {
        w_diff& w = open_window();
        const QPoint entry = testing::entry_point(w.lb_1, QStringLiteral("[src]"));
        const QPoint far = entry + QPoint(40, 0);

        // Moving with no button held.
        send_mouse(w.lb_1, QEvent::MouseMove, far, Qt::NoButton, Qt::NoButton);
        // Pressed, released, then moved.
        send_mouse(w.lb_1, QEvent::MouseButtonPress, QPoint(entry.x(), w.lb_1->viewport()->height() - 2),
            Qt::LeftButton, Qt::LeftButton);
        send_mouse(w.lb_1, QEvent::MouseMove, QPoint(far.x(), 2), Qt::NoButton, Qt::LeftButton);
        send_mouse(w.lb_1, QEvent::MouseButtonRelease, far, Qt::LeftButton, Qt::NoButton);
        send_mouse(w.lb_1, QEvent::MouseMove, far + QPoint(0, 40), Qt::NoButton, Qt::LeftButton);
        QVERIFY(drags_.isEmpty());
        // The press below the last entry selected nothing.
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\"));
        QVERIFY(w.is_file.isEmpty());
    }

    void the_picture_comes_with_the_first_selection()
    {
        w_diff& w = open_window();
        QVERIFY(w.lb_1->dragicon().isEmpty());
        const QPoint at = testing::entry_point(w.lb_1, QStringLiteral("[src]"));
        send_mouse(w.lb_1, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(w.lb_1->dragicon(), QStringLiteral("dragrow.ico"));

        // A picture that is not shipped leaves the drag without one, not without the drag.
        w.lb_1->set_dragicon(QStringLiteral("no_such_picture.ico"));
        send_mouse(w.lb_1, QEvent::MouseMove, at + QPoint(40, 0), Qt::NoButton, Qt::LeftButton);
        QCOMPARE(drags_.size(), 1);
        QCOMPARE(drags_.first().source, static_cast<QObject*>(w.lb_1));
        QVERIFY(drags_.first().picture.isEmpty());
    }
};

QTEST_MAIN(drag_test)
#include "drag_test.moc"
