#pragma once

// The window's colours under the system's colour scheme. The pages stay white and
// the other surfaces light in any scheme; a system text colour that would vanish
// on white (a dark scheme's light text) gives way to black. One policy for every
// text on white.

#include <QColor>
#include <QPalette>

class QWidget;

QColor readableOnWhite(const QColor &colour);

void setRoleColour(QWidget *widget, QPalette::ColorRole role, const QColor &colour);

// Gives `window`, and so every control on it, the colours it was designed with under
// any scheme, in one palette: the style's own standard colours for buttons, check
// boxes, the pane around the pages and every bevel; and the system's button text
// (captions), window text (the rectangle) and text (a box's tick), each readable on
// white. Roles the window set itself (its white background) are kept. Set before the
// controls exist, it costs one palette, not one per control.
void followSchemeOnWhite(QWidget *window, const QPalette &system);
