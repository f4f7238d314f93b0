// tovik-scroll-bench: a list pane holding the rows of FILE, shown, scrolled as a person scrolls
// it: wheel notches, Page Down and Page Up, and the scroll bar's handle dragged from top to
// bottom. Each step is an input event given to the pane; it is timed from the event until the
// pane has painted the rows it then shows. Prints each kind's median, 95th percentile and
// slowest step in milliseconds; exits 1 when a step left the view where it was. Run it on the
// display to be measured (Xvfb for the real window; the offscreen platform paints too).

#include "compare/import/source_load.h"
#include "compare/linetable/grid_pane.h"

#include <QApplication>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTableView>
#include <QTest>
#include <QWheelEvent>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;

// Counts the paints of a widget, so that a step is known to have painted.
class paint_counter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        paints += e->type() == QEvent::Paint;
        return false;
    }
};

// Gives one input event by `give`, then lets the pane take it and paint; the milliseconds.
double timed_step(const std::function<void()>& give)
{
    const auto start = clock_type::now();
    give();
    QApplication::processEvents();
    return std::chrono::duration<double, std::milli>(clock_type::now() - start).count();
}

void report(const char* kind, std::vector<double> ms, int paints)
{
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[std::min(ms.size() - 1, static_cast<std::size_t>(q * ms.size()))]; };
    std::printf("%-12s %4zu steps  %4d paints  median %6.2f ms  95%% %6.2f ms  slowest %6.2f ms\n", kind, ms.size(),
        paints, at(0.5), at(0.95), ms.back());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: tovik-scroll-bench FILE [STEPS]\n");
        return 2;
    }
    const int steps = argc == 3 ? std::max(1, std::atoi(argv[2])) : 100;
    QApplication app(argc, argv);
    rt::grid_pane pane;
    if (!core::load_source(argv[1], pane.table())) {
        std::fprintf(stderr, "tovik-scroll-bench: cannot read %s\n", argv[1]);
        return 1;
    }
    pane.resize(900, 700);
    pane.show();
    QTableView* view = pane.view();
    view->setFocus();
    if (!QTest::qWaitForWindowExposed(&pane))
        std::fprintf(stderr, "tovik-scroll-bench: the window was not shown; timing the paint alone\n");
    QApplication::processEvents();
    QWidget* port = view->viewport();
    QScrollBar* bar = view->verticalScrollBar();
    paint_counter counter;
    port->installEventFilter(&counter);
    int paints[3] = {};
    bool moved[3] = {true, true, true};
    const auto top_row = [&] { return view->rowAt(0); };

    std::vector<double> wheel;
    for (int i = 0; i < steps; ++i) {
        const int before = top_row();
        wheel.push_back(timed_step([&] {
            const QPoint at(port->width() / 2, port->height() / 2);
            QWheelEvent e(QPointF(at), QPointF(port->mapToGlobal(at)), QPoint(), QPoint(0, -120), Qt::NoButton,
                Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(port, &e);
        }));
        moved[0] = moved[0] && top_row() > before;
    }
    paints[0] = counter.paints;
    // The keys move the current row a page at a time: one is chosen first, as a click would.
    view->setCurrentIndex(view->indexAt(QPoint(1, 1)));
    QApplication::processEvents();
    std::vector<double> pages;
    for (int i = 0; i < 2 * steps; ++i) {
        const bool down = i < steps;
        const int before = top_row();
        pages.push_back(timed_step([&] { QTest::keyClick(view, down ? Qt::Key_PageDown : Qt::Key_PageUp); }));
        moved[1] = moved[1] && (down ? top_row() > before : top_row() < before || before == 0);
    }
    paints[1] = counter.paints - paints[0];
    // The handle is taken where it stands and dragged down to the bar's end, a step at a time.
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = Qt::Vertical;
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.sliderPosition = bar->sliderPosition();
    option.sliderValue = bar->value();
    option.singleStep = bar->singleStep();
    option.pageStep = bar->pageStep();
    const QRect handle = bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, bar);
    QPoint at = handle.center();
    QMouseEvent press(
        QEvent::MouseButtonPress, at, bar->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &press);
    std::vector<double> drag;
    const int span = std::max(1, bar->height() - handle.height() - at.y());
    for (int i = 1; i <= steps; ++i) {
        const int before = bar->value();
        const QPoint to(at.x(), handle.center().y() + span * i / steps);
        drag.push_back(timed_step([&] {
            QMouseEvent move(QEvent::MouseMove, to, bar->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(bar, &move);
        }));
        moved[2] = moved[2] && bar->value() >= before;
    }
    paints[2] = counter.paints - paints[0] - paints[1];
    QMouseEvent release(
        QEvent::MouseButtonRelease, at, bar->mapToGlobal(at), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(bar, &release);
    moved[2] = moved[2] && bar->value() > bar->maximum() * 9 / 10;

    std::printf("rows         %ld\n", pane.table().rowcount());
    report("wheel", wheel, paints[0]);
    report("page keys", pages, paints[1]);
    report("bar dragged", drag, paints[2]);
    const char* kinds[3] = {"wheel", "page keys", "bar dragged"};
    bool all = true;
    for (int k = 0; k < 3; ++k) {
        if (!moved[k])
            std::fprintf(stderr, "tovik-scroll-bench: a step of %s left the view where it was\n", kinds[k]);
        all = all && moved[k];
    }
    return all ? 0 : 1;
}
