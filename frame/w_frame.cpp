#include "frame/w_frame.h"

#include "compare/w_diff.h"
#include "frame/m_main.h"
#include "frame/w_splash.h"
#include "runtime/app_icon.h"
#include "runtime/events.h"
#include "runtime/units.h"
#include "runtime/window_refs.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>

w_frame::w_frame(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("w_frame"));
    setWindowTitle(QStringLiteral("Linara (Orlemy Vask)"));
    setWindowIcon(rt::app_icon());
    rt::paint_button_face(this);
    setGeometry(rt::unit_rect(833, 361, 1998, 1209));

    menu_ = new m_main(this);

    mdi_1_ = new QMdiArea(this);
    mdi_1_->setObjectName(QStringLiteral("mdi_1"));
    mdi_1_->setBackground(rt::application_workspace());
    // A sheet larger than the client area (the frame restored, a small screen, a large font)
    // is reached by scrolling rather than only by dragging it.
    mdi_1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    mdi_1_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(mdi_1_);

    // A label rather than a transient message, so screen readers can read the status line.
    status_text_ = new QLabel(this);
    status_text_->setTextFormat(Qt::PlainText);
    status_text_->setObjectName(QStringLiteral("microhelp"));
    status_text_->setAccessibleDescription(QStringLiteral("Status"));
    // What the status line says until the compare window first writes to it.
    status_text_->setText(QStringLiteral("Ready"));
    statusBar()->addWidget(status_text_, 1);

    // How far a long step has come, and the button that stops it; shown only while one runs.
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setAccessibleName(QStringLiteral("Progress"));
    progress_->setRange(0, 100);
    progress_->hide();
    statusBar()->addPermanentWidget(progress_);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancel_->setObjectName(QStringLiteral("cancel_work"));
    cancel_->setFocusPolicy(Qt::NoFocus); // Escape cancels from the keyboard
    cancel_->hide();
    connect(cancel_, &QPushButton::clicked, this, [] { rt::long_work::cancel_current(); });
    statusBar()->addPermanentWidget(cancel_);
    rt::set_work_display(this);
}

w_frame::~w_frame()
{
    rt::set_work_display(nullptr);
    // Sheets still open go with the frame's children; the File menu they would update is gone.
    for (QMdiSubWindow* sub : mdi_1_->subWindowList())
        disconnect(sub, nullptr, this, nullptr);
}

void w_frame::open_event()
{
    rt::open_response(rt::windows().w_splash, this);
    open_compare_sheet();
}

QWidget* w_frame::getactivesheet() const
{
    QMdiSubWindow* sub = mdi_1_->activeSubWindow();
    if (!sub) {
        // Offscreen and before the frame is shown no sheet is active yet; the only one then is.
        const QList<QMdiSubWindow*> all = mdi_1_->subWindowList();
        if (all.isEmpty())
            return nullptr;
        sub = all.last();
    }
    return sub->widget();
}

void w_frame::setmicrohelp(const QString& text)
{
    status_text_->setText(text);
    // Painted now: the step that follows may keep the event loop from painting it.
    if (status_text_->isVisible())
        status_text_->repaint();
}

void w_frame::show_doing(const QString& text)
{
    setmicrohelp(text);
}

void w_frame::show_progress(int percent, bool may_cancel)
{
    if (percent < 0) {
        progress_->hide();
        cancel_->hide();
        return;
    }
    progress_->setValue(percent);
    progress_->show();
    cancel_->setVisible(may_cancel);
    cancel_->setEnabled(may_cancel);
}

QWidget* w_frame::cancel_button() const
{
    return cancel_;
}

void w_frame::repaint_window()
{
    if (isVisible())
        repaint();
}

QString w_frame::microhelp() const
{
    return status_text_->text();
}

void w_frame::open_compare_sheet()
{
    QPointer<w_diff>& ref = rt::windows().w_diff;
    if (ref) {
        mdi_1_->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(ref->parentWidget()));
        return;
    }
    auto* sheet = new w_diff;
    sheet->setWindowIcon(rt::app_icon());
    ref = sheet;
    QMdiSubWindow* sub = rt::add_sheet(mdi_1_, sheet);
    // Both ways of opening give the sheet its designed size, at the top left of the client area.
    sub->adjustSize();
    sub->move(0, 0);
    connect(sub, &QObject::destroyed, this, [this](QObject* gone) { list_sheets_in_file_menu(gone); });
    sheet->constructors();
    sub->show();
    sheet->open_event();
    list_sheets_in_file_menu();
}

void w_frame::m_open_clicked()
{
    open_compare_sheet();
}

void w_frame::m_about_clicked()
{
    rt::open_response(rt::windows().w_splash, this);
}

void w_frame::relay(const char* event)
{
    QWidget* lw_1 = getactivesheet();
    if (lw_1)
        rt::triggerevent(lw_1, event);
}

void w_frame::ue_print()
{
    relay("ue_print");
}

void w_frame::ue_saveas()
{
    relay("ue_saveas");
}

void w_frame::list_sheets_in_file_menu(QObject* closing)
{
    QMenu* file = menu_->m_file.menu;
    for (QAction* a : sheet_items_) {
        file->removeAction(a);
        delete a;
    }
    sheet_items_.clear();
    const QList<QMdiSubWindow*> sheets = mdi_1_->subWindowList();
    int n = 0;
    for (QMdiSubWindow* sub : sheets) {
        if (sub == closing || !sub->widget())
            continue;
        if (n == 0)
            sheet_items_ << file->addSeparator();
        ++n;
        QAction* a = file->addAction(QStringLiteral("&%1 %2").arg(n).arg(sub->windowTitle()));
        a->setObjectName(QStringLiteral("sheet_%1").arg(n));
        QPointer<QMdiSubWindow> target(sub);
        connect(a, &QAction::triggered, this, [this, target] {
            if (target)
                mdi_1_->setActiveSubWindow(target);
        });
        sheet_items_ << a;
    }
}

void w_frame::closeEvent(QCloseEvent* event)
{
    // The sheets close first, each running its own close event.
    mdi_1_->closeAllSubWindows();
    event->accept();
}
