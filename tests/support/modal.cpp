#include "support/modal.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <memory>

namespace testing {

namespace {

// The event-loop depth at which a window was shown. QDialog::exec shows the window, then runs
// its own loop one level deeper; any event handled while it is shown (the show itself may
// handle some) comes before that loop, and an answer given then is lost.
const char* const shown_at_level = "testing_shown_at_level";

int loop_level()
{
    return static_cast<int>(QThread::currentThread()->loopLevel());
}

class show_watcher : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow())
            watched->setProperty(shown_at_level, loop_level());
        return false;
    }
};

void watch_shows()
{
    static show_watcher* watcher = [] {
        auto* w = new show_watcher;
        w->setParent(qApp);
        qApp->installEventFilter(w);
        return w;
    }();
    (void)watcher;
}

struct pending {
    std::function<bool(QWidget*)> answer;
    QDeadlineTimer give_up {60000}; // for the window to appear
    bool answered = false;
    QPointer<QWidget> window; // the one answered
    bool answering = false;
};

// Whether `w`'s own event loop is running: the loop is deeper than where `w` was shown.
bool runs_its_loop(QWidget* w)
{
    // A window shown before the first answer was queued counts as shown outside any loop.
    const QVariant shown = w->property(shown_at_level);
    return loop_level() > (shown.isValid() ? shown.toInt() : 0);
}

void poll(std::shared_ptr<pending> p)
{
    QTimer::singleShot(p->answered ? 50 : 10, qApp, [p] {
        // An answer that waits for something runs a loop of its own; it is not answered twice.
        if (p->answering)
            return poll(p);
        QWidget* modal = QApplication::activeModalWidget();
        if (p->answered) {
            // Closed: gone, hidden, or no longer the one in front.
            if (!p->window || !p->window->isVisible() || p->window != modal)
                return;
        } else if (p->give_up.hasExpired()) {
            return;
        }
        if (modal && modal->isVisible() && runs_its_loop(modal)) {
            p->answering = true;
            const bool meant = p->answer(modal);
            p->answering = false;
            if (meant) {
                p->answered = true;
                p->window = modal;
            }
        }
        poll(p);
    });
}

} // namespace

void answer_modal(std::function<bool(QWidget*)> answer)
{
    watch_shows();
    auto p = std::make_shared<pending>();
    p->answer = std::move(answer);
    poll(p);
}

void press_return_in_modal()
{
    answer_modal([](QWidget* w) {
        QTest::keyClick(w, Qt::Key_Return);
        return true;
    });
}

} // namespace testing
