#include "runtime/units.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPalette>
#include <QWidget>

namespace rt {

namespace {

QFontMetrics app_metrics()
{
    return QFontMetrics(QApplication::font());
}

} // namespace

int units_x(int units)
{
    return (units * app_metrics().averageCharWidth() + 16) / 32;
}

int pixels_to_units_x(int pixels)
{
    const int average = qMax(1, app_metrics().averageCharWidth());
    return (pixels * 32 + average - 1) / average;
}

int units_y(int units)
{
    return (units * app_metrics().height() + 32) / 64;
}

QRect unit_rect(int x, int y, int width, int height)
{
    return QRect(units_x(x), units_y(y), units_x(width), units_y(height));
}

void place(QWidget* w, int x, int y, int width, int height)
{
    w->setGeometry(unit_rect(x, y, width, height));
}

// The faces of the designs are rarely installed outside their home platform; these stand in
// with the nearest widths, so that texts still fit their designed boxes.
static void register_stand_ins()
{
    static const bool done = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
            {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                QStringLiteral("Helvetica")});
        QFont::insertSubstitutions(
            QStringLiteral("Times New Roman"), {QStringLiteral("Liberation Serif"), QStringLiteral("Times")});
        return true;
    }();
    (void)done;
}

QFont design_font(const QString& face, int points, bool bold, font_family family)
{
    register_stand_ins();
    QFont f(face);
    f.setStyleHint(family == font_family::roman ? QFont::Serif : QFont::SansSerif);
    f.setPointSize(points);
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    return f;
}

QFont sans_8(bool bold)
{
    return design_font(QStringLiteral("MS Sans Serif"), 8, bold, font_family::swiss);
}

QColor button_face()
{
    return QApplication::palette().color(QPalette::Button);
}

QColor button_text()
{
    return QApplication::palette().color(QPalette::ButtonText);
}

void paint(QWidget* w, const QColor& background, const QColor& text)
{
    QPalette p = w->palette();
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Base, QPalette::Button})
        p.setColor(role, background);
    // A disabled control keeps the theme's greyed text.
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            p.setColor(group, role, text);
    }
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

void paint_button_face(QWidget* w)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Window, button_face());
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive})
        p.setColor(group, QPalette::WindowText, button_text());
    w->setPalette(p);
}

QColor application_workspace()
{
    return QApplication::palette().color(QPalette::Dark);
}

} // namespace rt
