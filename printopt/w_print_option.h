#pragma once
// The print option dialog: the user picks the list to print, and the dialog closes with its
// number (1 similarity, 2 difference, 3 both, 0 nothing) in the message object.

#include "runtime/events.h"
#include "runtime/window.h"

#include <QList>

class QCloseEvent;
class QGroupBox;
class QPushButton;
class QRadioButton;

class w_print_option : public rt::response_window {
    Q_OBJECT
public:
    explicit w_print_option(QWidget* parent = nullptr);
    ~w_print_option() override;

    // The controls, in the order of creation and of the control list.
    QPushButton* cb_cancel = nullptr;
    QPushButton* cb_ok = nullptr;
    QRadioButton* rb_all = nullptr;
    QRadioButton* rb_diff = nullptr;
    QRadioButton* rb_same = nullptr;
    QGroupBox* gb_1 = nullptr;

    QList<QWidget*> control_list() const { return controls_; }

public slots:
    // User events raised by name.
    RT_EVENT void ue_ok();
    RT_EVENT void ue_cancel();

    // Escape, and every other way of cancelling but the close box, is the Cancel button.
    void reject() override;

protected:
    // The close box closes without a value: neither ue_ok nor ue_cancel runs.
    void closeEvent(QCloseEvent* event) override;

private:
    void create_controls();
    void place_window(QWidget* opener);

    QList<QWidget*> controls_;
    bool closing_from_box_ = false;
};
