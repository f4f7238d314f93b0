#include "runtime/clock.h"

#include <QLocale>

namespace rt {

namespace {

clock_hook& current_hook()
{
    static clock_hook hook;
    return hook;
}

} // namespace

QDateTime now()
{
    return current_hook() ? current_hook()() : QDateTime::currentDateTime();
}

QString date_text(const QDate& date)
{
    return QLocale().toString(date, QLocale::ShortFormat);
}

QString time_text(const QTime& time)
{
    return QLocale().toString(time, QLocale::ShortFormat);
}

clock_hook set_clock_hook(clock_hook hook)
{
    clock_hook old = std::move(current_hook());
    current_hook() = std::move(hook);
    return old;
}

} // namespace rt
