#pragma once

// Ok and Cancel: toggle buttons that reset themselves at once, so a screen
// reader should meet them as plain push buttons, not as check boxes.

#include <QPushButton>

class CommandButton : public QPushButton
{
    Q_OBJECT

public:
    // The caption is given once the button is a CommandButton (see OptionCheckBox).
    CommandButton(const QString &text, QWidget *parent) : QPushButton(parent) { setText(text); }
};
