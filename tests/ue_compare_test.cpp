// The Compare event of the compare window: the result panes it fills, the status line and the
// pointer around it, and the panes' views following at once.

#include "compare/linetable/grid_pane.h"
#include "compare/w_diff.h"
#include "frame/w_frame.h"
#include "runtime/core/drive_model.h"
#include "runtime/core/line_file.h"
#include "runtime/events.h"
#include "runtime/message_box.h"
#include "runtime/pointer.h"
#include "runtime/save_dialog.h"
#include "runtime/window_refs.h"
#include "support/browser_tree.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <thread>
#include <unistd.h>

#include <string>
#include <vector>

using core::column;

namespace {

using rows = std::vector<std::pair<std::string, std::string>>;

rows rows_of(const core::line_table& t)
{
    rows out;
    for (long r = 1; r <= t.rowcount(); ++r)
        out.emplace_back(std::string(t.get(column::es_text, r)), std::string(t.get(column::es_text2, r)));
    return out;
}

void fill(rt::grid_pane* pane, const std::vector<std::string>& lines)
{
    core::line_table& t = pane->table();
    core::line_table::batch changes(t);
    t.reset();
    for (const auto& l : lines)
        t.set(column::es_text, t.insertrow(0), l);
    t.setsort("es_text A");
    t.sort();
}

// What the status line and the pointer showed whenever a pane's view was reset.
struct witness {
    explicit witness(rt::grid_pane* pane)
    {
        connection = QObject::connect(pane->model(), &QAbstractItemModel::modelReset, [this] {
            seen << rt::windows().w_frame->microhelp()
                    + (rt::pointer_is_busy() ? QStringLiteral(" (busy)") : QString());
        });
    }
    ~witness() { QObject::disconnect(connection); }
    witness(const witness&) = delete;
    witness& operator=(const witness&) = delete;

    QMetaObject::Connection connection;
    QStringList seen;
};

// What the status line painted, in order, and whether the pointer was busy then.
struct painted_status : QObject {
    QStringList texts;
    explicit painted_status(QLabel* line) { line->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            texts << static_cast<QLabel*>(watched)->text()
                    + (rt::pointer_is_busy() ? QStringLiteral(" (busy)") : QString());
        return false;
    }
};

// A disk that gives a file 4 KB at a time, each after a pause: a load that takes a while.
ssize_t slow_read(int fd, void* buffer, std::size_t count)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return ::read(fd, buffer, std::min<std::size_t>(count, 4096));
}

// What the window showed, and whether it took input, once a long step was well under way.
struct seen_during {
    QString status;
    bool busy = false;
    bool bar = false;
    bool cancel = false;
};

// Once the window next takes its events: notes what it shows, clicks Compare, presses Escape.
void click_and_escape_during(w_frame* frame, w_diff* w, seen_during& seen)
{
    QTimer::singleShot(0, [=, &seen] {
        seen.status = frame->microhelp();
        seen.busy = rt::pointer_is_busy();
        seen.bar = frame->findChild<QProgressBar*>(QStringLiteral("progress"))->isVisible();
        seen.cancel = frame->findChild<QPushButton*>(QStringLiteral("cancel_work"))->isVisible();
        QTest::mouseClick(w->cb_compare, Qt::LeftButton);
        QTest::keyClick(w, Qt::Key_Escape);
    });
}

} // namespace

class ue_compare_test : public QObject {
    Q_OBJECT

    w_frame* frame_ = nullptr;
    w_diff* w_ = nullptr;

private slots:
    void initTestCase()
    {
        // The frame without its open event: no about window, and the sheet opened by hand.
        frame_ = new w_frame;
        rt::windows().w_frame = frame_;
        frame_->open_compare_sheet();
        w_ = rt::windows().w_diff;
        QVERIFY(w_);
        frame_->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame_));
    }

    void cleanupTestCase()
    {
        // Closed as the user closes it, which also takes the sheet down.
        QPointer<w_frame> frame = frame_;
        frame_->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (frame)
            frame->deleteLater();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        rt::windows().w_frame = nullptr;
    }

    void compare_fills_the_result_panes()
    {
        fill(w_->dw_1, {"banana", "apple", "cherry", "banana"});
        fill(w_->dw_2, {"date", "banana", "apple", "date"});
        w_->st_1->setText(QStringLiteral("C:\\one.txt"));
        w_->st_2->setText(QStringLiteral("C:\\Z\u00fcrich.txt"));
        frame_->setmicrohelp(QStringLiteral("something else"));
        witness same(w_->dw_same), diff(w_->dw_diff), sum(w_->dw_sum);
        QCoreApplication::processEvents();
        painted_status status(frame_->findChild<QLabel*>(QStringLiteral("microhelp")));

        rt::triggerevent(w_, "ue_compare");
        // The status line and the busy pointer were on screen before the compare held the loop.
        QCOMPARE(status.texts, (QStringList {QStringLiteral("Please wait... (busy)"), QStringLiteral("Ready")}));

        QCOMPARE(rows_of(w_->dw_same->table()), (rows {{"apple", ""}, {"banana", ""}, {"banana", ""}}));
        const std::string label2 = "C:\\Z\xc3\xbcrich.txt";
        QCOMPARE(rows_of(w_->dw_diff->table()), (rows {{"date", label2}, {"date", label2}, {"cherry", "C:\\one.txt"}}));
        QCOMPARE(rows_of(w_->dw_sum->table()),
            (rows {{"Similarity", ""}, {"apple", ""}, {"banana", ""}, {"banana", ""}, {"", ""}, {"Difference", ""},
                {"date", label2}, {"date", label2}, {"cherry", "C:\\one.txt"}}));

        // Each view was emptied, then filled once whole, both while the compare showed that it
        // was busy: no half-made list was ever shown.
        const QStringList busy_twice {QStringLiteral("Please wait... (busy)"), QStringLiteral("Please wait... (busy)")};
        for (const witness* x : {&same, &diff, &sum})
            QCOMPARE(x->seen, busy_twice);
        QCOMPARE(frame_->microhelp(), QStringLiteral("Ready"));
        QVERIFY(!rt::pointer_is_busy());
        QCOMPARE(w_->dw_same->model()->rowCount(), 3);
        QCOMPARE(w_->dw_sum->model()->rowCount(), 9);

        // Sources and labels stay as they were.
        QCOMPARE(rows_of(w_->dw_1->table()), (rows {{"apple", ""}, {"banana", ""}, {"banana", ""}, {"cherry", ""}}));
        QCOMPARE(w_->st_2->text(), QStringLiteral("C:\\Z\u00fcrich.txt"));
    }

    void long_steps_show_themselves_drop_input_and_cancel_whole()
    {
        QTemporaryDir dir;
        const auto drives = core::drive_seam().replace(std::vector<core::drive> {{"c", dir.path().toStdString()}});
        QStringList told;
        const auto boxes = rt::message_box_seam().replace(
            [&](const QString& caption, const QString& text) { told << caption + QLatin1Char('|') + text; });
        QByteArray big;
        for (int i = 0; i < 40000; ++i)
            big += "line " + QByteArray::number(i) + '\n';
        QVERIFY(testing::make_file(dir, QStringLiteral("big & <new>.txt"), big));
        QVERIFY(testing::make_file(dir, QStringLiteral("small.txt"), "kept\n"));
        w_->dw_sum->table().reset();
        w_->is_file = QStringLiteral("c:\\small.txt");
        w_->ue_dragdrop(1);

        // A cancelled load: the pane and its label stay as they were, and the click on Compare
        // given meanwhile is neither run beside the load nor replayed after it.
        seen_during seen;
        w_->is_file = QStringLiteral("c:\\big & <new>.txt");
        {
            const auto slow = core::line_file::read_seam().replace(&slow_read);
            click_and_escape_during(frame_, w_, seen);
            w_->ue_dragdrop(1);
        }
        QCOMPARE(seen.status, QStringLiteral("Loading c:\\big & <new>.txt..."));
        QVERIFY(seen.busy && seen.bar && seen.cancel);
        QCOMPARE(rows_of(w_->dw_1->table()), (rows {{"kept", ""}}));
        QCOMPARE(w_->st_1->text(), QStringLiteral("c:\\small.txt"));
        QCoreApplication::processEvents();
        QCOMPARE(w_->dw_sum->table().rowcount(), 0L);
        QCOMPARE(frame_->microhelp(), QStringLiteral("Ready"));
        QVERIFY(!rt::pointer_is_busy());
        QVERIFY(!frame_->findChild<QProgressBar*>(QStringLiteral("progress"))->isVisible());
        QVERIFY(told.isEmpty());

        // Let run, the load takes the whole file.
        {
            const auto slow = core::line_file::read_seam().replace(&slow_read);
            w_->ue_dragdrop(1);
        }
        QCOMPARE(w_->dw_1->table().count(), 40000L);
        QCOMPARE(w_->st_1->text(), QStringLiteral("c:\\big & <new>.txt"));

        // A cancelled save writes nothing and leaves the file of that name as it was.
        rt::grid_pane* sum = w_->dw_sum;
        for (int i = 0; i < 400000; ++i)
            sum->table().set(core::column::es_text, sum->table().insertrow(0), "row " + std::to_string(i));
        const QString target = dir.filePath(QStringLiteral("out.xlsx"));
        QVERIFY(testing::make_file(dir, QStringLiteral("out.xlsx"), "earlier"));
        const auto dialog = rt::save_dialog_seam().replace([&](const rt::save_request&) {
            return rt::save_answer {target, 3, QString()};
        });
        click_and_escape_during(frame_, w_, seen);
        w_->ue_saveas();
        QVERIFY(seen.status.startsWith(QStringLiteral("Saving ")) && seen.busy && seen.bar && seen.cancel);
        QFile out(target);
        QVERIFY(out.open(QIODevice::ReadOnly));
        QCOMPARE(out.readAll(), QByteArray("earlier"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 3);
        QVERIFY(told.isEmpty());
    }

    void two_empty_sources_empty_every_list()
    {
        fill(w_->dw_1, {"left"});
        fill(w_->dw_2, {"right"});
        w_->ue_compare();
        QCOMPARE(w_->dw_sum->table().rowcount(), 5L);

        fill(w_->dw_1, {});
        fill(w_->dw_2, {});
        witness sum(w_->dw_sum);
        w_->ue_compare();
        QCOMPARE(w_->dw_same->table().rowcount(), 0L);
        QCOMPARE(w_->dw_diff->table().rowcount(), 0L);
        QCOMPARE(w_->dw_sum->table().rowcount(), 0L);
        QCOMPARE(w_->dw_sum->model()->rowCount(), 0);
        QCOMPARE(
            sum.seen, (QStringList {QStringLiteral("Please wait... (busy)"), QStringLiteral("Please wait... (busy)")}));
        QCOMPARE(frame_->microhelp(), QStringLiteral("Ready"));
        QVERIFY(!rt::pointer_is_busy());
    }

    void runs_without_a_frame()
    {
        w_diff lone;
        rt::windows().w_frame = nullptr;
        fill(lone.dw_1, {"a", "b"});
        fill(lone.dw_2, {"b"});
        lone.ue_compare();
        rt::windows().w_frame = frame_;
        QCOMPARE(rows_of(lone.dw_diff->table()), (rows {{"a", "Source 1"}}));
        QVERIFY(!rt::pointer_is_busy());
    }
};

QTEST_MAIN(ue_compare_test)
#include "ue_compare_test.moc"
