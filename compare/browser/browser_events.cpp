// The browser in the left column: the drive list, the folder list with its path label, and
// the drag of the list onto the source panes.

#include "compare/w_diff.h"

#include "compare/browser/browser_observer.h"
#include "runtime/dir_controls.h"
#include "runtime/message_box.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>

namespace {

// The runtime's string search: the 1-based position of `what` in `text` at or after `start`,
// 0 when there is none.
long string_pos(const QString& text, const QString& what, long start)
{
    if (start < 1)
        start = 1;
    return text.indexOf(what, static_cast<int>(start - 1)) + 1;
}

// A drive entry without "[-" and "-]": the drive's name.
QString drive_of_entry(const QString& entry)
{
    return entry.length() > 4 ? entry.mid(2, entry.length() - 4) : QString();
}

} // namespace

namespace browser {

core::seam<pane_load_observer>& pane_load_seam()
{
    static core::seam<pane_load_observer> seam;
    return seam;
}

void notify_pane_load(int pane, const QString& file)
{
    if (const auto observer = pane_load_seam().stand_in())
        (*observer)(pane, file);
}

} // namespace browser

void w_diff::ddlb_1_constructor()
{
    int li_index;

    ddlb_1->dirlist(QStringLiteral("*.*"), rt::dirlist_drives);
    li_index = ddlb_1->selectitem(QStringLiteral("[-c-]"), 0);
    if (li_index == 0 && ddlb_1->count() > 0) {
        // Without a drive c the first drive is shown, so the list still opens on a root.
        ddlb_1->setCurrentIndex(0);
        li_index = 1;
    }
    is_drive = drive_of_entry(ddlb_1->text(li_index));
    lb_1_ue_refresh();
}

void w_diff::ddlb_1_selectionchanged(int index)
{
    is_drive = drive_of_entry(ddlb_1->text(index));
    lb_1_ue_refresh();
}

void w_diff::lb_1_ue_refresh()
{
    lb_1->dirlist(is_drive + QStringLiteral(":\\*.*"), rt::dirlist_directories | rt::dirlist_files);
    is_path = is_drive + QStringLiteral(":\\");
    st_path->setText(is_path);
}

void w_diff::lb_1_selectionchanged(int index)
{
    QString ls_text;
    long ll_pos = 0;
    long ll_last = 0;

    ls_text = lb_1->text(index);
    lb_1->set_dragicon(QStringLiteral("dragrow.ico"));
    if (!lb_1->dirselect(ls_text)) {
        ls_text = is_path + ls_text;
        is_file = ls_text;
        // A press of the mouse may yet become a drag, which loads the file only where it is
        // dropped; the checked pane takes it when the button comes up without one.
        if (ib_lbuttondown)
            ib_loadonrelease = true;
        else
            load_into_checked_pane();
        return;
    }

    const QString came_from = is_path;
    const QString chosen = lb_1->text(index);
    if (ls_text == QLatin1String("..\\")) {
        is_path = is_path.left(is_path.length() - 1);
        do {
            ll_last = ll_pos;
            ll_pos = string_pos(is_path, QStringLiteral("\\"), ll_pos + 1);
        } while (ll_pos != 0);
        is_path = is_path.left(static_cast<int>(ll_last));
    } else {
        is_path = is_path + ls_text;
    }
    st_path->setText(is_path);
    ls_text = ls_text + QStringLiteral("*.*");
    if (!lb_1->dirlist(ls_text, rt::dirlist_directories | rt::dirlist_files))
        refuse_folder(came_from, chosen);
}

void w_diff::refuse_folder(const QString& came_from, const QString& chosen)
{
    // A folder that cannot be listed is not entered: the user stays where they were, with the
    // cursor on the entry they chose, and hears why.
    const QString folder = is_path;
    const QString why = lb_1->dirlist_failure();
    is_path = came_from;
    st_path->setText(is_path);
    lb_1->dirlist(is_path + QStringLiteral("*.*"), rt::dirlist_directories | rt::dirlist_files);
    for (int n = 1; n <= lb_1->count(); ++n) {
        if (lb_1->text(n) == chosen) {
            lb_1->setCurrentRow(n - 1, QItemSelectionModel::NoUpdate);
            break;
        }
    }
    rt::messagebox(
        QStringLiteral("Folder read error"), QStringLiteral("Cannot open the folder %1\n%2.").arg(folder, why));
}

void w_diff::load_into_checked_pane()
{
    if (cbx_1->isChecked()) {
        browser::notify_pane_load(1, is_file);
        ue_dragdrop(1);
    } else if (cbx_2->isChecked()) {
        browser::notify_pane_load(2, is_file);
        ue_dragdrop(2);
    }
}

void w_diff::lb_1_ue_lbuttondown(unsigned, int, int)
{
    ib_lbuttondown = true;
    ib_loadonrelease = false;
}

void w_diff::lb_1_ue_lbuttonup(unsigned, int, int)
{
    ib_lbuttondown = false;
    if (ib_loadonrelease) {
        ib_loadonrelease = false;
        load_into_checked_pane();
    }
}

void w_diff::lb_1_ue_mousemove(unsigned flags, int xpos, int ypos)
{
    // A drag begins once the held button has carried the pointer the platform's drag distance
    // from an entry it was pressed on.
    if (!ib_lbuttondown || !(flags & rt::mk_lbutton) || !lb_1->pressed_on_entry())
        return;
    if ((QPoint(xpos, ypos) - lb_1->press_position()).manhattanLength() < QApplication::startDragDistance())
        return;
    // The drag takes the button's release, so the list will not see it; the file goes only to
    // the pane it is dropped on.
    ib_lbuttondown = false;
    ib_loadonrelease = false;
    lb_1->start_drag();
}
