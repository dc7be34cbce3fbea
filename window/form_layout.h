#pragma once

// How the window's controls are placed and dressed: positions in twips, every
// font Arial, white backgrounds.

#include "twips.h"

#include <QFont>
#include <QPalette>
#include <QWidget>

// Where Arial is not installed (a new Wine prefix), a face made to Arial's metrics
// stands in, so that the captions fit as the layout expects. Qt tries a family
// before its substitutes, so an installed Arial still wins. Fontconfig makes the
// same substitution itself (its metric aliases), and asking it twice would cost
// about 4 % of start-up.
inline void substituteArialWhereMissing()
{
#if defined(Q_OS_WIN)
    static const bool once = [] {
        QFont::insertSubstitutions(QStringLiteral("Arial"),
                                   {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")});
        return true;
    }();
    (void)once;
#endif
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

// A control whose background the window's white already is, by inheritance, gets no
// palette of its own: each costs a palette change sent to it and its children.
inline void paintWhite(QWidget *widget)
{
    widget->setAutoFillBackground(true);
    QPalette palette = widget->palette();
    if (palette.color(widget->backgroundRole()) == Qt::white)
        return;
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
