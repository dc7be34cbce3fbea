#include "option_storage.h"

#include <algorithm>
#include <cmath>

Conversion ConvertStoredText(const QString &text, bool isPlainText)
{
    using Kind = StoreError::Kind;
    // QString reads the C locale's digits, blanks around them allowed, group separators not.
    // With its digits made 0 a decimal number reads as 0, where "inf", "nan" and text that
    // is no number do not.
    QString zeros = text;
    std::replace_if(
        zeros.begin(), zeros.end(), [](QChar c) { return c >= u'1' && c <= u'9'; }, u'0');
    bool isNumber = false;
    if (!isPlainText || zeros.toDouble(&isNumber) != 0 || !isNumber)
        return {.failure = Kind::TypeMismatch};
    // Too small to represent reads as 0 and too large as infinity; the default
    // rounding mode rounds halves to the even neighbour.
    const double rounded = std::nearbyint(text.toDouble());
    if (!(rounded >= -32768.0 && rounded <= 32767.0))
        return {.failure = Kind::Overflow};
    if (rounded != 0 && rounded != 1 && rounded != 2)
        return {.failure = Kind::InvalidPropertyValue};
    return {.value = static_cast<OptionValue>(rounded)};
}

namespace
{

const QString application = QString::fromLatin1(kApplication);
const QString section = QString::fromLatin1(kSection);

QString keyOf(int index)
{
    return QString::fromLatin1(OptionSet::info(index).key);
}

StoredText storedText(SettingsStore &store, int index)
{
    return store.GetSetting(application, section, keyOf(index),
                            OptionSet::info(index).defaultValue);
}

// Sets options `first` to `last` from their keys' texts, in order, as start-up does,
// noting in `given` what each key gave.
std::optional<StoreError> load(OptionSet &options, const std::function<StoredText(int)> &textOf,
                               LoadedOptions::Given &given, int first, int last,
                               const QString &location)
{
    for (int i = first; i <= last; ++i) {
        if (!OptionSet::info(i).readAtStart)
            continue;
        const StoredText stored = textOf(i);
        if (stored.unreadable)
            return StoreError::unreadable(location, *stored.unreadable, keyOf(i));
        const Conversion converted = ConvertStoredText(stored.text, stored.isPlainText);
        if (!converted.value)
            return StoreError{.kind = converted.failure,
                              .key = keyOf(i),
                              .text = stored.asStored.value_or(stored.text),
                              .location = location,
                              .plainText = stored.isPlainText};
        given[i] = converted.value;
        options.setValue(i, *converted.value);
    }
    return std::nullopt;
}

void loadFrom(LoadedOptions &loaded, const QString &location)
{
    loaded.error = load(
        loaded.options, [&loaded](int i) { return loaded.stored[i]; }, loaded.given, 0,
        OptionCount - 1, location);
}

std::optional<StoreError> readRange(OptionSet &options, SettingsStore &store, int first, int last)
{
    const QString location = store.location(application);
    if (const auto failure = store.open(application))
        return StoreError::unreadable(location, *failure);
    LoadedOptions::Given given;
    return load(
        options, [&store](int i) { return storedText(store, i); }, given, first, last, location);
}

} // namespace

std::optional<StoreError> LoadMenuOptions(OptionSet &options, SettingsStore &store)
{
    return readRange(options, store, Option::Classic, Option::All);
}

std::optional<StoreError> LoadTabOptions(OptionSet &options, SettingsStore &store)
{
    return readRange(options, store, Option::Home, Option::HideBuiltInTabs);
}

std::optional<StoreError> LoadOptions(OptionSet &options, SettingsStore &store)
{
    return readRange(options, store, Option::Classic, Option::HideBuiltInTabs);
}

LoadedOptions::Decided LoadedOptions::decided(int index) const
{
    if (!OptionSet::info(index).readAtStart)
        return Decided::NotRead;
    if (given[index] != options.value(index))
        return Decided::Rules;
    return stored[index].missing ? Decided::Default : Decided::Key;
}

LoadedOptions LoadedOptions::firstStart()
{
    LoadedOptions loaded;
    for (int i = 0; i < OptionCount; ++i)
        loaded.stored.push_back(StoredText::defaultOf(OptionSet::info(i).defaultValue));
    loadFrom(loaded, {});
    return loaded;
}

LoadedOptions LoadStoredOptions(SettingsStore &store)
{
    LoadedOptions loaded;
    for (int i = 0; i < OptionCount; ++i)
        loaded.stored.push_back(storedText(store, i));
    if (const auto failure = store.open(application))
        loaded.error = StoreError::unreadable(store.location(application), *failure);
    else
        loadFrom(loaded, store.location(application));
    return loaded;
}

OptionsChange
ChangeStoredOptions(SettingsStore &store,
                    const std::function<std::optional<OptionSet>(const LoadedOptions &)> &wanted)
{
    OptionsChange change;
    const auto failure =
        store.commit(application, [&]() -> std::optional<std::vector<SettingText>> {
            change.before = LoadStoredOptions(store);
            change.saved = wanted(change.before);
            if (!change.saved)
                return std::nullopt;
            return OptionTexts(*change.saved);
        });
    if (failure) {
        change.failure = StoreError::writeFailed(store.location(application), *failure);
        change.saved.reset();
    } else if (change.saved) {
        for (const SettingText &t : OptionTexts(*change.saved))
            change.after.stored.push_back({.text = t.text});
        loadFrom(change.after, store.location(application));
    }
    return change;
}

std::vector<SettingText> OptionTexts(const OptionSet &options)
{
    std::vector<SettingText> texts;
    for (int i = 0; i < OptionCount; ++i)
        texts.push_back({section, keyOf(i), QString::number(options.value(i))});
    return texts;
}

std::optional<StoreError> SaveOptions(const OptionSet &options, SettingsStore &store)
{
    for (const SettingText &t : OptionTexts(options))
        store.SaveSetting(application, t.section, t.key, t.text);
    if (const auto failure = store.commit(application))
        return StoreError::writeFailed(store.location(application), *failure);
    return std::nullopt;
}
