// The compare window's controls: their order, places, texts and looks, the tab order, and the
// window's life.

#include "compare/linetable/grid_pane.h"
#include "compare/w_diff.h"
#include "runtime/dir_controls.h"
#include "runtime/units.h"
#include "support/browser_tree.h"
#include "support/theme.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QToolTip>

namespace {

struct designed {
    const char* name;
    int x, y, width, height;
};

// The window's designed control list, in order of creation.
const designed controls[] = {
    {"cbx_2", 650, 733, 83, 77},
    {"cbx_1", 650, 57, 83, 77},
    {"dw_sum", 1710, 749, 782, 361},
    {"cb_compare", 2364, 29, 398, 93},
    {"st_path", 10, 53, 604, 77},
    {"st_4", 1367, 749, 289, 61},
    {"st_3", 1367, 65, 247, 69},
    {"st_2", 732, 745, 549, 65},
    {"st_1", 727, 73, 558, 61},
    {"lb_1", 10, 253, 604, 1133},
    {"ddlb_1", 10, 157, 604, 1005},
    {"dw_diff", 1303, 817, 1477, 569},
    {"dw_same", 1303, 141, 1477, 569},
    {"dw_2", 645, 817, 631, 569},
    {"dw_1", 645, 145, 631, 569},
};

} // namespace

class compare_window_test : public QObject {
    Q_OBJECT
private slots:
    void controls_in_order_and_place()
    {
        w_diff w;
        const QList<QWidget*> list = w.control_list();
        QCOMPARE(list.size(), 15);
        for (int i = 0; i < 15; ++i) {
            const designed& d = controls[i];
            QWidget* c = list.at(i);
            QCOMPARE(c->objectName(), QLatin1String(d.name));
            QCOMPARE(c->parentWidget(), static_cast<QWidget*>(&w));
            QCOMPARE(c->pos(), QPoint(rt::units_x(d.x), rt::units_y(d.y)));
            QCOMPARE(c->width(), rt::units_x(d.width));
            // The drive list's designed height is that of its dropped-down list.
            if (QLatin1String(d.name) != QLatin1String("ddlb_1"))
                QCOMPARE(c->height(), rt::units_y(d.height));
        }
        QCOMPARE(w.windowTitle(), QStringLiteral("Drag file to the middle windows"));
        QCOMPARE(w.size(), QSize(rt::units_x(2862), rt::units_y(1513)));
    }

    void initial_texts_and_looks()
    {
        w_diff w;
        w.show();
        QCOMPARE(w.st_1->text(), QStringLiteral("Source 1"));
        QCOMPARE(w.st_2->text(), QStringLiteral("Source 2"));
        QCOMPARE(w.st_3->text(), QStringLiteral("Similarity"));
        QCOMPARE(w.st_4->text(), QStringLiteral("Difference"));
        QCOMPARE(w.st_path->text(), QString());
        QCOMPARE(w.cb_compare->text(), QStringLiteral("Compare"));
        QVERIFY(w.cbx_1->text().isEmpty() && w.cbx_2->text().isEmpty());
        QVERIFY(!w.cbx_1->isChecked() && !w.cbx_2->isChecked());
        QVERIFY(!w.dw_sum->isVisible());
        for (QLabel* l : {w.st_path, w.st_1, w.st_2, w.st_3, w.st_4}) {
            QVERIFY(l->font().bold());
            QCOMPARE(l->font().pointSize(), 8);
            QCOMPARE(l->palette().color(QPalette::Window), QColor(192, 192, 192));
            QCOMPARE(l->focusPolicy(), Qt::NoFocus);
        }
        QVERIFY(!w.lb_1->font().bold());
        QVERIFY(w.cb_compare->font().bold());
        QVERIFY(w.is_drive.isEmpty() || !w.is_path.isEmpty());
        QVERIFY(w.is_file.isEmpty());
        // Every text a user reads is a real widget's, so accessibility tools can read it.
        QVERIFY(!w.cbx_1->accessibleName().isEmpty());
        QVERIFY(!w.cbx_2->accessibleName().isEmpty());
    }

    void tab_keys_visit_the_designed_order_both_ways()
    {
        testing::shown_window s;
        w_diff& w = s.w;
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        // Labels, boxes and the hidden pane are not in it.
        const QList<QWidget*> order
            = {w.cb_compare, w.dw_diff->view(), w.ddlb_1, w.lb_1, w.dw_same->view(), w.dw_1->view(), w.dw_2->view()};
        const int n = static_cast<int>(order.size());
        for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab}) {
            w.cb_compare->setFocus();
            for (int i = 1; i <= 2 * n; ++i) {
                QTest::keyClick(QApplication::focusWidget(), key);
                const int at = key == Qt::Key_Tab ? i % n : (n - i % n) % n;
                QCOMPARE(QApplication::focusWidget(), order.at(at));
            }
        }
    }

    void return_and_enter_press_the_focused_compare_button()
    {
        testing::shown_window s;
        w_diff& w = s.w;
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QSignalSpy pressed(w.cb_compare, &QPushButton::clicked);
        w.cb_compare->setFocus();
        QTest::keyClick(w.cb_compare, Qt::Key_Return);
        QTest::keyClick(w.cb_compare, Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(w.cb_compare, Qt::Key_Space);
        QCOMPARE(pressed.count(), 3);
    }

    void labels_show_their_text_as_it_is()
    {
        testing::shown_window s;
        w_diff& w = s.w;
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        // "&" is a character, not a mnemonic that takes the focus to pane 1.
        w.st_1->setText(QStringLiteral("c:\\tmp\\R&F\\a.txt"));
        w.cb_compare->setFocus();
        QTest::keyClick(&w, Qt::Key_F, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.cb_compare));
        QCOMPARE(w.st_1->shown_text(), w.st_1->text());

        // Markup is drawn as the characters it is made of, not as a bold "x".
        w.st_path->setText(QStringLiteral("c:\\<b>x</b>\\"));
        const int drawn = testing::ink_width(
            w.st_path->grab().toImage(), w.st_path->contentsRect(), w.st_path->palette().color(QPalette::Window));
        QVERIFY(drawn >= w.st_path->fontMetrics().horizontalAdvance(w.st_path->text()) * 8 / 10);

        // A path wider than its box keeps its drive and its file name, cut in the middle; the
        // label's text stays whole and shows as its tooltip.
        const QString path
            = QStringLiteral("c:\\tmp\\bars-bench\\") + QString(60, QLatin1Char('d')) + QStringLiteral("\\a5");
        w.st_1->setText(path);
        QCOMPARE(w.st_1->text(), path);
        const QString shown = w.st_1->shown_text();
        QVERIFY2(shown.startsWith(QStringLiteral("c:\\tmp")) && shown.endsWith(QStringLiteral("\\a5"))
                && shown.contains(QChar(0x2026)),
            qPrintable(shown));
        QVERIFY(w.st_1->fontMetrics().horizontalAdvance(shown) <= w.st_1->contentsRect().width());
        QHelpEvent tip(QEvent::ToolTip, QPoint(2, 2), w.st_1->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(w.st_1, &tip);
        QVERIFY2(QToolTip::text().contains(path), qPrintable(QToolTip::text()));
    }

    void designed_colours_read_under_a_dark_theme()
    {
        testing::dark_theme dark;
        testing::shown_window s;
        QCOMPARE(testing::unreadable(&s.w), QStringList());
        // The lists are white, as designed, whatever the theme.
        QCOMPARE(s.w.lb_1->palette().color(QPalette::Base), QColor(Qt::white));
        QCOMPARE(s.w.ddlb_1->palette().color(QPalette::Button), QColor(Qt::white));
    }

    void resizing_moves_nothing()
    {
        w_diff w;
        const QPoint before = w.dw_diff->pos();
        w.resize(w.width() * 2, w.height() * 2);
        QCOMPARE(w.dw_diff->pos(), before);
        w.resize(100, 100);
        QCOMPARE(w.dw_diff->pos(), before);
    }
};

QTEST_MAIN(compare_window_test)
#include "compare_window_test.moc"
