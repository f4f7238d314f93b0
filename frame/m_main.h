#pragma once
// The main menu: File (Open, Save As, Print, Exit) and Help (About), and the toolbar made from
// the items that carry a picture. Menu and toolbar share one action per item, so disabling an
// item greys its toolbar button with it.

#include <QObject>

class QAction;
class w_frame;
class QMenu;
class QToolBar;

class m_main : public QObject {
    Q_OBJECT
public:
    // Builds the menu bar and the toolbar of `frame`; the clicks go to the frame's events.
    explicit m_main(w_frame* frame);

    // The separators m_-2, m_- and m_-1 between them are only named: nothing refers to them.
    struct file_items {
        QMenu* menu = nullptr;
        QAction* m_open = nullptr;
        QAction* m_saveas = nullptr;
        QAction* m_print = nullptr;
        QAction* m_exit = nullptr;
    } m_file;

    struct help_items {
        QMenu* menu = nullptr;
        QAction* m_about = nullptr;
    } m_help;

    QToolBar* toolbar() const { return toolbar_; }

private:
    void build_toolbar(w_frame* frame);

    QToolBar* toolbar_ = nullptr;
};
