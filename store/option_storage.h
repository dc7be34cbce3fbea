#pragma once

// Reading the options from the store and writing them back, key by key in the
// order of the option table.

#include "store_error.h"

#include "option_set.h"
#include "settings_store.h"

#include <optional>
#include <vector>

// A stored text as an option value: a decimal number in the C locale, blanks
// around it and a sign allowed, fractions rounded half to even, then 0, 1 or 2.
struct Conversion {
    std::optional<OptionValue> value{};
    StoreError::Kind failure = StoreError::Kind::TypeMismatch; // when there is no value
};
Conversion ConvertStoredText(const QString &text, bool isPlainText = true);

// Each read sets its option, so the rules run during loading exactly as for a
// click. Loading stops at the first bad key; nothing is written.
// Classic, Left and All; then the built-in tabs, Home to Developer. "Hide
// built-in tabs" is not read: it comes back through the rules of the tabs.
std::optional<StoreError> LoadMenuOptions(OptionSet &options, SettingsStore &store);
std::optional<StoreError> LoadTabOptions(OptionSet &options, SettingsStore &store);
// Both, for a load with no window between them (the command line, tests).
std::optional<StoreError> LoadOptions(OptionSet &options, SettingsStore &store);

// The twelve keys and their texts, in the order of writing.
std::vector<SettingText> OptionTexts(const OptionSet &options);
// Writes all twelve keys, changed or not, and commits them together.
std::optional<StoreError> SaveOptions(const OptionSet &options, SettingsStore &store);
