#include "support/modal.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <memory>

namespace testing {

namespace {

void poll(std::shared_ptr<std::function<void(QWidget*)>> answer, int tries_left)
{
    QTimer::singleShot(10, [answer, tries_left] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal) {
            (*answer)(modal);
            return;
        }
        if (tries_left > 0)
            poll(answer, tries_left - 1);
    });
}

} // namespace

void when_modal(std::function<void(QWidget*)> answer)
{
    poll(std::make_shared<std::function<void(QWidget*)>>(std::move(answer)), 500);
}

void press_return_in_modal()
{
    when_modal([](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); });
}

} // namespace testing
