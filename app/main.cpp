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
    // The command line is the program's and is ignored; Qt is handed none of it, or it would
    // act on its own options (-reverse, -style, -stylesheet FILE, ...).
    char program_name[] = "tovik";
    int qt_argc = 1;
    char* qt_argv[] = {argc > 0 && argv[0] ? argv[0] : program_name, nullptr};
    QApplication app(qt_argc, qt_argv);
    QApplication::setWindowIcon(rt::app_icon());

    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    linara application;
    application.create();
    application.open(arguments.join(QLatin1Char(' ')));
    const int rc = QApplication::exec();
    application.destroy();
    return rc;
}
