// The source panes' own events: the check-box pair that chooses where a selected file goes,
// drops of the directory list on a pane, and the Compare button.

#include "compare/w_diff.h"

#include "runtime/dir_controls.h"
#include "runtime/events.h"

#include <QCheckBox>

void w_diff::cbx_1_clicked()
{
    // The box has already toggled; the other one takes the opposite state, raising no event.
    cbx_2->setChecked(!cbx_1->isChecked());
}

void w_diff::cbx_2_clicked()
{
    cbx_1->setChecked(!cbx_2->isChecked());
}

void w_diff::dw_1_dragdrop(QObject* source)
{
    if (source == lb_1)
        ue_dragdrop(1);
}

void w_diff::dw_2_dragdrop(QObject* source)
{
    if (source == lb_1)
        ue_dragdrop(2);
}

void w_diff::cb_compare_clicked()
{
    rt::triggerevent(this, "ue_compare");
}
