// The tovik program: starts the window runtime and hands it the application object.

#include "app/linara.h"
#include "runtime/app_icon.h"

#include <QApplication>
#include <QGuiApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace {

// A display is needed; without one say so plainly instead of the toolkit's abort.
bool have_display()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && platform != "xcb" && platform != "wayland")
        return true;
    return !qgetenv("DISPLAY").isEmpty() || !qgetenv("WAYLAND_DISPLAY").isEmpty();
}

} // namespace

int main(int argc, char* argv[])
{
    if (!have_display()) {
        std::fputs(
            "tovik: no display found (DISPLAY is not set); start it from a desktop session or under Xvfb.\n", stderr);
        return EXIT_FAILURE;
    }
    QApplication app(argc, argv);
    QApplication::setWindowIcon(rt::app_icon());

    linara application;
    application.create();
    application.open(QApplication::arguments().mid(1).join(QLatin1Char(' ')));
    const int rc = QApplication::exec();
    application.destroy();
    return rc;
}
