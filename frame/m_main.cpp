#include "frame/m_main.h"

#include "frame/w_frame.h"
#include "runtime/events.h"
#include "runtime/stock_pictures.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include <algorithm>
#include <vector>

namespace {

QAction* add_item(QMenu* menu, const char* name, const QString& text)
{
    QAction* a = menu->addAction(text);
    a->setObjectName(QLatin1String(name));
    return a;
}

void add_separator(QMenu* menu, const char* name)
{
    menu->addSeparator()->setObjectName(QLatin1String(name));
}

} // namespace

m_main::m_main(w_frame* frame)
    : QObject(frame)
{
    setObjectName(QStringLiteral("m_main"));
    QMenuBar* bar = frame->menuBar();

    m_file.menu = bar->addMenu(QStringLiteral("&File"));
    m_file.menu->setObjectName(QStringLiteral("m_file"));
    m_file.m_open = add_item(m_file.menu, "m_open", QStringLiteral("Open"));
    add_separator(m_file.menu, "m_-2");
    m_file.m_saveas = add_item(m_file.menu, "m_saveas", QStringLiteral("Save As"));
    add_separator(m_file.menu, "m_-");
    m_file.m_print = add_item(m_file.menu, "m_print", QStringLiteral("Print"));
    add_separator(m_file.menu, "m_-1");
    m_file.m_exit = add_item(m_file.menu, "m_exit", QStringLiteral("E&xit"));

    m_help.menu = bar->addMenu(QStringLiteral("&Help"));
    m_help.menu->setObjectName(QStringLiteral("m_help"));
    m_help.m_about = add_item(m_help.menu, "m_about", QStringLiteral("&About"));

    // The menu's parent window is the frame: its clicks become the frame's events.
    connect(m_file.m_open, &QAction::triggered, frame, [frame] { frame->m_open_clicked(); });
    connect(m_file.m_saveas, &QAction::triggered, frame, [frame] { rt::triggerevent(frame, "ue_saveas"); });
    connect(m_file.m_print, &QAction::triggered, frame, [frame] { rt::triggerevent(frame, "ue_print"); });
    connect(m_file.m_exit, &QAction::triggered, frame, [frame] { frame->close(); });
    connect(m_help.m_about, &QAction::triggered, frame, [frame] { frame->m_about_clicked(); });

    build_toolbar(frame);
}

void m_main::build_toolbar(w_frame* frame)
{
    struct button {
        QAction* item;
        const char* picture;
        QString text;
        int order; // 0: the default order, after the explicit ones' menu neighbours
        int menu_index;
    };
    std::vector<button> buttons = {
        {m_file.m_open, "Custom050!", QStringLiteral("Open"), 0, 0},
        {m_file.m_saveas, "SaveAs!", QStringLiteral("Save As"), 0, 1},
        {m_file.m_print, "Print!", QStringLiteral("Print"), 0, 2},
        {m_file.m_exit, "Exit!", QStringLiteral("Exit"), 9999, 3},
    };
    // Ordered by order key, then menu order; an item without a key takes the default key 0.
    std::stable_sort(buttons.begin(), buttons.end(), [](const button& a, const button& b) {
        return a.order != b.order ? a.order < b.order : a.menu_index < b.menu_index;
    });

    toolbar_ = new QToolBar(QStringLiteral("Toolbar"), frame);
    toolbar_->setObjectName(QStringLiteral("toolbar"));
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolbar_->setMovable(false);
    frame->addToolBar(Qt::TopToolBarArea, toolbar_);
    for (const button& b : buttons) {
        b.item->setIcon(rt::stock_picture(QLatin1String(b.picture)));
        b.item->setIconVisibleInMenu(false);
        b.item->setIconText(b.text);
        b.item->setToolTip(b.text);
        toolbar_->addAction(b.item);
    }
}
