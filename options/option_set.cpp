#include "option_set.h"

#include "option_rules.h"

#include <algorithm>

void OptionSet::setValue(int index, OptionValue value)
{
    if (m_values.at(index) == value)
        return;
    m_values[index] = value;
    for (const auto &listener : m_listeners)
        listener(index, value);

    ++m_depth;
    m_maxDepth = std::max(m_maxDepth, m_depth);
    OptionRules::applyRule(*this, index);
    --m_depth;
}
