#pragma once

// Reading the options from the store and writing them back, key by key in the
// order of the option table.

#include "store_error.h"

#include "option_set.h"
#include "settings_store.h"

#include <array>
#include <functional>
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
// Both, for a load with no window between them (tests, the benchmark).
std::optional<StoreError> LoadOptions(OptionSet &options, SettingsStore &store);

// A load with what each key gave, for a report of it.
struct LoadedOptions {
    std::vector<StoredText> stored{}; // every key's text as found, "Hide built-in tabs" too
    using Given = std::array<std::optional<OptionValue>, OptionCount>;
    Given given{};                     // what each key's read gave
    OptionSet options{};               // as far as the loading went
    std::optional<StoreError> error{}; // what stopped it

    // How an option got its value: its key's text, a missing key's default, the rules
    // (of its own read, or of a key read after it), or nothing, as its key is never read.
    enum class Decided { Key, Default, Rules, NotRead };
    Decided decided(int index) const;

    // What a first start, with no key stored, loads.
    static LoadedOptions firstStart();
};
LoadedOptions LoadStoredOptions(SettingsStore &store);

// One change of the stored options, read, changed and saved under the store's lock,
// so that no save of another program comes between and is undone.
struct OptionsChange {
    LoadedOptions before{};              // the store as found there, and its load
    std::optional<OptionSet> saved{};    // what was written, if anything
    LoadedOptions after{};               // a load of what was written: what the next start finds
    std::optional<StoreError> failure{}; // why the save failed; then nothing was written
};
// `wanted` gets the store as loaded and returns the options to save, or nothing to
// save nothing. It runs again if another program changes the file before ours
// takes its place.
OptionsChange
ChangeStoredOptions(SettingsStore &store,
                    const std::function<std::optional<OptionSet>(const LoadedOptions &)> &wanted);

// The twelve keys and their texts, in the order of writing.
std::vector<SettingText> OptionTexts(const OptionSet &options);
// Writes all twelve keys, changed or not, and commits them together.
std::optional<StoreError> SaveOptions(const OptionSet &options, SettingsStore &store);
