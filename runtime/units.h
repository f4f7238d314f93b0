#pragma once
// Window units, fonts and system colours of the designs, mapped onto this screen.
//
// A design unit is 1/32 of the application font's average character width horizontally and
// 1/64 of its height vertically: this keeps every designed proportion and gives the designed
// on-screen size (the literal quarter and eighth of a character would make every window eight
// times too large).

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

class QWidget;

namespace rt {

int units_x(int units);
int units_y(int units);
// The horizontal units that `pixels` take, rounded up.
int pixels_to_units_x(int pixels);
QRect unit_rect(int x, int y, int width, int height);
// Gives `w` its designed place and size.
void place(QWidget* w, int x, int y, int width, int height);

enum class font_family { swiss, roman };
// A font by face name; where the face is missing the nearest of its family stands in.
QFont design_font(const QString& face, int points, bool bold, font_family family);
// "MS Sans Serif", 8 points, as most controls use it.
QFont sans_8(bool bold);

QColor button_face();
// The text colour the desktop pairs with button_face.
QColor button_text();
QColor application_workspace();
inline QColor light_grey()
{
    return QColor(192, 192, 192);
}

// Gives `w` a designed background, filled, and a text colour that reads on it whatever the
// desktop's theme: the window, base and button roles take `background`, their text `text`.
void paint(QWidget* w, const QColor& background, const QColor& text);
// Gives `w` the button face as its window colour, with the text colour paired with it; unlike
// paint(), the roles that `w`'s controls take from it are left to the theme.
void paint_button_face(QWidget* w);

} // namespace rt
