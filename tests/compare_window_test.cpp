// The compare window's controls: their order, places, texts and looks, the tab order, and the
// window's life.

#include "compare/w_diff.h"
#include "runtime/dir_controls.h"
#include "runtime/grid_pane.h"
#include "runtime/units.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTest>

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

    void tab_order_skips_labels_boxes_and_the_hidden_pane()
    {
        w_diff w;
        w.show();
        // The Tab key follows the focus chain, passing over what cannot take the focus by Tab.
        const QList<QWidget*> expected
            = {w.dw_diff->view(), w.ddlb_1, w.lb_1, w.dw_same->view(), w.dw_1->view(), w.dw_2->view(), w.cb_compare};
        QWidget* at = w.cb_compare;
        for (QWidget* next : expected) {
            int guard = 1000;
            do
                at = at->nextInFocusChain();
            while (--guard > 0
                && (at == &w || !at->isVisibleTo(&w) || !at->isEnabled() || !(at->focusPolicy() & Qt::TabFocus)));
            QCOMPARE(at, next);
        }
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
