#pragma once
// Steps that may take long: a load, a compare, a save, a print, a copy. While one runs the
// pointer is busy, the status line says what is being done, a progress bar soon says how far
// it has come, and the window goes on painting. Input given to the window meanwhile is dropped,
// never replayed afterwards; Escape or the Cancel button asks a step that allows it to stop.
// Each step still returns only when its work is done.

#include "runtime/core/work_gauge.h"
#include "runtime/pointer.h"

#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QWidget;

namespace rt {

// Where steps show themselves: the frame's status line, progress bar and Cancel button.
class work_display {
public:
    virtual ~work_display() = default;
    // Puts `text` in the status line and paints it at once.
    virtual void show_doing(const QString& text) = 0;
    // Shows the bar at `percent` (0 to 100), with the Cancel button when `may_cancel`; a
    // negative percent hides both.
    virtual void show_progress(int percent, bool may_cancel) = 0;
    // The Cancel button, which takes clicks while everything else is held off.
    virtual QWidget* cancel_button() const = 0;
    // Paints the whole window at once: a dialog that has just closed leaves no picture.
    virtual void repaint_window() = 0;
};

// The display steps show themselves on; null while there is none (no frame).
void set_work_display(work_display* display);

class long_work {
public:
    // Starts a step that the status line calls `doing`. `shares` weighs the gauge's stages (they
    // add up to 1); `after_dialog` when a dialog has just closed on the way to the step.
    long_work(const QString& doing, std::vector<double> shares, bool may_cancel, bool after_dialog = false);
    // Ends the step: the status line says "Ready" again, the bar goes, the pointer is normal.
    ~long_work();
    long_work(const long_work&) = delete;
    long_work& operator=(const long_work&) = delete;

    // Runs `work` on a thread of its own while the window paints, and returns once it has ended,
    // throwing on here what it threw.
    void run_aside(const std::function<void()>& work);
    // For work that stays on the window's thread, now and then: shows where the gauge stands
    // and lets the window paint. Does nothing while no step runs.
    static void step();
    // True once the user asked the step to stop.
    bool cancelled() const;
    // True while a step runs; no second one starts meanwhile.
    static bool running();
    // Asks the running step to stop, if it may be stopped.
    static void cancel_current();

private:
    class input_guard;
    void show_where();
    void pump();

    busy_pointer busy_;
    core::work_gauge gauge_;
    core::work_gauge* outer_gauge_ = nullptr;
    std::vector<double> shares_;
    const bool may_cancel_;
    QElapsedTimer started_;
    qint64 pumped_at_ = 0;
    std::unique_ptr<input_guard> guard_;
    long_work* outer_ = nullptr;
};

} // namespace rt
