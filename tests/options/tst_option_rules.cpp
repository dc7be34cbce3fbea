// The rules, as tables: what one click leaves behind, the exact cascades, and
// the invariants over every state a user can reach.

#include "option_set.h"
#include "option_states.h"
#include "rule_examples.h"

#include <QTest>

namespace
{

bool anyOf4To10(const OptionSet::State &state)
{
    return std::any_of(&state[4], &state[11], [](OptionValue v) { return v != 0; });
}

// The state after `option` is set to `value` from `start`; -1 stands for a user's click.
QString after(const QString &start, int option, int value = -1)
{
    OptionSet options(stateOf(start));
    if (value < 0)
        options.click(option);
    else
        options.setValue(option, OptionValue(value));
    return describe(options.values());
}

} // namespace

class TestOptionRules : public QObject
{
    Q_OBJECT

private slots:
    void optionTable()
    {
        // The captions of options 3 to 11 are their keys; " View" keeps its leading blank.
        const char *captions[] = {"Show Classic Menu and Toolbars in Microsoft Excel 2007",
                                  "Show menus tabs on the left of home tab",
                                  "Show all items in main menu"};
        const char *keys[] = {"Classic",     "Left",   "All",       "Home",
                              "Page Layout", "Insert", "Formulas",  "Data",
                              "Review",      " View",  "Developer", "Hide built-in tabs"};
        for (int i = 0; i < OptionCount; ++i) {
            const OptionInfo &info = OptionSet::info(i);
            QCOMPARE(QString::fromLatin1(info.caption),
                     QString::fromLatin1(i < 3 ? captions[i] : keys[i]));
            QCOMPARE(QString::fromLatin1(info.key), QString::fromLatin1(keys[i]));
            QCOMPARE(info.defaultValue, OptionValue(i < 3 ? 1 : 0));
            QCOMPARE(info.readAtStart, i != 11);
        }
    }

    void endEffects_data() { addClickEndEffects(); }
    void endEffects()
    {
        QFETCH(QString, start);
        QFETCH(int, click);
        QFETCH(QString, expected);
        QCOMPARE(after(start, click), describe(stateOf(expected)));
    }

    void cascades_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("option");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("changes"); // "index=value" as announced, in order

        QTest::newRow("tick 0 from none") << "none" << 0 << 1 << "0=1 1=1 2=1";
        QTest::newRow("tick 11 from none")
            << "none" << 11 << 1 << "11=1 3=1 0=1 4=1 5=1 6=1 7=1 8=1 9=1 10=1";
        // A grayed 0 is set back to 1 by the rule of 1, which runs the rule of 0 again, nested.
        QTest::newRow("gray 0 from none") << "none" << 0 << 2 << "0=2 1=1 0=1 2=1";
        QTest::newRow("clear 0 from D")
            << "0 2-11" << 0 << 0 << "0=0 2=0 3=0 4=0 5=0 6=0 7=0 8=0 9=0 10=0 11=0";
        QTest::newRow("tick 3 from B") << "0-2" << 3 << 1 << "3=1 1=0";
        // Every rule with more than one step, from a start where each step shows.
        QTest::newRow("tick 1 over 3") << "3" << 1 << 1 << "1=1 3=0 0=1";
        QTest::newRow("tick 3 over 1") << "1" << 3 << 1 << "3=1 1=0 0=1";
        QTest::newRow("tick 4 from none") << "none" << 4 << 1 << "4=1 11=1 0=1";
        QTest::newRow("tick 11 from B")
            << "0-2" << 11 << 1 << "11=1 3=1 1=0 4=1 5=1 6=1 7=1 8=1 9=1 10=1";
        QTest::newRow("clear 11 from 0 3-11")
            << "0 3-11" << 11 << 0 << "11=0 3=0 4=0 5=0 6=0 7=0 8=0 9=0 10=0";
    }
    void cascades()
    {
        QFETCH(QString, start);
        QFETCH(int, option);
        QFETCH(int, value);
        QFETCH(QString, changes);

        OptionSet options(stateOf(start));
        QStringList seen;
        options.addListener([&](int index, OptionValue v) {
            // The listener sees the value already stored: the window shows what the rules read.
            QCOMPARE(options.value(index), v);
            seen << QStringLiteral("%1=%2").arg(index).arg(v);
        });
        options.setValue(option, OptionValue(value));
        QCOMPARE(seen.join(' '), changes);
    }

    void edgeCases_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("option");
        QTest::addColumn<int>("value"); // -1: a user's click
        QTest::addColumn<QString>("expected");

        QTest::newRow("tick 11 with 0 and 3: 3 is enough") << "0 3" << 11 << 1 << "0 3 11";
        QTest::newRow("clearing the last of 4-10 keeps 11") << "0 4 11" << 4 << 0 << "0 11";
        QTest::newRow("clear 11 clears 3-10, not 0-2") << "0-2 4 5 11" << 11 << 0 << "0 1 2";
        QTest::newRow("clear 11 clears Home too") << "0 2 3 7 11" << 11 << 0 << "0 2";
        QTest::newRow("clear 1 never ticks 3") << "0 1" << 1 << 0 << "0";
        QTest::newRow("clear 3 never ticks 1") << "0 3" << 3 << 0 << "0";
        QTest::newRow("clear 2 changes nothing else") << "0 2 3 4 11" << 2 << 0 << "0 3 4 11";
        QTest::newRow("clear 9 changes nothing else") << "0 1 9 10 11" << 9 << 0 << "0 1 10 11";
        QTest::newRow("click on grayed box clears it") << "0 1:2 2" << 1 << -1 << "0 2";
        QTest::newRow("grayed counts as ticked for 0") << "0:2 4:2" << 11 << 1 << "0:2 4:2 11";
        QTest::newRow("graying a ticked 0 runs its rule") << "0 3" << 0 << 2 << "0:2 3";
        QTest::newRow("tick 11 over grayed 1 clears it") << "0 1:2" << 11 << 1 << "0 3-11";
    }
    void edgeCases()
    {
        QFETCH(QString, start);
        QFETCH(int, option);
        QFETCH(int, value);
        QFETCH(QString, expected);
        QCOMPARE(after(start, option, value), describe(stateOf(expected)));
    }

    void invariantsHoldEverywhere()
    {
        const auto states = reachableStates();
        QVERIFY(states.size() > 100); // sanity: the search really explored

        for (const auto &state : states) {
            const QString name = describe(state);
            if (state[0] == 0)
                QVERIFY2(name == QLatin1String("none"), qPrintable(name));
            QVERIFY2(!(state[1] && state[3]), qPrintable(name));
            QVERIFY2(!anyOf4To10(state) || state[11], qPrintable(name));

            for (int k = 0; k < OptionCount; ++k) {
                OptionSet options(state);
                int announced = 0;
                options.addListener([&](int, OptionValue) { ++announced; });
                options.click(k);
                // A cascade ends, and no option changes more than twice in it.
                QVERIFY2(announced >= 1 && announced <= 2 * OptionCount,
                         qPrintable(QStringLiteral("%1, click %2").arg(name).arg(k)));

                // The same value again runs nothing.
                options.addListener([&](int, OptionValue) { QFAIL("no change expected"); });
                options.setValue(k, options.value(k));
            }
        }
    }

    void descriptionsTellTheRules_data()
    {
        // What a description says, and the click that must bear it out from every reachable
        // state with the option cleared (`tick`) or ticked, and the tabs 3 to 10 "none" or
        // "any" ticked ("" either way); what is then ticked and cleared, and whether nothing
        // else changes.
        QTest::addColumn<int>("option");
        QTest::addColumn<QString>("says");
        QTest::addColumn<bool>("tick");
        QTest::addColumn<QString>("tabs");
        QTest::addColumn<QString>("ticked");
        QTest::addColumn<QString>("cleared");
        QTest::addColumn<bool>("onlyThese");

        const auto row = [](const char *name, int option, const char *says, bool tick,
                            const char *tabs, const char *ticked, const char *cleared,
                            bool onlyThese) {
            QTest::newRow(name) << option << says << tick << tabs << ticked << cleared << onlyThese;
        };
        row("0 cleared", 0, "Every other option needs it", false, "", "none", "0-11", true);
        row("1 ticked", 1, "Cannot be combined with hiding Home", true, "", "0 1", "3", false);
        row("3 ticked", 3, "Cannot be combined with menu tabs on the left", true, "", "0 3", "1",
            false);
        row("11 ticked, no tab", 11,
            "Ticked when none of the eight tabs below is ticked, it ticks them all", true, "none",
            "0 3-11", "1", true);
        row("11 ticked, a tab already", 11, "otherwise it ticks nothing more", true, "any", "11",
            "none", true);
        row("11 cleared", 11, "Clearing it clears all eight", false, "", "none", "3-11", false);
    }
    void descriptionsTellTheRules()
    {
        QFETCH(int, option);
        QFETCH(QString, says);
        QFETCH(bool, tick);
        QFETCH(QString, tabs);
        QFETCH(QString, ticked);
        QFETCH(QString, cleared);
        QFETCH(bool, onlyThese);

        const QString description = QString::fromLatin1(OptionSet::info(option).description);
        QVERIFY2(description.contains(says), qPrintable(description));
        const OptionSet::State mustTick = stateOf(ticked), mustClear = stateOf(cleared);
        int tried = 0;
        for (const OptionSet::State &before : reachableStates()) {
            const bool anyTab = before[3] || anyOf4To10(before);
            if ((before[option] == 0) != tick || (tabs == "none" && anyTab) ||
                (tabs == "any" && !anyTab))
                continue;
            OptionSet options(before);
            options.click(option);
            const OptionSet::State after = options.values();
            for (int i = 0; i < OptionCount; ++i) {
                const OptionValue expected = mustTick[i]    ? 1
                                             : mustClear[i] ? 0
                                             : onlyThese    ? before[i]
                                                            : after[i];
                QVERIFY2(after[i] == expected,
                         qPrintable(describe(before) + " -> " + describe(after)));
            }
            ++tried;
        }
        QVERIFY(tried > 0);
    }
};

QTEST_GUILESS_MAIN(TestOptionRules)
#include "tst_option_rules.moc"
