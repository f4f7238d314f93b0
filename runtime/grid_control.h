#pragma once
// The grid control: rows on screen, laid out as the line table definition d_ext_text draws
// them. Per row a detail line of the row's number, es_text and es_text2; below the rows the
// total line "Total :" with the row count.

#include "runtime/core/row_source.h"

#include <QFrame>
#include <QPointer>

#include <memory>
#include <utility>
#include <vector>

class QAbstractItemModel;
class QAction;
class QDropEvent;
class QLabel;
class QTableView;

namespace rt {

class cell_delegate;
class grid_model;

class grid_control : public QFrame {
    Q_OBJECT
public:
    // Shows the rows of `content` and follows their changes; the control owns them.
    explicit grid_control(std::unique_ptr<core::grid_rows> content, QWidget* parent = nullptr);
    ~grid_control() override;

    core::grid_rows& rows() { return *rows_; }
    const core::grid_rows& rows() const { return *rows_; }

    QTableView* view() const { return view_; }
    QAbstractItemModel* model() const;
    // The two labels of the total line: "Total :" and the count.
    QLabel* total_label() const { return total_label_; }
    QLabel* count_label() const { return count_label_; }

    // Drops whose drag began at `source` are offered to the dragdrop signal; any other drag is
    // refused. With no source set the pane refuses every drop.
    void accept_drops_from(QObject* source);

    // Puts the selected rows on the clipboard, in the pane's order, one line each: es_text, then
    // a tab and es_text2 where that is not empty. Ctrl+C and the context menu's Copy run it.
    // Without the memory for the text a message box says so and the clipboard is unchanged.
    void copy_selection();
    QAction* copy_action() const { return copy_action_; }
    QAction* select_all_action() const { return select_all_action_; }

signals:
    // A drag that began at `source` was dropped on this pane.
    void dragdrop(QObject* source);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // The rows' area of the view takes drags first; they are judged here like the pane's own.
    bool eventFilter(QObject* watched, QEvent* event) override;

    // The object the drag under `event` began at; only a drag in progress knows it, so tests
    // put their own object in its place.
    virtual QObject* drag_source(const QDropEvent* event) const;

private:
    void offer_drag(QDragMoveEvent* event);
    void take_drop(QDropEvent* event);
    void update_total();
    // The chosen rows as runs of first and last row (from 0), in order; runs may overlap.
    std::vector<std::pair<int, int>> chosen_runs() const;
    // The text copy_selection puts on the clipboard: the rows of `runs`, each row once; empty
    // when the user cancelled. Throws std::bad_alloc without the memory.
    QString text_of_rows(const std::vector<std::pair<int, int>>& runs) const;

    std::unique_ptr<core::grid_rows> rows_;
    grid_model* model_ = nullptr;
    cell_delegate* delegate_ = nullptr;
    QTableView* view_ = nullptr;
    QLabel* total_label_ = nullptr;
    QLabel* count_label_ = nullptr;
    QAction* copy_action_ = nullptr;
    QAction* select_all_action_ = nullptr;
    QPointer<QObject> drop_source_;
};

} // namespace rt
