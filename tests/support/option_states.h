#pragma once

// Compact notation for option states in test tables: the ticked indices, with
// ranges and grayed values, e.g. "0 2 4-11" or "0 1:2 2" (option 1 grayed).

#include "option_set.h"
#include "rule_model.h"

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
// of a store holding only 0 and 1 (bit i for option i of the eleven read), as the
// rules' model has them; tst_option_rules holds the rules against the model for
// every change from each of them.
inline std::vector<OptionSet::State> reachableStates()
{
    std::set<RuleModel::State> seen;
    std::vector<RuleModel::State> found;
    const auto visit = [&](const RuleModel &model) {
        if (seen.insert(model.values).second)
            found.push_back(model.values);
    };
    visit(RuleModel{});
    for (unsigned bits = 0; bits < (1u << 11); ++bits) {
        RuleModel loaded;
        for (int k = 0; k < 11; ++k)
            loaded.set(k, (bits >> k) & 1u);
        visit(loaded);
    }
    for (size_t next = 0; next < found.size(); ++next) {
        for (int k = 0; k < OptionCount; ++k) {
            RuleModel clicked;
            clicked.values = found[next];
            clicked.click(k);
            visit(clicked);
        }
    }
    std::vector<OptionSet::State> states(found.size());
    for (size_t i = 0; i < found.size(); ++i)
        std::copy(found[i].begin(), found[i].end(), states[i].begin());
    return states;
}
