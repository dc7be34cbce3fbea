#include "text_colours.h"

#include <QStyle>
#include <QWidget>

#include <cmath>

// WCAG's contrast ratio against white, at the level it asks of body text.
QColor readableOnWhite(const QColor &colour)
{
    auto luminance = [](const QColor &c) {
        auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const double contrast = 1.05 / (luminance(colour) + 0.05);
    return contrast >= 4.5 ? colour : QColor(Qt::black);
}

void setRoleColour(QWidget *widget, QPalette::ColorRole role, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

void followSchemeOnWhite(QWidget *window, const QPalette &system)
{
    const QPalette designed = window->style()->standardPalette();
    QPalette own = window->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        for (auto role :
             {QPalette::Button, QPalette::Base, QPalette::AlternateBase, QPalette::Light,
              QPalette::Midlight, QPalette::Mid, QPalette::Dark, QPalette::Shadow})
            own.setColor(group, role, designed.color(group, role));
        own.setColor(group, QPalette::Text, readableOnWhite(system.color(group, QPalette::Text)));
    }
    // The captions look alike whether their page is enabled or the window active.
    own.setColor(QPalette::ButtonText, readableOnWhite(system.color(QPalette::ButtonText)));
    own.setColor(QPalette::WindowText, readableOnWhite(system.color(QPalette::WindowText)));
    window->setPalette(own);
}
