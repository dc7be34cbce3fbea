#pragma once

// The twelve options and their values: the one place the window's state lives.
// Knows nothing of widgets; the window listens to the changes it announces.

#include "option_table.h"

#include <array>
#include <functional>
#include <vector>

class OptionSet
{
public:
    using State = std::array<OptionValue, OptionCount>;
    using Listener = std::function<void(int index, OptionValue value)>;

    OptionSet() = default;
    // Starts from the given values as they are; no rule runs.
    explicit OptionSet(const State &start) : m_values(start) {}

    static const OptionInfo &info(int index) { return kOptionTable.at(index); }

    OptionValue value(int index) const { return m_values.at(index); }
    bool isTicked(int index) const { return value(index) != 0; }
    const State &values() const { return m_values; }

    // A different value is stored, announced to every listener, and then the
    // option's rule runs to its end, nested, before this returns. The same value
    // changes nothing and runs nothing.
    void setValue(int index, OptionValue value);
    // A user's click: ticked (1 or 2) becomes cleared, cleared becomes ticked.
    void click(int index) { setValue(index, isTicked(index) ? 0 : 1); }

    void addListener(Listener listener) { m_listeners.push_back(std::move(listener)); }

private:
    State m_values{};
    std::vector<Listener> m_listeners;
};
