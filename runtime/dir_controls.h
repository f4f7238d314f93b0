#pragma once
// The list box and the drop-down list with directory listings, in the runtime's entry forms:
// "[-c-]" for a drive, "[name]" for a directory, "[..]" for the parent, a file's bare name.

#include <QComboBox>
#include <QListWidget>

namespace rt {

// Type masks of dirlist.
enum dirlist_mask : unsigned {
    dirlist_directories = 16,
    dirlist_files = 32, // with the directories: 48
    dirlist_drives = 16384,
};

class listbox : public QListWidget {
    Q_OBJECT
public:
    explicit listbox(QWidget* parent = nullptr);

    // Replaces the entries with the listing that `pattern` names ("c:\*.*" outright, "name\*.*"
    // relative to the directory listed last); true when the directory could be listed.
    bool dirlist(const QString& pattern, unsigned mask);
    // Writes the selected entry's path form into `text` ("name\", "..\" or the file's name);
    // true for a directory or the parent entry, false for a file.
    bool dirselect(QString& text) const;
    // Selects the first entry after entry `start` (0: from the top) whose text is `text`; its
    // number from 1, or 0. Raises no selectionchanged.
    int selectitem(const QString& text, int start);
    // The text of entry `n`, numbered from 1; empty when there is none.
    QString text(int n) const;

    void set_dragicon(const QString& picture);
    QString dragicon() const { return dragicon_; }

signals:
    // The user selected entry `index` (from 1), by mouse or keyboard.
    void selectionchanged(int index);
    void ue_lbuttondown(unsigned flags, int xpos, int ypos);
    void ue_lbuttonup(unsigned flags, int xpos, int ypos);
    void ue_mousemove(unsigned flags, int xpos, int ypos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QString dragicon_;
    bool programmatic_ = false;
    friend class listbox_guard;
};

class dropdownlistbox : public QComboBox {
    Q_OBJECT
public:
    explicit dropdownlistbox(QWidget* parent = nullptr);

    bool dirlist(const QString& pattern, unsigned mask);
    int selectitem(const QString& text, int start);
    QString text(int n) const;

signals:
    // The user chose entry `index` (from 1).
    void selectionchanged(int index);
};

} // namespace rt
