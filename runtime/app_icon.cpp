#include "runtime/app_icon.h"

namespace rt {

QIcon app_icon()
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/tovik/tovik-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/tovik/tovik-32.png"), QSize(32, 32));
    return icon;
}

} // namespace rt
