#include "app/linara.h"

#include "frame/w_frame.h"
#include "runtime/globals.h"
#include "runtime/print_job.h"
#include "runtime/window_refs.h"

#include <QTimer>

void linara::open(const QString& commandline)
{
    Q_UNUSED(commandline)
    gs_appname = QStringLiteral("Linara");
    gs_version = QStringLiteral("Version 1.0");

    QPointer<w_frame>& ref = rt::windows().w_frame;
    if (ref)
        return;
    auto* frame = new w_frame;
    frame->setAttribute(Qt::WA_DeleteOnClose);
    ref = frame;
    frame->constructors();
    // The about window comes first: the frame's open event waits for it, and only then is
    // the frame itself shown.
    frame->open_event();
    frame->showMaximized();
    // Once the frame is up, so that the start is not held back by the printer system.
    QTimer::singleShot(0, frame, [] { rt::prepare_printing(); });
}
