#pragma once
// The main window: a multiple-document frame with the main menu, its toolbar and a status
// line. It shows the about window once at start-up, hosts the compare window as its sheet and
// relays Print and Save As to whichever sheet is active.

#include "runtime/events.h"
#include "runtime/long_work.h"
#include "runtime/window.h"

#include <QMainWindow>

class QLabel;
class QMdiArea;
class QProgressBar;
class QPushButton;
class m_main;

class w_frame : public QMainWindow, public rt::window_events, public rt::work_display {
    Q_OBJECT
public:
    explicit w_frame(QWidget* parent = nullptr);
    ~w_frame() override;

    void open_event() override;

    // The live menu instance.
    m_main* menuid() const { return menu_; }
    QMdiArea* mdi_1() const { return mdi_1_; }
    // The active sheet, or null when none is open.
    QWidget* getactivesheet() const;
    // Replaces the text of the status line.
    void setmicrohelp(const QString& text);
    QString microhelp() const;

    // Opens the compare window as a sheet (or brings the open one forward).
    void open_compare_sheet();

    void m_open_clicked();
    void m_about_clicked();

public slots:
    RT_EVENT void ue_print();
    RT_EVENT void ue_saveas();

protected:
    void closeEvent(QCloseEvent* event) override;

    // How long steps show themselves: the status line, a bar and a Cancel button beside it.
    void show_doing(const QString& text) override;
    void show_progress(int percent, bool may_cancel) override;
    QWidget* cancel_button() const override;
    void repaint_window() override;

private:
    void relay(const char* event);
    // Lists the open sheets' titles at the foot of the File menu; `closing` is left out.
    void list_sheets_in_file_menu(QObject* closing = nullptr);

    m_main* menu_ = nullptr;
    QMdiArea* mdi_1_ = nullptr;
    QLabel* status_text_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QList<QAction*> sheet_items_;
};
