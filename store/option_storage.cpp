#include "option_storage.h"

#include "option_set.h"
#include "settings_store.h"

namespace
{

const QString application = QString::fromLatin1(kApplication);
const QString section = QString::fromLatin1(kSection);

std::optional<StoreError> readOption(OptionSet &options, SettingsStore &store, int index)
{
    const QString location = store.location(application);
    if (const auto failure = store.open(application))
        return StoreError{StoreError::Kind::Unreadable, {}, {}, location, *failure};

    const OptionInfo &option = OptionSet::info(index);
    const QString key = QString::fromLatin1(option.key);
    const StoredText stored = store.GetSetting(application, section, key, option.defaultValue);
    if (stored.unreadable)
        return StoreError{StoreError::Kind::Unreadable, key, {}, location, *stored.unreadable};
    const Conversion converted = ConvertStoredText(stored.text, stored.isPlainText);
    if (!converted.value)
        return StoreError{converted.failure, key, stored.asStored.value_or(stored.text),
                          location,          {},  stored.isPlainText};
    options.setValue(index, *converted.value);
    return std::nullopt;
}

std::optional<StoreError> readRange(OptionSet &options, SettingsStore &store, int first, int last)
{
    for (int i = first; i <= last; ++i) {
        if (!OptionSet::info(i).readAtStart)
            continue;
        if (auto error = readOption(options, store, i))
            return error;
    }
    return std::nullopt;
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
    if (auto error = LoadMenuOptions(options, store))
        return error;
    return LoadTabOptions(options, store);
}

std::vector<SettingText> OptionTexts(const OptionSet &options)
{
    std::vector<SettingText> texts;
    for (int i = 0; i < OptionCount; ++i)
        texts.push_back({section, QString::fromLatin1(OptionSet::info(i).key),
                         QString::number(options.value(i))});
    return texts;
}

static std::optional<StoreError> commitFailed(SettingsStore &store, const QString &reason)
{
    return StoreError{StoreError::Kind::WriteFailed, {}, {}, store.location(application), reason};
}

std::optional<StoreError> SaveOptions(const OptionSet &options, SettingsStore &store)
{
    for (const SettingText &t : OptionTexts(options))
        store.SaveSetting(application, t.section, t.key, t.text);
    if (const auto failure = store.commit(application))
        return commitFailed(store, *failure);
    return std::nullopt;
}

std::optional<StoreError> ChangeOptions(SettingsStore &store, OptionChange &result,
                                        const std::function<bool(OptionChange &)> &change)
{
    const auto failure = store.commit(application, [&] {
        result = {};
        result.loadError = LoadOptions(result.before, store);
        result.after = result.before;
        if (!change(result))
            return false;
        for (const SettingText &t : OptionTexts(result.after))
            store.SaveSetting(application, t.section, t.key, t.text);
        return true;
    });
    return failure ? commitFailed(store, *failure) : std::nullopt;
}