#pragma once

// Compact notation for option states in test tables: the ticked indices, with
// ranges and grayed values, e.g. "0 2 4-11" or "0 1:2 2" (option 1 grayed).

#include "option_set.h"

#include <QString>
#include <QStringList>

#include <set>
#include <vector>

inline OptionSet::State stateOf(const QString &ticked)
{
    OptionSet::State state{};
    for (const QString &part : ticked.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (part == QLatin1String("none"))
            continue;
        const QStringList valued = part.split(QLatin1Char(':'));
        const OptionValue value = valued.size() > 1 ? OptionValue(valued[1].toInt()) : 1;
        const QStringList range = valued[0].split(QLatin1Char('-'));
        const int first = range[0].toInt();
        const int last = range.size() > 1 ? range[1].toInt() : first;
        for (int i = first; i <= last; ++i)
            state[i] = value;
    }
    return state;
}

inline QString describe(const OptionSet::State &state)
{
    QStringList parts;
    for (int i = 0; i < OptionCount; ++i) {
        if (state[i] == 1)
            parts << QString::number(i);
        else if (state[i] != 0)
            parts << QStringLiteral("%1:%2").arg(i).arg(state[i]);
    }
    return parts.isEmpty() ? QStringLiteral("none") : parts.join(QLatin1Char(' '));
}

// Every state a user can reach by clicks, from all cleared and from every load
// of a store holding only 0 and 1: each of the eleven keys that are read (bit i
// for option i) loaded as start-up does, in key order from all cleared.
inline std::vector<OptionSet::State> reachableStates()
{
    std::set<OptionSet::State> seen;
    std::vector<OptionSet::State> states;
    auto visit = [&](const OptionSet::State &s) {
        if (seen.insert(s).second)
            states.push_back(s);
    };
    visit(OptionSet::State{});
    for (unsigned bits = 0; bits < (1u << 11); ++bits) {
        OptionSet loaded;
        for (int i = 0; i <= 10; ++i)
            loaded.setValue(i, (bits >> i) & 1u);
        visit(loaded.values());
    }
    for (size_t next = 0; next < states.size(); ++next) {
        for (int k = 0; k < OptionCount; ++k) {
            OptionSet options(states[next]);
            options.click(k);
            visit(options.values());
        }
    }
    return states;
}
