#include "printopt/w_print_option.h"

#include "runtime/events.h"
#include "runtime/units.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>

#include <algorithm>

namespace {

// An option of the group: an arrow key that moves to another option chooses it, as in every
// radio group, so that Return then prints what the arrows came to. Qt moves the choice along
// only once one is chosen, and none is when the dialog opens.
class option_button : public QRadioButton {
public:
    using QRadioButton::QRadioButton;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        QRadioButton::keyPressEvent(event);
        const int k = event->key();
        if (k != Qt::Key_Up && k != Qt::Key_Down && k != Qt::Key_Left && k != Qt::Key_Right)
            return;
        auto* to = qobject_cast<QRadioButton*>(QApplication::focusWidget());
        if (to && to != this && to->parentWidget() == parentWidget() && !to->isChecked())
            to->click();
    }
};

QPushButton* make_button(QWidget* parent, const char* name, const QString& text, int x, int y)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setFont(rt::sans_8(true));
    rt::place(button, x, y, 366, 109);
    return button;
}

QRadioButton* make_radio(QWidget* parent, const char* name, const QString& text, int x, int y, int width)
{
    auto* radio = new option_button(text, parent);
    radio->setObjectName(QLatin1String(name));
    radio->setFont(rt::sans_8(true));
    // Button face like the group box behind it; left unfilled so the box's own frame shows through.
    rt::paint_button_face(radio);
    rt::place(radio, x, y, width, 77);
    return radio;
}

} // namespace

w_print_option::w_print_option(QWidget* parent)
    : rt::response_window(parent)
{
    setObjectName(QStringLiteral("w_print_option"));
    setWindowTitle(QStringLiteral("Print Option"));
    create_controls();
    fix_size(1527, 685);
    place_window(parent);
    // The dialog opens with the focus on the group, first in the focus order, rather than on
    // the default button where a dialog would put it.
    rb_same->setFocus();
}

w_print_option::~w_print_option() = default;

void w_print_option::create_controls()
{
    cb_cancel = make_button(this, "cb_cancel", QStringLiteral("Cancel"), 1047, 181);
    cb_ok = make_button(this, "cb_ok", QStringLiteral("OK"), 1047, 57);
    rb_all = make_radio(this, "rb_all", QStringLiteral("Both"), 188, 337, 247);
    rb_diff = make_radio(this, "rb_diff", QStringLiteral("Difference"), 188, 225, 357);
    rb_same = make_radio(this, "rb_same", QStringLiteral("Similarity"), 188, 113, 618);

    gb_1 = new QGroupBox(QStringLiteral("Options:"), this);
    gb_1->setObjectName(QStringLiteral("gb_1"));
    gb_1->setFont(rt::sans_8(true));
    rt::paint_button_face(gb_1);
    gb_1->setAutoFillBackground(true);
    rt::place(gb_1, 60, 29, 787, 509);
    // The group box frames the radio buttons by holding them: they keep their places in the
    // window, are drawn inside the frame, and form one exclusive group among themselves.
    for (QRadioButton* radio : {rb_all, rb_diff, rb_same}) {
        const QRect in_window = radio->geometry();
        radio->setParent(gb_1);
        radio->setGeometry(in_window.translated(-gb_1->pos()));
        radio->setAutoExclusive(true);
    }

    controls_ = {cb_cancel, cb_ok, rb_all, rb_diff, rb_same, gb_1};

    cb_ok->setDefault(true);
    // Focus order: the group (one stop, whose arrow keys move among its buttons), OK, Cancel.
    setTabOrder(rb_same, rb_diff);
    setTabOrder(rb_diff, rb_all);
    setTabOrder(rb_all, cb_ok);
    setTabOrder(cb_ok, cb_cancel);

    connect(cb_ok, &QPushButton::clicked, this, [this] { rt::triggerevent(this, "ue_ok"); });
    connect(cb_cancel, &QPushButton::clicked, this, [this] { rt::triggerevent(this, "ue_cancel"); });
}

void w_print_option::place_window(QWidget* opener)
{
    // The designed place is taken from the opener's window; the dialog stays on its screen.
    QPoint origin;
    QScreen* screen = QGuiApplication::primaryScreen();
    if (opener) {
        QWidget* top = opener->window();
        origin = top->geometry().topLeft();
        if (top->screen())
            screen = top->screen();
    }
    QPoint at = origin + QPoint(rt::units_x(833), rt::units_y(361));
    if (screen) {
        const QRect room = screen->availableGeometry();
        at.setX(std::max(room.left(), std::min(at.x(), room.right() - width())));
        at.setY(std::max(room.top(), std::min(at.y(), room.bottom() - height())));
    }
    move(at);
}

void w_print_option::ue_ok()
{
    int li_rtn = 0;
    if (rb_same->isChecked())
        li_rtn = 1;
    if (rb_diff->isChecked())
        li_rtn = 2;
    if (rb_all->isChecked())
        li_rtn = 3;
    closewithreturn(li_rtn);
}

void w_print_option::ue_cancel()
{
    closewithreturn(0);
}

void w_print_option::reject()
{
    if (closing_from_box_) {
        rt::response_window::reject();
        return;
    }
    rt::triggerevent(this, "ue_cancel");
}

void w_print_option::closeEvent(QCloseEvent* event)
{
    closing_from_box_ = true;
    rt::response_window::closeEvent(event);
    closing_from_box_ = false;
}
