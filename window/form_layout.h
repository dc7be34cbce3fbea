#pragma once

// How the window's controls are placed and dressed: positions in twips, every
// font Arial, white backgrounds.

#include "twips.h"

#include <QFont>
#include <QFontDatabase>
#include <QPalette>
#include <QWidget>

// Where Arial is not installed (a new Wine prefix, a bare Linux), a face made to
// Arial's metrics stands in, so that the captions fit as the layout expects.
inline void substituteArialWhereMissing()
{
    static const bool once = [] {
        const QString arial = QStringLiteral("Arial");
        if (!QFontDatabase::hasFamily(arial))
            QFont::insertSubstitutions(
                arial, {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
        return true;
    }();
    (void)once;
}

// Every font of the window is Arial, or its metric twin.
inline QFont arial(double points, bool bold, bool underline = false)
{
    substituteArialWhereMissing();
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
