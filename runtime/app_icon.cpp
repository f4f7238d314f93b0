#include "runtime/app_icon.h"

namespace rt {

QIcon app_icon()
{
    // Every size the drawing is rendered at, so that a window, a task bar or a screen of high
    // density picks the nearest one instead of scaling a small picture up.
    static const int sizes[] = {16, 24, 32, 48, 64, 128, 256};
    QIcon icon;
    for (const int size : sizes)
        icon.addFile(QStringLiteral(":/tovik/tovik-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace rt
