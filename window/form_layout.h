#pragma once

// How the window's controls are placed and dressed: positions in twips, every
// font Arial, white backgrounds.

#include "twips.h"

#include <QFont>
#include <QPalette>
#include <QWidget>

// Every font of the window is Arial; fontconfig maps it to a metric twin where needed.
inline QFont arial(double points, bool bold, bool underline = false)
{
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setUnderline(underline);
    return font;
}

inline void paintWhite(QWidget *widget)
{
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    palette.setColor(widget->backgroundRole(), Qt::white);
    widget->setPalette(palette);
}

inline void place(QWidget *widget, double left, double top, double width, double height)
{
    widget->setGeometry(twipsRect(left, top, width, height));
}

inline void setLeft(QWidget *widget, double left)
{
    widget->move(twipsToWholePixels(left), widget->y());
}
