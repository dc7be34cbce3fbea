#include "option_set.h"

#include "option_rules.h"

void OptionSet::setValue(int index, OptionValue value)
{
    if (m_values.at(index) == value)
        return;
    m_values[index] = value;
    for (const auto &listener : m_listeners)
        listener(index, value);
    OptionRules::applyRule(*this, index);
}
