#pragma once

// The rules that keep the twelve options consistent with each other.

class OptionSet;

namespace OptionRules
{
// Runs the rule of option `index` on its current value. Every setting it makes
// goes through OptionSet::setValue, so further rules run nested. The window's
// `Check1_Click` is this, for the box of that index.
void applyRule(OptionSet &options, int index);
} // namespace OptionRules
