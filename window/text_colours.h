#pragma once

// The window's colours under the system's colour scheme. The pages stay white and
// the other surfaces light in any scheme; a system text colour that would vanish
// on white (a dark scheme's light text) gives way to black. One policy for every
// text on white.

#include <QColor>
#include <QPalette>

class QWidget;

QColor readableOnWhite(const QColor &colour);

// The system's button-text and window-text colours, each readable on white.
struct TextColours {
    QColor buttonText;
    QColor windowText;
    static TextColours onWhite(const QPalette &system);
};

void setRoleColour(QWidget *widget, QPalette::ColorRole role, const QColor &colour);

// Gives `window` the light surfaces it was designed with, under any scheme: the
// style's own standard colours for buttons, check boxes, the pane around the pages
// and every bevel, and a text colour for what lies on them (a box's tick) readable
// on white. Roles the window set itself (its white background) are kept.
void keepLightSurfaces(QWidget *window, const QPalette &system);
