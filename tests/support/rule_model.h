#pragma once

// The rules written down a second time, as a table and apart from options/, so
// that the two can be held against each other: after any change, the same
// values, the same changes in the same order, and the same depth of nested rules.

#include <QRandomGenerator>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

// Option `from` to `to` set to `value` in turn, then the steps `then`.
inline std::vector<std::pair<int, int>> steps(int from, int to, int value,
                                              std::vector<std::pair<int, int>> then = {})
{
    std::vector<std::pair<int, int>> steps;
    for (int k = from; k <= to; ++k)
        steps.emplace_back(k, value);
    steps.insert(steps.end(), then.begin(), then.end());
    return steps;
}

struct RuleModel {
    using State = std::array<int, 12>;
    using Step = std::pair<int, int>; // an option, and the value it is set to
    // An option's rule: once ticked, the steps `ticked`, but only while the options from
    // `first` to `last` are all cleared (first -1: always); once cleared, `cleared`.
    struct Rule {
        int first, last;
        std::vector<Step> ticked, cleared;
    };
    static inline const Rule table[12] = {
        {1, 11, {{1, 1}, {2, 1}}, steps(1, 11, 0)}, // Classic
        {-1, 0, {{3, 0}, {0, 1}}, {}},              // Left
        {-1, 0, {{0, 1}}, {}},                      // All
        {-1, 0, {{1, 0}, {0, 1}}, {}},              // Home
        {-1, 0, {{11, 1}, {0, 1}}, {}},             // Page Layout to Developer
        {-1, 0, {{11, 1}, {0, 1}}, {}},
        {-1, 0, {{11, 1}, {0, 1}}, {}},
        {-1, 0, {{11, 1}, {0, 1}}, {}},
        {-1, 0, {{11, 1}, {0, 1}}, {}},
        {-1, 0, {{11, 1}, {0, 1}}, {}},
        {-1, 0, {{11, 1}, {0, 1}}, {}},
        {3, 10, steps(3, 10, 1, {{1, 0}}), steps(3, 10, 0)}, // Hide built-in tabs
    };

    State values{};
    QStringList changes; // "option=value", in order
    int depth = 0, maxDepth = 0;

    void set(int k, int value)
    {
        if (values[k] == value)
            return;
        values[k] = value;
        changes << QStringLiteral("%1=%2").arg(k).arg(value);
        maxDepth = std::max(maxDepth, ++depth);
        const Rule &rule = table[k];
        const bool ticked = values[k] != 0;
        bool blocked = false;
        for (int i = rule.first; ticked && i >= 0 && i <= rule.last; ++i)
            blocked = blocked || values[i] != 0;
        if (!ticked || !blocked)
            for (const auto &[option, to] : ticked ? rule.ticked : rule.cleared)
                set(option, to);
        --depth;
    }
    template <class Values> Values as() const
    {
        Values to{};
        std::copy(values.begin(), values.end(), to.begin());
        return to;
    }
    // A click toggles: a grayed box is ticked, so it clears.
    void click(int k) { set(k, values[k] ? 0 : 1); }
    // A start-up: the eleven keys that are read, in order; -1 for a missing key.
    void load(const std::array<int, 11> &stored)
    {
        for (int k = 0; k < 11; ++k)
            set(k, stored[k] >= 0 ? stored[k] : k < 3 ? 1 : 0);
    }
};

// The seed of a property's random runs: VELMORA_TEST_SEED when set, else a new one,
// which a failure names.
inline quint32 propertySeed()
{
    bool given = false;
    const quint32 seed = qEnvironmentVariable("VELMORA_TEST_SEED").toUInt(&given);
    return given ? seed : QRandomGenerator::global()->generate();
}
