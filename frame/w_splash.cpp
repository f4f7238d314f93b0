#include "frame/w_splash.h"

#include "runtime/app_icon.h"
#include "runtime/globals.h"
#include "runtime/units.h"

#include <QLabel>
#include <QPushButton>

namespace {

// Both labels are centred in the window's width, and their text in them.
constexpr int window_width = 2478;

QLabel* make_label(QWidget* parent, const char* name, int y, int width, int height, const QColor& background)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    label->setWordWrap(true);
    label->setFocusPolicy(Qt::NoFocus);
    label->setTextFormat(Qt::PlainText);
    rt::paint(label, background, Qt::black);
    rt::place(label, (window_width - width) / 2, y, width, height);
    return label;
}

} // namespace

w_splash::w_splash(QWidget* parent)
    : rt::response_window(parent)
{
    setObjectName(QStringLiteral("w_splash"));
    setWindowTitle(QStringLiteral("Orlemy's Application"));
    setWindowIcon(rt::app_icon());
    fix_size(window_width, 929);
    move(rt::units_x(215), rt::units_y(181));

    st_app = make_label(this, "st_app", 69, 1431, 121, rt::light_grey());
    st_app->setFont(rt::design_font(QStringLiteral("Times New Roman"), 14, true, rt::font_family::roman));

    st_1 = make_label(this, "st_1", 273, 2318, 341, Qt::white);
    st_1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    st_1->setFont(rt::sans_8(true));

    cb_ok = new QPushButton(QStringLiteral("&OK"), this);
    cb_ok->setObjectName(QStringLiteral("cb_ok"));
    cb_ok->setFont(rt::sans_8(true));
    cb_ok->setDefault(true);
    cb_ok->setAutoDefault(true);
    rt::place(cb_ok, 1102, 685, 247, 109);
    connect(cb_ok, &QPushButton::clicked, this, [this] { close(); });
}

void w_splash::open_event()
{
    st_app->setText(gs_appname + QLatin1Char(' ') + gs_version);
    st_1->setText(QStringLiteral("\n"
                                 "Compares two text files as sets of lines.\r\n"
                                 "Lines found in both files are listed as Similarity, the others as Difference.\r\n"
                                 "Choose a folder on the left, then drag or send a file to each middle pane.\r\n"));
    cb_ok->setFocus();
}
