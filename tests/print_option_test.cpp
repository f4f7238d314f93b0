// The print option dialog: its window and controls, the number it closes with for every way
// of closing it, and its keyboard.

#include "printopt/w_print_option.h"
#include "runtime/events.h"
#include "runtime/message.h"
#include "runtime/units.h"
#include "runtime/window_refs.h"

#include "support/modal.h"
#include "support/theme.h"

#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QtTest>

#include <functional>

namespace {

using script = std::function<void(w_print_option*)>;

// Opens the dialog as Print does, runs `answer` in it, and returns what it left in the message
// object, which starts at `before`.
double run_dialog(const script& answer, double before = -1)
{
    rt::message().doubleparm = before;
    testing::when_modal<w_print_option>(answer);
    rt::open_response(rt::windows().w_print_option, nullptr);
    return rt::message().doubleparm;
}

void key(w_print_option* d, Qt::Key k)
{
    QWidget* target = d->focusWidget() ? d->focusWidget() : d;
    QTest::keyClick(target, k);
}

} // namespace

class print_option_test : public QObject {
    Q_OBJECT

private slots:
    void the_window_and_its_controls()
    {
        w_print_option d;
        QCOMPARE(d.windowTitle(), QStringLiteral("Print Option"));
        QVERIFY(d.isModal());
        QCOMPARE(d.minimumSize(), QSize(rt::units_x(1527), rt::units_y(685)));
        QCOMPARE(d.maximumSize(), d.minimumSize());
        const Qt::WindowFlags flags = d.windowFlags();
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(flags & Qt::WindowSystemMenuHint);
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QCOMPARE(d.palette().color(QPalette::Window), rt::button_face());

        QCOMPARE(d.control_list(), (QList<QWidget*> {d.cb_cancel, d.cb_ok, d.rb_all, d.rb_diff, d.rb_same, d.gb_1}));
        struct {
            QWidget* w;
            QString text;
            QRect place;
        } expected[] = {
            {d.gb_1, QStringLiteral("Options:"), rt::unit_rect(60, 29, 787, 509)},
            {d.rb_same, QStringLiteral("Similarity"), rt::unit_rect(188, 113, 618, 77)},
            {d.rb_diff, QStringLiteral("Difference"), rt::unit_rect(188, 225, 357, 77)},
            {d.rb_all, QStringLiteral("Both"), rt::unit_rect(188, 337, 247, 77)},
            {d.cb_ok, QStringLiteral("OK"), rt::unit_rect(1047, 57, 366, 109)},
            {d.cb_cancel, QStringLiteral("Cancel"), rt::unit_rect(1047, 181, 366, 109)},
        };
        for (const auto& e : expected) {
            const QString text = qobject_cast<QGroupBox*>(e.w) ? static_cast<QGroupBox*>(e.w)->title()
                                                               : static_cast<QAbstractButton*>(e.w)->text();
            QCOMPARE(text, e.text);
            const QRect in_window(e.w->mapTo(&d, QPoint(0, 0)), e.w->size());
            QCOMPARE(in_window, e.place);
            QCOMPARE(e.w->font().family(), QStringLiteral("MS Sans Serif"));
            QCOMPARE(e.w->font().pointSize(), 8);
            QVERIFY(e.w->font().bold());
        }
        // The radio buttons sit in the frame and form one group, with none chosen.
        for (QRadioButton* rb : {d.rb_same, d.rb_diff, d.rb_all}) {
            QCOMPARE(rb->parentWidget(), static_cast<QWidget*>(d.gb_1));
            QVERIFY(!rb->isChecked());
        }
        d.rb_diff->click();
        d.rb_all->click();
        QVERIFY(d.rb_all->isChecked() && !d.rb_diff->isChecked() && !d.rb_same->isChecked());

        QVERIFY(d.cb_ok->isDefault());
        QVERIFY(!d.cb_cancel->isDefault());

        testing::dark_theme dark;
        w_print_option dark_dialog;
        QCOMPARE(testing::unreadable(&dark_dialog), QStringList());
    }

    void it_opens_at_its_place()
    {
        w_print_option d;
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        const QPoint designed(rt::units_x(833), rt::units_y(361));
        if (!screen.contains(QRect(designed, d.size())))
            QSKIP("the test screen is too small for the designed place");
        QCOMPARE(d.pos(), designed);
    }

    void it_closes_with_the_chosen_list()
    {
        struct {
            const char* name;
            script answer;
            double expected;
        } cases[] = {
            {"OK at once", [](w_print_option* d) { d->cb_ok->click(); }, 0},
            {"Similarity, OK",
                [](w_print_option* d) {
                    d->rb_same->click();
                    d->cb_ok->click();
                },
                1},
            {"Difference, OK",
                [](w_print_option* d) {
                    d->rb_diff->click();
                    d->cb_ok->click();
                },
                2},
            {"Difference, Both, Enter",
                [](w_print_option* d) {
                    d->rb_diff->click();
                    d->rb_all->click();
                    key(d, Qt::Key_Return);
                },
                3},
            {"Similarity, Escape",
                [](w_print_option* d) {
                    d->rb_same->click();
                    key(d, Qt::Key_Escape);
                },
                0},
            {"Both, Cancel",
                [](w_print_option* d) {
                    d->rb_all->click();
                    d->cb_cancel->click();
                },
                0},
            {"Both, ue_ok by name",
                [](w_print_option* d) {
                    d->rb_all->click();
                    QCOMPARE(rt::triggerevent(d, "ue_ok"), 1);
                },
                3},
        };
        for (const auto& c : cases)
            QVERIFY2(run_dialog(c.answer) == c.expected, c.name);
        // The number is a whole number held as a floating-point value.
        QCOMPARE(run_dialog([](w_print_option* d) {
            d->rb_diff->click();
            d->cb_ok->click();
        }),
            2.0);
    }

    void the_close_box_stores_nothing()
    {
        QCOMPARE(run_dialog(
                     [](w_print_option* d) {
                         d->rb_diff->click();
                         d->close();
                     },
                     7),
            7.0);
        QVERIFY(!rt::windows().w_print_option);
        // Each opening is a fresh dialog: nothing chosen before shows again.
        QCOMPARE(run_dialog([](w_print_option* d) {
            QVERIFY(!d->rb_diff->isChecked());
            d->cb_ok->click();
        }),
            0.0);
    }

    void the_keyboard_reaches_everything()
    {
        bool ran = false;
        QList<bool> chosen;
        const double result = run_dialog([&ran, &chosen](w_print_option* d) {
            ran = true;
            d->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(d));
            // The group comes first, then OK, then Cancel, then round again to the group.
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(d->rb_same));
            key(d, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(d->cb_ok));
            key(d, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(d->cb_cancel));
            key(d, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->parentWidget(), static_cast<QWidget*>(d->gb_1));
            // Inside the group an arrow moves to an option and chooses it; the focus alone
            // chooses nothing, and Return prints what the arrows came to.
            // Checked as the keys go, told after the dialog has closed.
            d->rb_same->setFocus();
            key(d, Qt::Key_Down);
            chosen << (d->rb_diff->hasFocus() && d->rb_diff->isChecked());
            key(d, Qt::Key_Down);
            chosen << (d->rb_all->hasFocus() && d->rb_all->isChecked() && !d->rb_diff->isChecked());
            key(d, Qt::Key_Up);
            chosen << (d->rb_diff->isChecked() && !d->rb_all->isChecked());
            key(d, Qt::Key_Return);
        });
        QVERIFY(ran);
        QCOMPARE(chosen, (QList<bool> {true, true, true}));
        QCOMPARE(result, 2.0);
    }
};

QTEST_MAIN(print_option_test)
#include "print_option_test.moc"
