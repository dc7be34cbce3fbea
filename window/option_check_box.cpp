#include "option_check_box.h"

OptionCheckBox::OptionCheckBox(int index, const QString &caption, QWidget *parent)
    : QCheckBox(caption, parent), m_index(index)
{
}

OptionValue OptionCheckBox::Value() const
{
    switch (checkState()) {
    case Qt::Unchecked:
        return 0;
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    }
    return 0;
}

void OptionCheckBox::setValue(OptionValue value)
{
    setCheckState(value == 0 ? Qt::Unchecked : value == 1 ? Qt::Checked : Qt::PartiallyChecked);
}

void OptionCheckBox::nextCheckState()
{
    // Qt would cycle through partially checked once the box has shown it.
    setValue(Value() == 0 ? 1 : 0);
}

bool OptionCheckBox::hitButton(const QPoint &pos) const
{
    return rect().contains(pos);
}
