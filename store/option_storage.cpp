#include "option_storage.h"

#include "option_set.h"
#include "settings_store.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>

Conversion ConvertStoredText(const QString &text, bool isPlainText)
{
    using Kind = StoreError::Kind;
    // Digits as the C locale writes them: not "inf" or "nan", nor digits of other scripts.
    static const QRegularExpression decimal(
        QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
    const QString number = text.trimmed();
    if (!isPlainText || !decimal.match(number).hasMatch())
        return {.failure = Kind::TypeMismatch};
    // Too small to represent reads as 0 and too large as infinity; the default
    // rounding mode rounds halves to the even neighbour.
    const double rounded = std::nearbyint(QLocale::c().toDouble(number));
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

std::optional<StoreError> readOption(OptionSet &options, SettingsStore &store, int index)
{
    const QString location = store.location(application);
    if (const auto failure = store.open(application))
        return StoreError::unreadable(location, *failure);

    const OptionInfo &option = OptionSet::info(index);
    const QString key = QString::fromLatin1(option.key);
    const StoredText stored = store.GetSetting(application, section, key, option.defaultValue);
    if (stored.unreadable)
        return StoreError::unreadable(location, *stored.unreadable, key);
    const Conversion converted = ConvertStoredText(stored.text, stored.isPlainText);
    if (!converted.value)
        return StoreError::badValue(converted.failure, key, stored.asStored.value_or(stored.text),
                                    stored.isPlainText, location);
    options.setValue(index, *converted.value);
    return std::nullopt;
}

std::optional<StoreError> readRange(OptionSet &options, SettingsStore &store, int first, int last)
{
    for (int i = first; i <= last; ++i)
        if (auto error =
                OptionSet::info(i).readAtStart ? readOption(options, store, i) : std::nullopt)
            return error;
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

std::optional<StoreError> SaveOptions(const OptionSet &options, SettingsStore &store)
{
    for (const SettingText &t : OptionTexts(options))
        store.SaveSetting(application, t.section, t.key, t.text);
    if (const auto failure = store.commit(application))
        return StoreError::writeFailed(store.location(application), *failure);
    return std::nullopt;
}
