#pragma once

// A Check1 box: shows an option's value (2 as partially checked), and turns a
// user's click into a setting of that option. A click toggles only between
// cleared and ticked; a click on a grayed box clears it.

#include "option_table.h"

#include <QCheckBox>

class OptionCheckBox : public QCheckBox
{
    Q_OBJECT

public:
    OptionCheckBox(int index, const QString &caption, QWidget *parent = nullptr);
    int index() const { return m_index; }
    OptionValue Value() const;
    void setValue(OptionValue value);

protected:
    void nextCheckState() override;
    // The caption in button text, as the buttons' and the tabs' (a check box would take
    // window text).
    void initStyleOption(QStyleOptionButton *option) const override;
    // The whole rectangle takes the click, not only the tick and the caption text.
    bool hitButton(const QPoint &pos) const override;

private:
    int m_index;
};
