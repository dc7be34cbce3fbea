#pragma once

// The rule table's end states, shared by the rules' own suite and by the command
// line, whose --set must end where a click does.

#include "option_states.h"

#include <QTest>

// Columns "start", "click" (the option clicked) and "expected" (the end state).
inline void addClickEndEffects()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("click");
    QTest::addColumn<QString>("expected");

    const QString starts[] = {"none", "0-2", "0-2 4-11", "0 2-11"}; // A, B, C, D
    const auto add = [&](int k, const QString(&ends)[4]) {
        for (int s = 0; s < 4; ++s)
            QTest::addRow("click %d from %c", k, "ABCD"[s]) << starts[s] << k << ends[s];
    };
    add(0, {"0 1 2", "none", "none", "none"});
    add(1, {"0 1", "0 2", "0 2 4-11", "0-2 4-11"});
    add(2, {"0 2", "0 1", "0 1 4-11", "0 3-11"});
    add(3, {"0 3", "0 2 3", "0 2-11", "0 2 4-11"});
    add(11, {"0 3-11", "0 2-11", "0 1 2", "0 2"});
    for (int k = 4; k <= 10; ++k) { // options 4 to 10 share one rule
        OptionSet::State c = stateOf(starts[2]), d = stateOf(starts[3]);
        c[k] = d[k] = 0;
        add(k, {QStringLiteral("0 %1 11").arg(k), QStringLiteral("0 1 2 %1 11").arg(k), describe(c),
                describe(d)});
    }
}
