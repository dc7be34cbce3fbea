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

    const QString A = "none", B = "0-2", C = "0-2 4-11", D = "0 2-11";
    struct Row {
        int click;
        QString fromA, fromB, fromC, fromD;
    };
    const Row rows[] = {
        {0, "0 1 2", "none", "none", "none"},     {1, "0 1", "0 2", "0 2 4-11", "0-2 4-11"},
        {2, "0 2", "0 1", "0 1 4-11", "0 3-11"},  {3, "0 3", "0 2 3", "0 2-11", "0 2 4-11"},
        {11, "0 3-11", "0 2-11", "0 1 2", "0 2"},
    };
    auto add = [](const QString &from, const QString &name, int k, const QString &expected) {
        QTest::addRow("click %d from %s", k, qPrintable(name)) << from << k << expected;
    };
    for (const Row &r : rows) {
        add(A, "A", r.click, r.fromA);
        add(B, "B", r.click, r.fromB);
        add(C, "C", r.click, r.fromC);
        add(D, "D", r.click, r.fromD);
    }
    for (int k = 4; k <= 10; ++k) { // options 4 to 10 share one rule
        OptionSet::State c = stateOf(C), d = stateOf(D);
        c[k] = d[k] = 0;
        add(A, "A", k, QStringLiteral("0 %1 11").arg(k));
        add(B, "B", k, QStringLiteral("0 1 2 %1 11").arg(k));
        add(C, "C", k, describe(c));
        add(D, "D", k, describe(d));
    }
}
