// The rules against a second telling of them (rule_model.h): every change from
// every state a user can reach (those the model finds: 775), and random runs
// through grayed states; beside them the table of end effects and two cascades
// step by step, as documented.

#include "option_set.h"
#include "option_states.h"
#include "rule_examples.h"
#include "rule_model.h"

#include <QTest>

namespace
{

// What `change` does to the options and to the model, both from `start`; empty
// when they agree, else how they differ. A value of -1 stands for a user's click.
QString disagreement(const OptionSet::State &start, int option, int value)
{
    OptionSet options(start);
    RuleModel model;
    std::copy(start.begin(), start.end(), model.values.begin());
    QStringList seen;
    QString wrong;
    options.addListener([&](int index, OptionValue v) {
        // The listener sees the value already stored: the window shows what the rules read.
        if (options.value(index) != v)
            wrong = QStringLiteral("announced before stored; ");
        seen << QStringLiteral("%1=%2").arg(index).arg(v);
    });
    if (value < 0) {
        options.click(option);
        model.click(option);
    } else {
        options.setValue(option, OptionValue(value));
        model.set(option, value);
    }
    // The same changes in the same order: the same nesting as the model's, which for 0 and
    // 1 alone keeps no more than three rules in progress at one time.
    const bool plain = value < 2 && std::count(start.begin(), start.end(), 2) == 0;
    if (plain && model.maxDepth > 3)
        wrong += QStringLiteral("more than three rules nested; ");
    if (seen != model.changes)
        wrong += QStringLiteral("changes %1; the model: %2")
                     .arg(seen.join(' '), model.changes.join(' '));
    return wrong.isEmpty() ? wrong
                           : QStringLiteral("from %1, %2 %3: ")
                                     .arg(describe(start), value < 0 ? "click" : "set")
                                     .arg(option) +
                                 wrong;
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
        OptionSet options(stateOf(start));
        options.click(click);
        QCOMPARE(describe(options.values()), describe(stateOf(expected)));
    }

    void cascades()
    {
        // Ticking 0, then 11, with all cleared.
        for (const auto &[option, changes] :
             {std::pair{0, "0=1 1=1 2=1"}, {11, "11=1 3=1 0=1 4=1 5=1 6=1 7=1 8=1 9=1 10=1"}}) {
            OptionSet options;
            QStringList seen;
            options.addListener([&](int index, OptionValue v) {
                seen << QStringLiteral("%1=%2").arg(index).arg(v);
            });
            options.setValue(option, 1);
            QCOMPARE(seen.join(' '), QString(changes));
        }
    }

    // Every click and every setting of every value, from every state a user can reach;
    // those states keep the three invariants.
    void everyChangeAsTheModelSays()
    {
        const auto states = reachableStates();
        QCOMPARE(states.size(), size_t(775));
        for (const OptionSet::State &s : states) {
            const QString name = describe(s);
            QVERIFY2(s[0] || name == QLatin1String("none"), qPrintable(name));
            QVERIFY2(!(s[1] && s[3]), qPrintable(name));
            QVERIFY2(s[11] || std::all_of(&s[4], &s[11], [](int v) { return v == 0; }),
                     qPrintable(name));
            for (int k = 0; k < OptionCount; ++k) {
                for (int value : {-1, 0, 1, 2}) {
                    const QString wrong = disagreement(s, k, value);
                    QVERIFY2(wrong.isEmpty(), qPrintable(wrong));
                }
            }
        }
    }

    // From any values at all, grayed ones too, runs of clicks and settings.
    void randomRunsAsTheModelSays()
    {
        const quint32 seed = propertySeed();
        QRandomGenerator random(seed);
        for (int run = 0; run < 400; ++run) {
            OptionSet::State state{};
            for (OptionValue &v : state)
                v = OptionValue(random.bounded(3));
            for (int step = 0; step < 8; ++step) {
                const int option = random.bounded(OptionCount);
                const int value = random.bounded(-1, 3);
                const QString wrong = disagreement(state, option, value);
                QVERIFY2(wrong.isEmpty(),
                         qPrintable(QStringLiteral("seed %1: ").arg(seed) + wrong));
                OptionSet options(state);
                value < 0 ? options.click(option) : options.setValue(option, OptionValue(value));
                state = options.values();
            }
        }
    }

    void descriptionsTellTheRules_data()
    {
        // What the box's description says of its rule, which the model bears out.
        QTest::addColumn<int>("option");
        QTest::addColumn<QString>("says");
        QTest::newRow("0") << 0 << "Every other option needs it";
        QTest::newRow("1") << 1 << "Cannot be combined with hiding Home";
        QTest::newRow("3") << 3 << "Cannot be combined with menu tabs on the left";
        QTest::newRow("11, no tab")
            << 11 << "Ticked when none of the eight tabs below is ticked, it ticks them all";
        QTest::newRow("11, a tab already") << 11 << "otherwise it ticks nothing more";
        QTest::newRow("11 cleared") << 11 << "Clearing it clears all eight";
    }
    void descriptionsTellTheRules()
    {
        QFETCH(int, option);
        QFETCH(QString, says);
        const QString description = QString::fromLatin1(OptionSet::info(option).description);
        QVERIFY2(description.contains(says), qPrintable(description));
    }
};

QTEST_GUILESS_MAIN(TestOptionRules)
#include "tst_option_rules.moc"
