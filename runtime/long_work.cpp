#include "runtime/long_work.h"

#include "runtime/core/big_memory.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <exception>
#include <future>
#include <system_error>
#include <thread>

namespace rt {

namespace {

work_display* display = nullptr;
long_work* current = nullptr;

// Work that ends sooner than this is never shown as progress: the bar would only flicker.
constexpr int quiet_ms = 100;
// How often the bar moves and the window paints while a step runs.
constexpr int paint_ms = 50;

bool is_user_input(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::InputMethod:
        return true;
    default:
        return false;
    }
}

} // namespace

// Drops the input given while a step runs, so that no handler starts beside it and nothing is
// replayed when it ends; Escape asks the step to stop, and the Cancel button takes its clicks.
class long_work::input_guard : public QObject {
public:
    explicit input_guard(bool may_cancel)
        : may_cancel_(may_cancel)
    {
        qApp->installEventFilter(this);
    }
    ~input_guard() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        if (type == QEvent::Close && watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow()) {
            // A window closed under the work would take the work's tables with it.
            event->ignore();
            return true;
        }
        if (!is_user_input(type))
            return false;
        if (type == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            if (may_cancel_)
                long_work::cancel_current();
            return true;
        }
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease) {
            QWidget* cancel = display ? display->cancel_button() : nullptr;
            if (cancel && watched->isWidgetType()
                && (watched == cancel || cancel->isAncestorOf(static_cast<QWidget*>(watched))))
                return false;
        }
        return true;
    }

private:
    const bool may_cancel_;
};

void set_work_display(work_display* d)
{
    display = d;
}

long_work::long_work(const QString& doing, std::vector<double> shares, bool may_cancel, bool after_dialog)
    : shares_(std::move(shares))
    , may_cancel_(may_cancel)
    , guard_(std::make_unique<input_guard>(may_cancel))
    , outer_(current)
{
    current = this;
    outer_gauge_ = core::work::attach(&gauge_);
    started_.start();
    if (display) {
        if (after_dialog)
            display->repaint_window();
        display->show_doing(doing);
    }
}

long_work::~long_work()
{
    core::work::attach(outer_gauge_);
    current = outer_;
    guard_.reset();
    if (!outer_) {
        // The window now waits for its user: what the step freed goes back to the system.
        core::big_memory::give_back_freed();
        set_normal_pointer(); // before "Ready" is painted
    }
    if (display && !outer_) {
        display->show_progress(-1, false);
        display->show_doing(QStringLiteral("Ready"));
    }
}

void long_work::run_aside(const std::function<void()>& work)
{
    std::promise<void> ended;
    std::future<void> ending = ended.get_future();
    std::thread worker;
    try {
        worker = std::thread([&] {
            try {
                work();
                ended.set_value();
            } catch (...) {
                ended.set_exception(std::current_exception());
            }
        });
    } catch (const std::system_error&) {
        // No thread to spare: the work runs here, with the window still until it ends.
        work();
        return;
    }
    // The window's events are taken between waits rather than in an event loop of its own: no
    // timer is needed to end the wait, so it ends even where none can be made (memory short).
    if (ending.wait_for(std::chrono::milliseconds(quiet_ms)) != std::future_status::ready) {
        do {
            show_where();
            QCoreApplication::processEvents();
        } while (ending.wait_for(std::chrono::milliseconds(paint_ms)) != std::future_status::ready);
    }
    worker.join();
    ending.get();
}

void long_work::step()
{
    if (current)
        current->pump();
}

void long_work::pump()
{
    const qint64 now = started_.elapsed();
    if (now < quiet_ms || now - pumped_at_ < paint_ms)
        return;
    pumped_at_ = now;
    show_where();
    QCoreApplication::processEvents();
}

void long_work::show_where()
{
    if (!display)
        return;
    const int stage = gauge_.stage.load(std::memory_order_acquire);
    const double whole = static_cast<double>(gauge_.whole.load(std::memory_order_relaxed));
    const double done = static_cast<double>(gauge_.done.load(std::memory_order_relaxed));
    double part = 0;
    for (int s = 0; s < stage && s < static_cast<int>(shares_.size()); ++s)
        part += shares_[static_cast<std::size_t>(s)];
    if (stage >= 0 && stage < static_cast<int>(shares_.size()) && whole > 0)
        part += shares_[static_cast<std::size_t>(stage)] * std::min(1.0, done / whole);
    const int percent = std::clamp(static_cast<int>(part * 100), 0, 100);
    display->show_progress(percent, may_cancel_ && !cancelled());
}

bool long_work::cancelled() const
{
    return gauge_.stop.load(std::memory_order_relaxed);
}

bool long_work::running()
{
    return current != nullptr;
}

void long_work::cancel_current()
{
    if (current && current->may_cancel_)
        current->gauge_.stop.store(true, std::memory_order_relaxed);
}

} // namespace rt
