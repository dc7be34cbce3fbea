#pragma once

// Ok and Cancel: toggle buttons that reset themselves at once, so a screen
// reader should meet them as plain push buttons, not as check boxes.

#include <QPushButton>

class CommandButton : public QPushButton
{
    Q_OBJECT

public:
    using QPushButton::QPushButton;
};
