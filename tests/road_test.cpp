// The whole road through the widgets alone: browse to a folder, send files to the panes with
// the check boxes or by dragging them there, press Compare, and read the three result lists.

#include "app/linara.h"
#include "compare/linetable/grid_pane.h"
#include "compare/w_diff.h"
#include "frame/w_frame.h"
#include "printopt/w_print_option.h"
#include "runtime/core/drive_model.h"
#include "runtime/dir_controls.h"
#include "runtime/message_box.h"
#include "runtime/pointer.h"
#include "runtime/print_job.h"
#include "runtime/window_refs.h"
#include "support/browser_tree.h"
#include "support/modal.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDrag>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>

namespace {

QStringList column_of(const rt::grid_pane* pane, core::column c)
{
    QStringList out;
    const core::line_table& t = pane->table();
    for (long row = 1; row <= t.rowcount(); ++row) {
        const std::string_view text = t.get(c, row);
        out << QString::fromUtf8(text.data(), static_cast<int>(text.size()));
    }
    return out;
}

QStringList rows(std::initializer_list<const char*> items)
{
    QStringList out;
    for (const char* item : items)
        out << QString::fromUtf8(item);
    return out;
}

QStringList texts(const rt::grid_pane* pane)
{
    return column_of(pane, core::column::es_text);
}

} // namespace

class road_test : public QObject {
    Q_OBJECT

    QTemporaryDir c_;
    QString lists_; // the folder's path form
    rt::grid_pane* drop_target_ = nullptr;
    // For the whole run drive c is the test's folder, and the test stands in for the platform's
    // drag loop, delivering the drop where it points: a pane emits dragdrop for drags from the
    // list, as the grid's own tests show.
    const core::seam_override<std::vector<core::drive>> drives_
        = core::drive_seam().replace(std::vector<core::drive> {{"c", c_.path().toStdString()}});
    const core::seam_override<rt::listbox::drag_starter> drags_run_
        = rt::listbox::drag_seam().replace([this](QDrag& drag) {
              if (drop_target_ && drag.mimeData()->hasFormat(rt::listbox::drag_mime_type()))
                  emit drop_target_->dragdrop(drag.source());
              return Qt::CopyAction;
          });

    w_diff& window() { return *rt::windows().w_diff; }

    // Drags the entry `text` of the folder list onto `pane` with the mouse.
    void drag_entry_to(const QString& text, rt::grid_pane* pane)
    {
        w_diff& w = window();
        const QPoint from = testing::entry_point(w.lb_1, text);
        QVERIFY2(!from.isNull(), qPrintable(text));
        drop_target_ = pane;
        testing::send_mouse(w.lb_1, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        testing::send_mouse(w.lb_1, QEvent::MouseMove, from + QPoint(QApplication::startDragDistance() + 5, 0),
            Qt::NoButton, Qt::LeftButton);
        testing::send_mouse(w.lb_1, QEvent::MouseButtonRelease, from, Qt::LeftButton, Qt::NoButton);
        drop_target_ = nullptr;
    }

    void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(4, 4)); }

private slots:
    void initTestCase()
    {
        QVERIFY(c_.isValid());
        QVERIFY(testing::make_folder(c_, QStringLiteral("lists/sub")));
        QVERIFY(testing::make_file(c_, QStringLiteral("lists/one.txt"), "apple\nbanana\nbanana\ncherry\n"));
        QVERIFY(testing::make_file(c_, QStringLiteral("lists/two.txt"), "banana\r\ndate\r\napple\r\ndate\r\n"));
        QByteArray many;
        for (int i = 1; i <= 200; ++i)
            many += "line " + QByteArray::number(i) + '\n';
        QVERIFY(testing::make_file(c_, QStringLiteral("lists/many.txt"), many));
        QVERIFY(testing::make_file(c_, QStringLiteral("lists/some.txt"), many.left(many.indexOf("line 41"))));
        lists_ = QStringLiteral("c:\\lists\\");
    }

    // Each case starts the program afresh and browses to c:\lists\.
    void init()
    {
        testing::press_return_in_modal();
        linara app;
        app.open(QString());
        QVERIFY(rt::windows().w_diff);
        QCOMPARE(window().st_path->text(), QStringLiteral("c:\\"));
        QVERIFY(testing::click_entry(window().lb_1, QStringLiteral("[lists]")));
        QCOMPARE(window().st_path->text(), lists_);
    }

    void cleanup()
    {
        if (rt::windows().w_frame)
            rt::windows().w_frame->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void check_boxes_then_compare()
    {
        w_diff& w = window();
        click(w.cbx_1);
        QVERIFY(w.cbx_1->isChecked() && !w.cbx_2->isChecked());
        QVERIFY(testing::click_entry(w.lb_1, QStringLiteral("one.txt")));
        QCOMPARE(w.st_1->text(), lists_ + QStringLiteral("one.txt"));
        QCOMPARE(texts(w.dw_1), rows({"apple", "banana", "banana", "cherry"}));

        click(w.cbx_2);
        QVERIFY(!w.cbx_1->isChecked() && w.cbx_2->isChecked());
        QVERIFY(testing::click_entry(w.lb_1, QStringLiteral("two.txt")));
        QCOMPARE(w.st_2->text(), lists_ + QStringLiteral("two.txt"));
        QCOMPARE(texts(w.dw_2), rows({"apple", "banana", "date", "date"}));
        QCOMPARE(w.dw_1->table().rowcount(), 4L);

        click(w.cb_compare);
        QCOMPARE(texts(w.dw_same), rows({"apple", "banana", "banana"}));
        QCOMPARE(texts(w.dw_diff), rows({"cherry", "date", "date"}));
        const QString one = lists_ + QStringLiteral("one.txt"), two = lists_ + QStringLiteral("two.txt");
        QCOMPARE(column_of(w.dw_diff, core::column::es_text2), (QStringList {one, two, two}));
        QCOMPARE(texts(w.dw_sum),
            rows({"Similarity", "apple", "banana", "banana", "", "Difference", "cherry", "date", "date"}));
        QCOMPARE(w.dw_same->count_label()->text(), QStringLiteral("3"));
        QCOMPARE(w.dw_diff->count_label()->text(), QStringLiteral("3"));
        QCOMPARE(rt::windows().w_frame->microhelp(), QStringLiteral("Ready"));
        QVERIFY(!rt::pointer_is_busy());
    }

    void with_no_box_checked_a_drop_loads_the_selected_file()
    {
        w_diff& w = window();
        QVERIFY(testing::click_entry(w.lb_1, QStringLiteral("two.txt")));
        QCOMPARE(w.dw_1->table().rowcount(), 0L);
        QCOMPARE(w.dw_2->table().rowcount(), 0L);
        QCOMPARE(w.st_2->text(), QStringLiteral("Source 2"));

        drag_entry_to(QStringLiteral("two.txt"), w.dw_2);
        QCOMPARE(w.st_2->text(), lists_ + QStringLiteral("two.txt"));
        QCOMPARE(w.dw_2->table().rowcount(), 4L);
        QCOMPARE(w.dw_1->table().rowcount(), 0L);
        QCOMPARE(w.st_1->text(), QStringLiteral("Source 1"));
    }

    void clicking_box_1_twice_moves_the_target_to_pane_2()
    {
        w_diff& w = window();
        click(w.cbx_1);
        click(w.cbx_1);
        QVERIFY(!w.cbx_1->isChecked() && w.cbx_2->isChecked());
        QVERIFY(testing::click_entry(w.lb_1, QStringLiteral("one.txt")));
        QCOMPARE(w.dw_2->table().rowcount(), 4L);
        QCOMPARE(w.dw_1->table().rowcount(), 0L);
    }

    void a_dragged_folder_entry_drops_the_last_file_selected()
    {
        w_diff& w = window();
        QVERIFY(testing::click_entry(w.lb_1, QStringLiteral("one.txt")));
        drag_entry_to(QStringLiteral("[sub]"), w.dw_1);
        QCOMPARE(w.st_1->text(), lists_ + QStringLiteral("one.txt"));
        QCOMPARE(w.dw_1->table().rowcount(), 4L);
    }

    void the_same_file_on_both_panes_is_all_similar()
    {
        w_diff& w = window();
        QVERIFY(testing::click_entry(w.lb_1, QStringLiteral("one.txt")));
        drag_entry_to(QStringLiteral("one.txt"), w.dw_1);
        drag_entry_to(QStringLiteral("one.txt"), w.dw_2);
        click(w.cb_compare);
        QCOMPARE(texts(w.dw_same), rows({"apple", "banana", "banana", "cherry"}));
        QCOMPARE(w.dw_diff->table().rowcount(), 0L);
        QCOMPARE(w.dw_sum->table().rowcount(), 7L);
    }

    void new_contents_show_from_row_1()
    {
        w_diff& w = window();
        // What the user sees, once the window has laid the rows out.
        auto to_the_end = [](rt::grid_pane* pane) {
            QCoreApplication::processEvents();
            QScrollBar* bar = pane->view()->verticalScrollBar();
            for (int i = 0; i < 100 && bar->value() < bar->maximum(); ++i)
                QTest::keyClick(pane->view(), Qt::Key_PageDown);
            return bar->value() > 0 && bar->value() == bar->maximum();
        };
        auto at_row_1 = [](rt::grid_pane* pane) {
            QCoreApplication::processEvents();
            return pane->view()->verticalScrollBar()->value() == 0 && pane->view()->rowAt(0) == 0;
        };
        click(w.cbx_1);
        QVERIFY(testing::click_entry(w.lb_1, QStringLiteral("many.txt")));
        QVERIFY(to_the_end(w.dw_1));
        QVERIFY(testing::click_entry(w.lb_1, QStringLiteral("some.txt")));
        QCOMPARE(w.dw_1->table().rowcount(), 40L);
        QVERIFY(at_row_1(w.dw_1));

        click(w.cbx_2);
        QVERIFY(testing::click_entry(w.lb_1, QStringLiteral("many.txt")));
        click(w.cb_compare);
        QVERIFY(to_the_end(w.dw_same) && to_the_end(w.dw_diff));
        click(w.cb_compare);
        QVERIFY(at_row_1(w.dw_same) && at_row_1(w.dw_diff));
    }

    void compare_before_any_load_gives_empty_lists()
    {
        w_diff& w = window();
        click(w.cb_compare);
        QCOMPARE(w.dw_same->table().rowcount(), 0L);
        QCOMPARE(w.dw_diff->table().rowcount(), 0L);
        QCOMPARE(w.dw_sum->table().rowcount(), 0L);
        QCOMPARE(rt::windows().w_frame->microhelp(), QStringLiteral("Ready"));
    }

    void the_whole_road_by_keys()
    {
        w_diff& w = window();
        w_frame* frame = rt::windows().w_frame;
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame));
        auto key = [](Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
            QTest::keyClick(QApplication::focusWidget(), k, m);
        };
        auto type = [](const char* text) { QTest::keyClicks(QApplication::focusWidget(), QLatin1String(text)); };
        for (int i = 0; i < 8 && QApplication::focusWidget() != w.lb_1; ++i)
            key(Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.lb_1));

        // Source 1 chosen, up to the root (the cursor rests on the parent entry) and down into
        // lists, one.txt chosen.
        key(Qt::Key_1, Qt::AltModifier);
        key(Qt::Key_Space);
        QCOMPARE(w.st_path->text(), QStringLiteral("c:\\"));
        type("lists");
        key(Qt::Key_Return);
        QCOMPARE(w.st_path->text(), lists_);
        type("one");
        key(Qt::Key_Return);
        QCOMPARE(w.st_1->text(), lists_ + QStringLiteral("one.txt"));
        // Source 2, two.txt.
        key(Qt::Key_2, Qt::AltModifier);
        type("two");
        key(Qt::Key_Return);
        QCOMPARE(w.st_2->text(), lists_ + QStringLiteral("two.txt"));
        QCOMPARE(w.dw_1->table().rowcount(), 4L);

        // Back along the tab order to Compare.
        for (int i = 0; i < 3; ++i)
            key(Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.cb_compare));
        key(Qt::Key_Space);
        QCOMPARE(texts(w.dw_diff), rows({"cherry", "date", "date"}));
        // On to the difference list, all of it copied.
        for (int i = 0; i < 8 && QApplication::focusWidget() != w.dw_diff->view(); ++i)
            key(Qt::Key_Tab);
        key(Qt::Key_A, Qt::ControlModifier);
        key(Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(),
            QStringLiteral("cherry\t%1one.txt\ndate\t%1two.txt\ndate\t%1two.txt\n").arg(lists_));

        // Print from the File menu, the difference list chosen in the option dialog.
        QTemporaryDir out;
        const QString pdf = out.filePath(QStringLiteral("printed.pdf"));
        auto menu_item = [&](int downs) {
            // The offscreen platform hands no window back the activation a dialog took; a
            // desktop does (the real-window test walks the same road by keys).
            frame->activateWindow();
            QTRY_VERIFY(QApplication::focusWidget());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::AltModifier);
            QTRY_VERIFY(QApplication::activePopupWidget());
            for (int i = 0; i < downs; ++i)
                QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Down);
            QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Return);
        };
        testing::when_modal<w_print_option>([](w_print_option* d) {
            for (Qt::Key k : {Qt::Key_Down, Qt::Key_Space, Qt::Key_Return})
                QTest::keyClick(d->focusWidget(), k);
        });
        {
            const auto printer = rt::print_job_seam().replace([pdf] { return rt::open_pdf_job(pdf); });
            menu_item(1); // Save As, Print
        }
        QVERIFY(QFileInfo(pdf).size() > 0);

        // Save As from the File menu, the name typed in the save dialog.
        const QString saved_to = out.filePath(QStringLiteral("result"));
        testing::when_modal<QFileDialog>([saved_to](QFileDialog* d) {
            // Set rather than typed: typing brings up the name's completion list, which takes a
            // Return pressed while it is up (the real-window test types it).
            auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            name->setText(saved_to);
            QTest::keyClick(name, Qt::Key_Return);
        });
        QStringList messages;
        {
            const auto box = rt::message_box_seam().replace([&messages](const QString& caption, const QString& text) {
                messages << caption + QLatin1Char('|') + text;
            });
            menu_item(0);
        }
        QCOMPARE(messages, QStringList());
        QFile result(saved_to + QStringLiteral(".txt"));
        QVERIFY(result.open(QIODevice::ReadOnly));
        QVERIFY(result.readAll().startsWith("Similarity\t\napple\t\n"));
    }

    void only_the_source_panes_take_drops()
    {
        w_diff& w = window();
        QVERIFY(w.dw_1->acceptDrops() && w.dw_2->acceptDrops());
        for (rt::grid_pane* pane : {w.dw_same, w.dw_diff, w.dw_sum}) {
            QVERIFY(!pane->acceptDrops());
            QVERIFY(!pane->view()->viewport()->acceptDrops());
        }
        // A drop whose drag did not begin at the folder list loads nothing.
        QVERIFY(testing::click_entry(w.lb_1, QStringLiteral("one.txt")));
        emit w.dw_1->dragdrop(w.cb_compare);
        QCOMPARE(w.dw_1->table().rowcount(), 0L);
    }
};

QTEST_MAIN(road_test)
#include "road_test.moc"
