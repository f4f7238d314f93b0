#pragma once
// A dark desktop theme, and what would not read under it.

#include <QApplication>
#include <QImage>
#include <QPalette>
#include <QStringList>
#include <QWidget>

#include <cmath>

namespace testing {

// The palette a dark desktop theme hands the application: light text on dark faces.
inline QPalette dark_palette()
{
    QPalette p;
    const QColor face(53, 53, 53), base(35, 35, 35), light(230, 230, 230);
    for (QPalette::ColorRole role : {QPalette::Window, QPalette::Button, QPalette::AlternateBase, QPalette::Dark})
        p.setColor(role, face);
    p.setColor(QPalette::Base, base);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::BrightText})
        p.setColor(role, light);
    p.setColor(QPalette::Highlight, QColor(42, 130, 218));
    p.setColor(QPalette::HighlightedText, Qt::black);
    return p;
}

// Sets the dark palette for the life of the object.
struct dark_theme {
    QPalette before = QApplication::palette();
    dark_theme() { QApplication::setPalette(dark_palette()); }
    ~dark_theme() { QApplication::setPalette(before); }
};

// The contrast of two colours as WCAG reckons it, 1 (none) to 21.
inline double contrast(const QColor& a, const QColor& b)
{
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// How wide, in pixels, what is drawn in `area` of `shot` spans: the columns between the first
// and the last that hold a pixel standing out from `ground`.
inline int ink_width(const QImage& shot, const QRect& area, const QColor& ground)
{
    int first = -1, last = -1;
    for (int x = area.left(); x <= area.right(); ++x)
        for (int y = area.top(); y <= area.bottom(); ++y)
            if (contrast(shot.pixelColor(x, y), ground) > 2) {
                last = x;
                first = first < 0 ? x : first;
            }
    return first < 0 ? 0 : last - first + 1;
}

// The widgets of `top`'s window whose text would not read on their background (contrast
// under 3:1) in any of the pairs they draw with.
inline QStringList unreadable(QWidget* top)
{
    QStringList out;
    QList<QWidget*> all = top->findChildren<QWidget*>();
    all.prepend(top);
    for (QWidget* w : all) {
        if (w != top && !w->isVisibleTo(top))
            continue;
        const QPalette& p = w->palette();
        const QPair<QPalette::ColorRole, QPalette::ColorRole> pairs[] = {{w->backgroundRole(), w->foregroundRole()},
            {QPalette::Base, QPalette::Text}, {QPalette::Button, QPalette::ButtonText}};
        for (const auto& pair : pairs) {
            if (contrast(p.color(pair.first), p.color(pair.second)) < 3.0) {
                out << (w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className())
                                                  : w->objectName());
                break;
            }
        }
    }
    return out;
}

} // namespace testing
