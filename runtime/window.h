#pragma once
// The life of a window: it is created (its C++ constructor builds its controls in their fixed
// order), each control's constructor event runs, then its open event; later its close event
// runs, then it is destroyed. Windows open through their global reference (window_refs.h),
// so there is at most one of each class.

#include <QDialog>
#include <QPointer>

class QMdiArea;
class QMdiSubWindow;

namespace rt {

class window_events {
public:
    virtual ~window_events() = default;
    // The constructor events of the window's controls, in the order of its control list.
    virtual void constructors() { }
    virtual void open_event() { }
    virtual void close_event() { }
};

// A modal response window: its opener waits until it closes.
class response_window : public QDialog, public window_events {
    Q_OBJECT
public:
    explicit response_window(QWidget* parent = nullptr);

    // Closes the window, leaving `value` in the message object for the opener.
    void closewithreturn(double value);

protected:
    // Fixes the size and turns off the minimize and maximize boxes.
    void fix_size(int width_units, int height_units);
};

// Opens a response window of class W through its reference and waits until it closes.
template <class W> void open_response(QPointer<W>& ref, QWidget* parent)
{
    if (ref) {
        ref->raise();
        return;
    }
    W w(parent);
    ref = &w;
    w.constructors();
    w.open_event();
    w.exec();
}

// Puts `sheet` into `area` as a sheet and shows it; the sheet is destroyed when it closes.
QMdiSubWindow* add_sheet(QMdiArea* area, QWidget* sheet);

} // namespace rt
