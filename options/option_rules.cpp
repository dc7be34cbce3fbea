#include "option_rules.h"

#include "option_set.h"

namespace
{

constexpr OptionValue Cleared = 0;
constexpr OptionValue Ticked = 1;

// Taken when the rule reaches it, so changes made earlier in the cascade count.
int sum(const OptionSet &options, int first, int last)
{
    int total = 0;
    for (int i = first; i <= last; ++i)
        total += options.value(i);
    return total;
}

void setRange(OptionSet &options, int first, int last, OptionValue value)
{
    for (int i = first; i <= last; ++i)
        options.setValue(i, value);
}

} // namespace

void OptionRules::applyRule(OptionSet &options, int index)
{
    using namespace Option;
    const bool ticked = options.isTicked(index);
    switch (index) {
    case Classic: // everything else presupposes the classic menu
        if (!ticked) {
            setRange(options, Left, HideBuiltInTabs, Cleared);
        } else if (sum(options, Left, HideBuiltInTabs) == 0) {
            options.setValue(Left, Ticked);
            options.setValue(All, Ticked);
        }
        break;
    case Left: // menu tabs on the left exclude hiding Home
        if (ticked) {
            options.setValue(Home, Cleared);
            options.setValue(Classic, Ticked);
        }
        break;
    case All:
        if (ticked)
            options.setValue(Classic, Ticked);
        break;
    case Home: // excludes menu tabs on the left; unlike the other tabs, leaves the master alone
        if (ticked) {
            options.setValue(Left, Cleared);
            options.setValue(Classic, Ticked);
        }
        break;
    case PageLayout:
    case Insert:
    case Formulas:
    case Data:
    case Review:
    case View:
    case Developer:
        // Clearing the last of them leaves the master ticked: no rule takes back a
        // tick the user may have set. Ok writes it as it stands; it comes back
        // cleared on the next start, since the master is not read.
        if (ticked) {
            options.setValue(HideBuiltInTabs, Ticked);
            options.setValue(Classic, Ticked);
        }
        break;
    case HideBuiltInTabs: // master of the built-in tabs, Home included
        if (!ticked) {
            setRange(options, FirstTab, LastTab, Cleared);
        } else if (sum(options, FirstTab, LastTab) == 0) {
            setRange(options, FirstTab, LastTab, Ticked);
            options.setValue(Left, Cleared);
        }
        break;
    }
}
