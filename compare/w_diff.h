#pragma once
// The compare window: the browser on the left, the two source panes in the middle, the two
// result panes on the right, and the hidden combined list for printing and saving.
//
// Its handlers live beside the logic they drive: loading in compare/import, the compare in
// compare/engine, browsing in compare/browser, printing and saving in compare/output, the
// source panes' own events in compare/source_panes.cpp.

#include "runtime/events.h"
#include "runtime/text_label.h"
#include "runtime/window.h"

#include <QList>
#include <QString>
#include <QWidget>

class QCheckBox;
class QPushButton;

namespace rt {
class dropdownlistbox;
class grid_pane;
class listbox;
} // namespace rt

class w_diff : public QWidget, public rt::window_events {
    Q_OBJECT
public:
    explicit w_diff(QWidget* parent = nullptr);
    ~w_diff() override;

    // The controls, in the order of creation and of the control list.
    QCheckBox* cbx_2 = nullptr;
    QCheckBox* cbx_1 = nullptr;
    rt::grid_pane* dw_sum = nullptr;
    QPushButton* cb_compare = nullptr;
    rt::text_label* st_path = nullptr;
    rt::text_label* st_4 = nullptr;
    rt::text_label* st_3 = nullptr;
    rt::text_label* st_2 = nullptr;
    rt::text_label* st_1 = nullptr;
    rt::listbox* lb_1 = nullptr;
    rt::dropdownlistbox* ddlb_1 = nullptr;
    rt::grid_pane* dw_diff = nullptr;
    rt::grid_pane* dw_same = nullptr;
    rt::grid_pane* dw_2 = nullptr;
    rt::grid_pane* dw_1 = nullptr;

    QList<QWidget*> control_list() const { return controls_; }

    // The designed size: the controls have fixed places, so no layout can tell it.
    QSize sizeHint() const override;

    // Window variables shared by the browser, the import and the drag.
    QString is_drive;
    QString is_path;
    QString is_file;
    bool ib_lbuttondown = false;
    // A file chosen by a press of the mouse, waiting for the release to load into the checked pane.
    bool ib_loadonrelease = false;

    void constructors() override;
    void open_event() override;
    void close_event() override;

    // Loads is_file into source pane ai (1 or 2); any other value loads nothing.
    void ue_dragdrop(int ai);

    // Control events.
    void ddlb_1_constructor();
    void ddlb_1_selectionchanged(int index);
    void lb_1_ue_refresh();
    void lb_1_selectionchanged(int index);
    // Takes the browser back to `came_from` after the folder in is_path could not be listed.
    void refuse_folder(const QString& came_from, const QString& chosen);
    // Loads is_file into the pane whose box is checked, if either is.
    void load_into_checked_pane();
    void lb_1_ue_lbuttondown(unsigned flags, int xpos, int ypos);
    void lb_1_ue_lbuttonup(unsigned flags, int xpos, int ypos);
    void lb_1_ue_mousemove(unsigned flags, int xpos, int ypos);
    void cbx_1_clicked();
    void cbx_2_clicked();
    void cb_compare_clicked();
    void dw_1_dragdrop(QObject* source);
    void dw_2_dragdrop(QObject* source);

public slots:
    // User events raised by name.
    RT_EVENT void ue_compare();
    RT_EVENT void ue_print();
    RT_EVENT void ue_saveas();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void create_controls();
    void connect_events();

    QList<QWidget*> controls_;
    bool closed_ = false;
};
