#pragma once
// The about window: the program's name and version above a fixed notice, and OK.

#include "runtime/window.h"

#include <QLabel>
#include <QList>
#include <QPushButton>

class w_splash : public rt::response_window {
    Q_OBJECT
public:
    explicit w_splash(QWidget* parent = nullptr);

    void open_event() override;

    QLabel* st_app = nullptr;
    QLabel* st_1 = nullptr;
    QPushButton* cb_ok = nullptr;

    QList<QWidget*> control_list() const { return QList<QWidget*> {st_app, st_1, cb_ok}; }
};
