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

void OptionRules::Check1_Click(OptionSet &options, int index)
{
    const bool ticked = options.isTicked(index);
    switch (index) {
    case 0: // the classic menu: everything else presupposes it
        if (!ticked) {
            setRange(options, 1, 11, Cleared);
        } else if (sum(options, 1, 11) == 0) {
            options.setValue(1, Ticked);
            options.setValue(2, Ticked);
        }
        break;
    case 1: // menu tabs on the left exclude hiding Home
        if (ticked) {
            options.setValue(3, Cleared);
            options.setValue(0, Ticked);
        }
        break;
    case 2:
        if (ticked)
            options.setValue(0, Ticked);
        break;
    case 3: // hiding Home excludes menu tabs on the left; leaves the master alone
        if (ticked) {
            options.setValue(1, Cleared);
            options.setValue(0, Ticked);
        }
        break;
    case 4:
    case 5:
    case 6:
    case 7:
    case 8:
    case 9:
    case 10:
        // Clearing the last one deliberately leaves the master ticked.
        if (ticked) {
            options.setValue(11, Ticked);
            options.setValue(0, Ticked);
        }
        break;
    case 11: // master of the built-in tabs 3 to 10
        if (!ticked) {
            setRange(options, 3, 10, Cleared);
        } else if (sum(options, 3, 10) == 0) {
            setRange(options, 3, 10, Ticked);
            options.setValue(1, Cleared);
        }
        break;
    default:
        break;
    }
}
