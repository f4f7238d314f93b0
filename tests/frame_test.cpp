// Start-up, the frame's menu and toolbar, the relays and the about window.

#include "app/linara.h"
#include "compare/linetable/grid_pane.h"
#include "compare/w_diff.h"
#include "frame/m_main.h"
#include "frame/w_frame.h"
#include "frame/w_splash.h"
#include "runtime/events.h"
#include "runtime/globals.h"
#include "runtime/units.h"
#include "runtime/window_refs.h"
#include "support/modal.h"
#include "support/theme.h"

#include <QAction>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

namespace {

// A sheet of another kind, to see what the frame relays to whichever sheet is active.
class recording_sheet : public QWidget {
    Q_OBJECT
public:
    QStringList events;
public slots:
    RT_EVENT void ue_print() { events << QStringLiteral("ue_print"); }
    RT_EVENT void ue_saveas() { events << QStringLiteral("ue_saveas"); }
};

QStringList texts_of(const QList<QAction*>& actions)
{
    QStringList out;
    for (QAction* a : actions)
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

struct menu_state {
    bool open, saveas, print;
};

menu_state state_of(m_main* menu)
{
    return {menu->m_file.m_open->isEnabled(), menu->m_file.m_saveas->isEnabled(), menu->m_file.m_print->isEnabled()};
}

bool toolbar_button_enabled(m_main* menu, QAction* item)
{
    QWidget* button = menu->toolbar()->widgetForAction(item);
    return button && button->isEnabled();
}

} // namespace

class frame_test : public QObject {
    Q_OBJECT

    w_frame* frame() const { return rt::windows().w_frame; }

    // Starts the program as main() does, pressing Return in the about window.
    void start(const QString& commandline = QString())
    {
        QString heading_seen;
        bool frame_visible_during_about = true;
        testing::when_modal<w_splash>([&](w_splash* splash) {
            heading_seen = splash->st_app->text();
            frame_visible_during_about = rt::windows().w_frame && rt::windows().w_frame->isVisible();
            QVERIFY(!rt::windows().w_diff);
            QTest::keyClick(splash, Qt::Key_Return);
        });
        linara app;
        app.create();
        app.open(commandline);
        QCOMPARE(heading_seen, QStringLiteral("Linara Version 1.0"));
        QVERIFY(!frame_visible_during_about);
        QVERIFY(frame());
        QVERIFY(rt::windows().w_diff);
    }

    void stop()
    {
        if (frame())
            frame()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!frame());
    }

private slots:
    void cleanup() { stop(); }

    void start_up_shows_about_then_frame_with_sheet()
    {
        start();
        QCOMPARE(gs_appname, QStringLiteral("Linara"));
        QCOMPARE(gs_version, QStringLiteral("Version 1.0"));
        QCOMPARE(frame()->windowTitle(), QStringLiteral("Linara (Orlemy Vask)"));
        QVERIFY(frame()->isVisible());
        QVERIFY(frame()->windowState() & Qt::WindowMaximized);
        QCOMPARE(frame()->mdi_1()->subWindowList().size(), 1);
        QCOMPARE(frame()->getactivesheet(), static_cast<QWidget*>(rt::windows().w_diff.data()));
        QCOMPARE(frame()->mdi_1()->subWindowList().first()->windowTitle(),
            QStringLiteral("Drag file to the middle windows"));
    }

    void command_line_changes_nothing()
    {
        start(QStringLiteral("one.txt two.txt --flag"));
        QCOMPARE(frame()->mdi_1()->subWindowList().size(), 1);
        QCOMPARE(rt::windows().w_diff->st_1->text(), QStringLiteral("Source 1"));
        QCOMPARE(rt::windows().w_diff->st_2->text(), QStringLiteral("Source 2"));
    }

    void menu_and_toolbar_as_designed()
    {
        start();
        m_main* menu = frame()->menuid();
        const QList<QAction*> bar = frame()->menuBar()->actions();
        QCOMPARE(texts_of(bar), (QStringList {QStringLiteral("&File"), QStringLiteral("&Help")}));
        const QStringList file = texts_of(menu->m_file.menu->actions()).mid(0, 7);
        QCOMPARE(file,
            (QStringList {QStringLiteral("Open"), QStringLiteral("-"), QStringLiteral("Save As"), QStringLiteral("-"),
                QStringLiteral("Print"), QStringLiteral("-"), QStringLiteral("E&xit")}));
        QCOMPARE(texts_of(menu->m_help.menu->actions()), QStringList {QStringLiteral("&About")});

        QStringList buttons;
        for (QAction* a : menu->toolbar()->actions()) {
            buttons << a->iconText();
            QVERIFY2(!a->icon().isNull(), qPrintable(a->iconText()));
            QCOMPARE(a->toolTip(), a->iconText());
        }
        QCOMPARE(buttons,
            (QStringList {
                QStringLiteral("Open"), QStringLiteral("Save As"), QStringLiteral("Print"), QStringLiteral("Exit")}));
    }

    void sheet_owns_the_enabled_states()
    {
        start();
        m_main* menu = frame()->menuid();
        menu_state s = state_of(menu);
        QVERIFY(!s.open && s.saveas && s.print);
        QVERIFY(!toolbar_button_enabled(menu, menu->m_file.m_open));
        QVERIFY(toolbar_button_enabled(menu, menu->m_file.m_saveas));
        QVERIFY(toolbar_button_enabled(menu, menu->m_file.m_print));
        QVERIFY(toolbar_button_enabled(menu, menu->m_file.m_exit));

        frame()->mdi_1()->subWindowList().first()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!rt::windows().w_diff);
        s = state_of(menu);
        QVERIFY(s.open && !s.saveas && !s.print);
        QVERIFY(toolbar_button_enabled(menu, menu->m_file.m_open));
        QVERIFY(!toolbar_button_enabled(menu, menu->m_file.m_print));

        menu->m_file.m_open->trigger();
        QVERIFY(rt::windows().w_diff);
        QCOMPARE(frame()->mdi_1()->subWindowList().size(), 1);
        QCOMPARE(rt::windows().w_diff->st_1->text(), QStringLiteral("Source 1"));
        s = state_of(menu);
        QVERIFY(!s.open && s.saveas && s.print);
    }

    void file_menu_lists_the_open_sheet()
    {
        start();
        m_main* menu = frame()->menuid();
        QStringList file = texts_of(menu->m_file.menu->actions());
        QCOMPARE(file.size(), 9);
        QCOMPARE(file.at(7), QStringLiteral("-"));
        QVERIFY(file.at(8).endsWith(QStringLiteral("Drag file to the middle windows")));

        frame()->mdi_1()->subWindowList().first()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(texts_of(menu->m_file.menu->actions()).size(), 7);
    }

    void relays_reach_the_active_sheet_only()
    {
        start();
        m_main* menu = frame()->menuid();
        frame()->mdi_1()->subWindowList().first()->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

        // No sheet: nothing happens and nothing is said.
        frame()->ue_print();
        frame()->ue_saveas();

        auto* sheet = new recording_sheet;
        QMdiSubWindow* sub = frame()->mdi_1()->addSubWindow(sheet);
        sub->show();
        frame()->mdi_1()->setActiveSubWindow(sub);
        menu->m_file.m_print->setEnabled(true);
        menu->m_file.m_saveas->setEnabled(true);
        menu->m_file.m_print->trigger();
        menu->m_file.m_saveas->trigger();
        QCOMPARE(sheet->events, (QStringList {QStringLiteral("ue_print"), QStringLiteral("ue_saveas")}));
        sub->close();
    }

    void only_a_windows_own_events_run_by_name()
    {
        start();
        QPointer<w_diff> sheet = rt::windows().w_diff.data();
        for (const char* inherited : {"hide", "close", "deleteLater", "showMinimized", "lower"}) {
            QCOMPARE(rt::triggerevent(sheet, inherited), -1);
            QCOMPARE(rt::triggerevent(frame(), inherited), -1);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(sheet && sheet->isVisible() && frame()->isVisible() && !frame()->isMinimized());
        QCOMPARE(rt::triggerevent(sheet, "ue_compare"), 1);
    }

    void exit_closes_the_sheet_first()
    {
        start();
        m_main* menu = frame()->menuid();
        QPointer<w_diff> sheet = rt::windows().w_diff;
        bool open_enabled_at_close = false;
        connect(
            sheet.data(), &QObject::destroyed, this, [&] { open_enabled_at_close = menu->m_file.m_open->isEnabled(); });
        menu->m_file.m_exit->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!sheet);
        QVERIFY(open_enabled_at_close);
        QVERIFY(!frame());
    }

    void about_from_the_menu_leaves_the_sheet_as_it_was()
    {
        start();
        w_diff* sheet = rt::windows().w_diff;
        sheet->st_1->setText(QStringLiteral("c:\\data\\one.txt"));
        QString heading;
        bool blocked = false;
        testing::when_modal<w_splash>([&](w_splash* splash) {
            heading = splash->st_app->text();
            blocked = QApplication::activeModalWidget() == splash && splash->isModal();
            QTest::mouseClick(splash->cb_ok, Qt::LeftButton);
        });
        frame()->menuid()->m_help.m_about->trigger();
        QCOMPARE(heading, QStringLiteral("Linara Version 1.0"));
        QVERIFY(blocked);
        QCOMPARE(rt::windows().w_diff.data(), sheet);
        QCOMPARE(sheet->st_1->text(), QStringLiteral("c:\\data\\one.txt"));
        menu_state s = state_of(frame()->menuid());
        QVERIFY(!s.open && s.saveas && s.print);
    }

    void frame_destroyed_with_its_sheet_open()
    {
        start();
        QPointer<w_diff> sheet = rt::windows().w_diff;
        delete frame();
        QVERIFY(!sheet);
        QVERIFY(!frame());
    }

    void about_window_as_designed()
    {
        gs_appname = QStringLiteral("Linara");
        gs_version = QStringLiteral("Version 1.0");
        w_splash splash;
        splash.constructors();
        splash.open_event();
        QCOMPARE(splash.windowTitle(), QStringLiteral("Orlemy's Application"));
        QCOMPARE(splash.control_list(), (QList<QWidget*> {splash.st_app, splash.st_1, splash.cb_ok}));
        QVERIFY(splash.cb_ok->isDefault());
        QCOMPARE(splash.cb_ok->text(), QStringLiteral("&OK"));
        QVERIFY(splash.minimumSize() == splash.maximumSize());
        const QString notice = splash.st_1->text();
        QVERIFY(notice.startsWith(QLatin1Char('\n')));
        QCOMPARE(notice.mid(1).split(QStringLiteral("\r\n")).size(), 4); // three lines, each ended
        QVERIFY(notice.endsWith(QStringLiteral("\r\n")));
        QVERIFY(splash.st_app->font().bold());
        QCOMPARE(splash.st_app->font().pointSize(), 14);

        // The notice and heading read under a dark desktop theme.
        testing::dark_theme dark;
        w_splash dark_splash;
        dark_splash.open_event();
        QCOMPARE(testing::unreadable(&dark_splash), QStringList());
    }

    void the_whole_sheet_can_be_reached_in_a_restored_frame()
    {
        start();
        frame()->showNormal();
        frame()->setGeometry(rt::unit_rect(833, 361, 1998, 1209));
        QTRY_VERIFY(!frame()->isMaximized());
        QMdiArea* area = frame()->mdi_1();
        QTRY_VERIFY(area->horizontalScrollBar()->isVisible() && area->verticalScrollBar()->isVisible());
        // Scrolled right, Compare is in view; scrolled down too, the difference pane's far corner.
        w_diff* sheet = rt::windows().w_diff;
        area->horizontalScrollBar()->setValue(area->horizontalScrollBar()->maximum());
        const QRect compare(sheet->cb_compare->mapTo(area->viewport(), QPoint(0, 0)), sheet->cb_compare->size());
        QVERIFY(area->viewport()->rect().contains(compare));
        area->verticalScrollBar()->setValue(area->verticalScrollBar()->maximum());
        const QRect pane = sheet->dw_diff->rect();
        QVERIFY(area->viewport()->rect().contains(sheet->dw_diff->mapTo(area->viewport(), pane.bottomRight())));
    }
};

QTEST_MAIN(frame_test)
#include "frame_test.moc"
