#include "runtime/dir_controls.h"

#include "runtime/core/drive_model.h"

#include <QApplication>
#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>

namespace rt {

namespace {

// Item data of a list entry beside its text: what it is and what it adds to a path.
constexpr int kind_role = Qt::UserRole;
constexpr int path_form_role = Qt::UserRole + 1;

unsigned flags_of(const QMouseEvent* event)
{
    unsigned flags = 0;
    const Qt::MouseButtons buttons = event->buttons();
    if (buttons & Qt::LeftButton)
        flags |= mk_lbutton;
    if (buttons & Qt::RightButton)
        flags |= mk_rbutton;
    if (buttons & Qt::MiddleButton)
        flags |= mk_mbutton;
    if (event->modifiers() & Qt::ShiftModifier)
        flags |= mk_shift;
    if (event->modifiers() & Qt::ControlModifier)
        flags |= mk_control;
    return flags;
}

// Runs the listing and hands each entry to `add` as its text, kind and path form; `failure`
// becomes the reason a listing that failed gives.
template <class Add> bool fill(const QString& pattern, unsigned mask, std::string& current, QString& failure, Add add)
{
    const core::listing listing = core::list_entries(pattern.toStdString(), current, mask);
    failure = QString::fromStdString(listing.reason);
    // A folder that cannot be read still becomes the current one, as the path shown follows
    // it: the next relative pattern then starts from the folder the user sees.
    if (!listing.folder.empty())
        current = listing.folder;
    for (const core::dir_entry& entry : listing.entries) {
        add(QString::fromStdString(core::entry_text(entry)), static_cast<int>(entry.kind),
            QString::fromStdString(core::entry_path_form(entry)));
    }
    return listing.ok;
}

} // namespace

listbox::listbox(QWidget* parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The list begins its own drags (start_drag); the view's built-in one would carry items.
    setDragEnabled(false);
    setAcceptDrops(false);
    setUniformItemSizes(true);
    // ue_mousemove follows the pointer whether or not a button is held.
    setMouseTracking(true);
}

bool listbox::dirlist(const QString& pattern, unsigned mask)
{
    ++listing_generation_;
    clear();
    const bool ok = fill(pattern, mask, current_, failure_, [this](const QString& text, int kind, const QString& form) {
        auto* item = new QListWidgetItem(text);
        item->setData(kind_role, kind);
        item->setData(path_form_role, form);
        addItem(item);
    });
    // The keyboard's cursor rests on the first entry, unselected, as when the list takes the
    // focus: the first arrow key then moves on from it, rather than choosing the parent entry
    // again and again, which would leave no way down by keyboard.
    if (count() > 0)
        selectionModel()->setCurrentIndex(model()->index(0, 0), QItemSelectionModel::NoUpdate);
    return ok;
}

bool listbox::dirselect(QString& text) const
{
    const int row = selected_row();
    if (row < 0) {
        text.clear();
        return false;
    }
    const QListWidgetItem* entry = item(row);
    text = entry->data(path_form_role).toString();
    return entry->data(kind_role).toInt() != static_cast<int>(core::entry_kind::file);
}

int listbox::selectitem(const QString& text, int start)
{
    for (int row = qMax(start, 0); row < count(); ++row) {
        if (item(row)->text() == text) {
            setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
            scrollToItem(item(row));
            return row + 1;
        }
    }
    return 0;
}

QString listbox::text(int n) const
{
    const QListWidgetItem* entry = n >= 1 && n <= count() ? item(n - 1) : nullptr;
    return entry ? entry->text() : QString();
}

void listbox::set_dragicon(const QString& picture)
{
    dragicon_ = picture;
}

QString listbox::drag_mime_type()
{
    return QStringLiteral("application/x-tovik-list-drag");
}

core::seam<listbox::drag_starter>& listbox::drag_seam()
{
    static core::seam<drag_starter> seam;
    return seam;
}

Qt::DropAction listbox::start_drag()
{
    auto* drag = new QDrag(this);
    auto* data = new QMimeData;
    // The drag stands for the list alone; the process number only tells one run from another.
    data->setData(drag_mime_type(), QByteArray::number(QCoreApplication::applicationPid()));
    drag->setMimeData(data);
    if (!dragicon_.isEmpty()) {
        // Pictures named by file name are shipped as resources of that name.
        const QPixmap picture(QStringLiteral(":/tovik/pictures/") + dragicon_);
        if (!picture.isNull()) {
            drag->setPixmap(picture);
            drag->setHotSpot(QPoint(picture.width() / 2, picture.height() / 2));
        }
    }
    Qt::DropAction result;
    if (const auto stand_in = drag_seam().stand_in())
        result = (*stand_in)(*drag);
    else
        result = drag->exec(Qt::CopyAction, Qt::CopyAction);
    drag->deleteLater();
    return result;
}

int listbox::selected_row() const
{
    const QList<QListWidgetItem*> chosen = selectedItems();
    return chosen.isEmpty() ? -1 : row(chosen.first());
}

void listbox::report_if_selection_moved(int row_before, bool again)
{
    // Raised once the view has finished with the event, so the handler may refill the list.
    const int now = selected_row();
    if (now >= 0 && (now != row_before || again))
        emit selectionchanged(now + 1);
}

void listbox::mousePressEvent(QMouseEvent* event)
{
    const int before = selected_row();
    const unsigned generation = listing_generation_;
    const bool left = event->button() == Qt::LeftButton;
    // A click on the entry already selected chooses it again: the same file can go to the other
    // pane, or be read again after it changed. With Ctrl the click takes the selection away.
    const bool again
        = left && !(event->modifiers() & Qt::ControlModifier) && before >= 0 && indexAt(event->pos()).row() == before;
    if (left) {
        press_position_ = event->pos();
        pressed_on_entry_ = itemAt(event->pos()) != nullptr;
        // Raised before the press selects, so the selection's handler knows the button is down
        // and that the press may yet become a drag.
        emit ue_lbuttondown(flags_of(event), event->pos().x(), event->pos().y());
    }
    QListWidget::mousePressEvent(event);
    report_if_selection_moved(before, again);
    press_refilled_ = listing_generation_ != generation;
}

void listbox::mouseReleaseEvent(QMouseEvent* event)
{
    QListWidget::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton)
        emit ue_lbuttonup(flags_of(event), event->pos().x(), event->pos().y());
}

void listbox::mouseMoveEvent(QMouseEvent* event)
{
    // With a button held the view would select whatever lies under the pointer; the press
    // chose the entry, and the move may only begin a drag of it.
    if (event->buttons() == Qt::NoButton)
        QListWidget::mouseMoveEvent(event);
    emit ue_mousemove(flags_of(event), event->pos().x(), event->pos().y());
}

void listbox::mouseDoubleClickEvent(QMouseEvent* event)
{
    // When the first click entered a folder, the second lands on an entry of the new listing
    // that the user never aimed at: it must not enter that one too.
    if (press_refilled_) {
        press_refilled_ = false;
        event->accept();
        return;
    }
    const int before = selected_row();
    QListWidget::mouseDoubleClickEvent(event);
    report_if_selection_moved(before);
}

void listbox::keyPressEvent(QKeyEvent* event)
{
    const int before = selected_row();
    const int k = event->key();
    const bool enter = k == Qt::Key_Return || k == Qt::Key_Enter;
    // Any key but a typed character ends the search being typed; Shift and the other modifiers
    // held to type one do not.
    const bool modifier = (k >= Qt::Key_Shift && k <= Qt::Key_ScrollLock) || k == Qt::Key_AltGr;
    if (!modifier && (event->text().isEmpty() || !event->text().at(0).isPrint() || k == Qt::Key_Space))
        typed_clock_.invalidate();
    // Return, keypad Enter and Space choose the entry under the cursor, once however long they
    // are held: repeated, Return would walk in and out of folders.
    const bool chooses = (enter || k == Qt::Key_Space) && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier
        && !event->isAutoRepeat();
    const bool again = chooses && before >= 0 && currentRow() == before;
    if (chooses && enter && currentRow() >= 0 && currentRow() != before) {
        setCurrentRow(currentRow(), QItemSelectionModel::ClearAndSelect);
        event->accept();
    } else {
        QListWidget::keyPressEvent(event);
    }
    report_if_selection_moved(before, again);
}

QItemSelectionModel::SelectionFlags listbox::selectionCommand(const QModelIndex& index, const QEvent* event) const
{
    if (event && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        if (key->modifiers() & Qt::ControlModifier) {
            switch (key->key()) {
            case Qt::Key_Up:
            case Qt::Key_Down:
            case Qt::Key_Home:
            case Qt::Key_End:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
                return QItemSelectionModel::NoUpdate;
            default:
                break;
            }
        }
    }
    return QListWidget::selectionCommand(index, event);
}

void listbox::keyboardSearch(const QString& search)
{
    if (search.isEmpty() || count() == 0)
        return;
    // Keys typed within the platform's interval make one search that stays on a matching entry;
    // a new search starts after the cursor.
    const bool extending = typed_clock_.isValid() && !typed_clock_.hasExpired(QApplication::keyboardInputInterval());
    typed_ = extending ? typed_ + search : search;
    typed_clock_.start();
    const int from = currentRow() < 0 ? 0 : currentRow() + (extending ? 0 : 1);
    for (int i = 0; i < count(); ++i) {
        const int row = (from + i) % count();
        const QListWidgetItem* entry = item(row);
        QString name = entry->text();
        if (entry->data(kind_role).toInt() != static_cast<int>(core::entry_kind::file))
            name = name.mid(1, name.size() - 2);
        if (name.startsWith(typed_, Qt::CaseInsensitive)) {
            setCurrentRow(row, QItemSelectionModel::NoUpdate);
            scrollToItem(entry);
            return;
        }
    }
}

dropdownlistbox::dropdownlistbox(QWidget* parent)
    : QComboBox(parent)
{
    setEditable(false);
    // `activated` comes from the user alone, and also for the entry already shown: choosing
    // the drive again lists its root again.
    connect(this, QOverload<int>::of(&QComboBox::activated), this, [this](int row) {
        if (row >= 0)
            emit selectionchanged(row + 1);
    });
}

bool dropdownlistbox::dirlist(const QString& pattern, unsigned mask)
{
    const QSignalBlocker quiet(this);
    clear();
    QString failure;
    return fill(pattern, mask, current_, failure, [this](const QString& text, int kind, const QString& form) {
        addItem(text);
        setItemData(count() - 1, kind, kind_role);
        setItemData(count() - 1, form, path_form_role);
    });
}

int dropdownlistbox::selectitem(const QString& text, int start)
{
    for (int row = qMax(start, 0); row < count(); ++row) {
        if (itemText(row) == text) {
            const QSignalBlocker quiet(this);
            setCurrentIndex(row);
            return row + 1;
        }
    }
    return 0;
}

QString dropdownlistbox::text(int n) const
{
    return n >= 1 && n <= count() ? itemText(n - 1) : QString();
}

} // namespace rt
