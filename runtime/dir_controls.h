#pragma once
// The list box and the drop-down list with directory listings, in the runtime's entry forms:
// "[-c-]" for a drive, "[name]" for a directory, "[..]" for the parent, a file's bare name.

#include "runtime/core/seam.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPoint>

#include <functional>
#include <string>

class QDrag;

namespace rt {

// Type masks of dirlist.
enum dirlist_mask : unsigned {
    dirlist_directories = 16,
    dirlist_files = 32, // with the directories: 48
    dirlist_drives = 16384,
};

// The key and button state that the list's mouse events carry in `flags`.
enum mouse_flag : unsigned {
    mk_lbutton = 0x1,
    mk_rbutton = 0x2,
    mk_shift = 0x4,
    mk_control = 0x8,
    mk_mbutton = 0x10,
};

class listbox : public QListWidget {
    Q_OBJECT
public:
    explicit listbox(QWidget* parent = nullptr);

    // Replaces the entries with the listing that `pattern` names ("c:\*.*" outright, "name\*.*"
    // relative to the directory listed last); true when the directory could be listed.
    bool dirlist(const QString& pattern, unsigned mask);
    // Why the last dirlist could not list its directory, in the system's words ("Permission
    // denied"); empty when it could.
    QString dirlist_failure() const { return failure_; }
    // Writes the selected entry's path form into `text` ("name\", "..\" or the file's name);
    // true for a directory or the parent entry, false for a file.
    bool dirselect(QString& text) const;
    // Selects the first entry after entry `start` (0: from the top) whose text is `text`; its
    // number from 1, or 0. Raises no selectionchanged.
    int selectitem(const QString& text, int start);
    // The text of entry `n`, numbered from 1; empty when there is none.
    QString text(int n) const;
    // The path form of the directory listed last, which relative patterns start from.
    QString current_directory() const { return QString::fromStdString(current_); }

    void set_dragicon(const QString& picture);
    QString dragicon() const { return dragicon_; }

    // Where the left button last went down, in the list's viewport, and whether on an entry.
    QPoint press_position() const { return press_position_; }
    bool pressed_on_entry() const { return pressed_on_entry_; }

    // Drags the list itself, showing its drag picture; returns when the drop (or its refusal)
    // is done. The drag carries only `drag_mime_type`, so nothing outside the program takes it.
    Qt::DropAction start_drag();
    static QString drag_mime_type();

    // Runs the drag that start_drag built; tests stand in for it, since a real drag needs a
    // screen.
    using drag_starter = std::function<Qt::DropAction(QDrag&)>;
    // The seam through which tests run the drag.
    static core::seam<drag_starter>& drag_seam();

    // Typing moves the cursor to the next entry whose name begins with what was typed (a
    // folder's name read without its brackets); it chooses nothing, since choosing a folder
    // enters it. Space or Return chooses the entry under the cursor.
    void keyboardSearch(const QString& search) override;

signals:
    // The user chose entry `index` (from 1), by mouse or keyboard: a new selection, or a click,
    // Space or Return on the entry already selected, which chooses it again.
    void selectionchanged(int index);
    void ue_lbuttondown(unsigned flags, int xpos, int ypos);
    void ue_lbuttonup(unsigned flags, int xpos, int ypos);
    void ue_mousemove(unsigned flags, int xpos, int ypos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Ctrl with a key that moves moves the cursor alone, as in lists of many choices.
    QItemSelectionModel::SelectionFlags selectionCommand(
        const QModelIndex& index, const QEvent* event = nullptr) const override;

private:
    int selected_row() const;
    // Raises selectionchanged when the selection moved from `row_before`, or when `again` the
    // entry that stays selected was chosen once more.
    void report_if_selection_moved(int row_before, bool again = false);

    QString dragicon_;
    std::string current_; // path form, empty until the first listing
    QString failure_;
    QPoint press_position_;
    bool pressed_on_entry_ = false;
    unsigned listing_generation_ = 0;
    bool press_refilled_ = false; // the last press entered a folder
    QString typed_; // what was typed so far in one search
    QElapsedTimer typed_clock_;
};

class dropdownlistbox : public QComboBox {
    Q_OBJECT
public:
    explicit dropdownlistbox(QWidget* parent = nullptr);

    bool dirlist(const QString& pattern, unsigned mask);
    int selectitem(const QString& text, int start);
    QString text(int n) const;

signals:
    // The user chose entry `index` (from 1), even the one already shown.
    void selectionchanged(int index);

private:
    std::string current_;
};

} // namespace rt
