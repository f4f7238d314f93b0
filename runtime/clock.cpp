#include "runtime/clock.h"

#include <QLocale>

namespace rt {

core::seam<clock_hook>& clock_seam()
{
    static core::seam<clock_hook> seam;
    return seam;
}

QDateTime now()
{
    const auto stand_in = clock_seam().stand_in();
    return stand_in ? (*stand_in)() : QDateTime::currentDateTime();
}

QString date_text(const QDate& date)
{
    return QLocale().toString(date, QLocale::ShortFormat);
}

QString time_text(const QTime& time)
{
    return QLocale().toString(time, QLocale::ShortFormat);
}

} // namespace rt
