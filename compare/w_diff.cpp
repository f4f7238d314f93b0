#include "compare/w_diff.h"

#include "compare/linetable/grid_pane.h"
#include "frame/m_main.h"
#include "frame/w_frame.h"
#include "runtime/dir_controls.h"
#include "runtime/units.h"
#include "runtime/window_refs.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>

namespace {

rt::text_label* make_label(QWidget* parent, const char* name, const QString& text, int x, int y, int width, int height)
{
    auto* label = new rt::text_label(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setFont(rt::sans_8(true));
    label->setFocusPolicy(Qt::NoFocus);
    rt::paint(label, rt::light_grey(), Qt::black);
    rt::place(label, x, y, width, height);
    return label;
}

QCheckBox* make_check_box(
    QWidget* parent, const char* name, const QString& accessible, const QString& keys, int x, int y)
{
    auto* box = new QCheckBox(parent);
    box->setObjectName(QLatin1String(name));
    // The box has no text of its own; a screen reader still needs to say what it chooses, and
    // the keyboard needs a way to it, as the tab order leaves it out.
    box->setAccessibleName(accessible);
    box->setAccessibleDescription(QStringLiteral("Shortcut: ") + keys);
    box->setToolTip(accessible + QStringLiteral(" (") + keys + QLatin1Char(')'));
    auto* shortcut = new QShortcut(QKeySequence(keys), parent);
    QObject::connect(shortcut, &QShortcut::activated, box, &QCheckBox::click);
    box->setFont(rt::sans_8(true));
    box->setFocusPolicy(Qt::ClickFocus);
    rt::paint(box, rt::light_grey(), Qt::black);
    // The box itself stays white, as on a light desktop.
    QPalette p = box->palette();
    p.setColor(QPalette::Base, Qt::white);
    box->setPalette(p);
    rt::place(box, x, y, 83, 77);
    return box;
}

rt::grid_pane* make_pane(
    QWidget* parent, const char* name, const QString& accessible, int x, int y, int width, int height)
{
    auto* pane = new rt::grid_pane(parent);
    pane->setObjectName(QLatin1String(name));
    pane->setAccessibleName(accessible);
    rt::place(pane, x, y, width, height);
    return pane;
}

} // namespace

w_diff::w_diff(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("w_diff"));
    setWindowTitle(QStringLiteral("Drag file to the middle windows"));
    rt::paint_button_face(this);
    setAutoFillBackground(true);
    resize(sizeHint());
    create_controls();
    connect_events();
}

w_diff::~w_diff() = default;

QSize w_diff::sizeHint() const
{
    return QSize(rt::units_x(2862), rt::units_y(1513));
}

void w_diff::create_controls()
{
    cbx_2 = make_check_box(
        this, "cbx_2", QStringLiteral("Send selected files to Source 2"), QStringLiteral("Alt+2"), 650, 733);
    cbx_1 = make_check_box(
        this, "cbx_1", QStringLiteral("Send selected files to Source 1"), QStringLiteral("Alt+1"), 650, 57);

    dw_sum = make_pane(this, "dw_sum", QStringLiteral("Combined list"), 1710, 749, 782, 361);
    dw_sum->setVisible(false);

    cb_compare = new QPushButton(QStringLiteral("Compare"), this);
    cb_compare->setObjectName(QStringLiteral("cb_compare"));
    cb_compare->setFont(rt::sans_8(true));
    // Return and keypad Enter press the focused button, as the space bar does.
    cb_compare->setAutoDefault(true);
    rt::place(cb_compare, 2364, 29, 398, 93);

    st_path = make_label(this, "st_path", QString(), 10, 53, 604, 77);
    st_path->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    st_path->setAccessibleDescription(QStringLiteral("Folder listed below"));
    st_4 = make_label(this, "st_4", QStringLiteral("Difference"), 1367, 749, 289, 61);
    st_3 = make_label(this, "st_3", QStringLiteral("Similarity"), 1367, 65, 247, 69);
    st_2 = make_label(this, "st_2", QStringLiteral("Source 2"), 732, 745, 549, 65);
    st_1 = make_label(this, "st_1", QStringLiteral("Source 1"), 727, 73, 558, 61);

    lb_1 = new rt::listbox(this);
    lb_1->setObjectName(QStringLiteral("lb_1"));
    lb_1->setAccessibleName(QStringLiteral("Folders and files"));
    lb_1->setFont(rt::sans_8(false));
    rt::paint(lb_1, Qt::white, Qt::black);
    rt::place(lb_1, 10, 253, 604, 1133);

    ddlb_1 = new rt::dropdownlistbox(this);
    ddlb_1->setObjectName(QStringLiteral("ddlb_1"));
    ddlb_1->setAccessibleName(QStringLiteral("Drive"));
    ddlb_1->setFont(rt::sans_8(false));
    rt::paint(ddlb_1, Qt::white, Qt::black);
    // The designed height is that of the list dropped down; closed it is one line high.
    rt::place(ddlb_1, 10, 157, 604, 1005);
    ddlb_1->resize(ddlb_1->width(), ddlb_1->sizeHint().height());

    dw_diff = make_pane(this, "dw_diff", QStringLiteral("Difference"), 1303, 817, 1477, 569);
    dw_same = make_pane(this, "dw_same", QStringLiteral("Similarity"), 1303, 141, 1477, 569);
    dw_2 = make_pane(this, "dw_2", QStringLiteral("Source 2"), 645, 817, 631, 569);
    dw_1 = make_pane(this, "dw_1", QStringLiteral("Source 1"), 645, 145, 631, 569);

    controls_ = {
        cbx_2, cbx_1, dw_sum, cb_compare, st_path, st_4, st_3, st_2, st_1, lb_1, ddlb_1, dw_diff, dw_same, dw_2, dw_1};

    // Tab order: cb_compare, dw_diff, ddlb_1, lb_1, dw_same, dw_1, dw_2 (dw_sum is hidden).
    // The panes take the focus in their views.
    setTabOrder(cb_compare, dw_diff->view());
    setTabOrder(dw_diff->view(), ddlb_1);
    setTabOrder(ddlb_1, lb_1);
    setTabOrder(lb_1, dw_same->view());
    setTabOrder(dw_same->view(), dw_1->view());
    setTabOrder(dw_1->view(), dw_2->view());
    // The keyboard starts where the tab order does, not on the first control that takes a click.
    cb_compare->setFocus();
}

void w_diff::connect_events()
{
    connect(cbx_1, &QCheckBox::clicked, this, [this] { cbx_1_clicked(); });
    connect(cbx_2, &QCheckBox::clicked, this, [this] { cbx_2_clicked(); });
    connect(cb_compare, &QPushButton::clicked, this, [this] { cb_compare_clicked(); });
    connect(dw_1, &rt::grid_pane::dragdrop, this, [this](QObject* source) { dw_1_dragdrop(source); });
    connect(dw_2, &rt::grid_pane::dragdrop, this, [this](QObject* source) { dw_2_dragdrop(source); });
    dw_1->accept_drops_from(lb_1);
    dw_2->accept_drops_from(lb_1);

    connect(
        ddlb_1, &rt::dropdownlistbox::selectionchanged, this, [this](int index) { ddlb_1_selectionchanged(index); });
    connect(lb_1, &rt::listbox::selectionchanged, this, [this](int index) { lb_1_selectionchanged(index); });
    connect(lb_1, &rt::listbox::ue_lbuttondown, this,
        [this](unsigned flags, int x, int y) { lb_1_ue_lbuttondown(flags, x, y); });
    connect(lb_1, &rt::listbox::ue_lbuttonup, this,
        [this](unsigned flags, int x, int y) { lb_1_ue_lbuttonup(flags, x, y); });
    connect(lb_1, &rt::listbox::ue_mousemove, this,
        [this](unsigned flags, int x, int y) { lb_1_ue_mousemove(flags, x, y); });
}

void w_diff::constructors()
{
    ddlb_1_constructor();
}

void w_diff::open_event()
{
    if (!rt::windows().w_frame)
        return;
    m_main* l_menu = rt::windows().w_frame->menuid();
    l_menu->m_file.m_open->setEnabled(false);
    l_menu->m_file.m_print->setEnabled(true);
    l_menu->m_file.m_saveas->setEnabled(true);
}

void w_diff::close_event()
{
    if (!rt::windows().w_frame)
        return;
    m_main* l_menu = rt::windows().w_frame->menuid();
    l_menu->m_file.m_open->setEnabled(true);
    l_menu->m_file.m_print->setEnabled(false);
    l_menu->m_file.m_saveas->setEnabled(false);
}

void w_diff::closeEvent(QCloseEvent* event)
{
    // Closing is never refused; the close event runs once, however the close was asked for.
    if (!closed_) {
        closed_ = true;
        close_event();
    }
    event->accept();
}
