#include "option_storage.h"

#include "option_set.h"
#include "settings_store.h"

#include <charconv>
#include <cmath>
#include <string>

// Accepts [blanks][sign]digits[.digits][e[sign]digits][blanks] and nothing else;
// std::from_chars alone would also take "inf" and "nan".
static bool isDecimalNumber(const std::string &s)
{
    size_t i = 0;
    const size_t n = s.size();
    auto digits = [&] {
        const size_t start = i;
        while (i < n && s[i] >= '0' && s[i] <= '9')
            ++i;
        return i - start;
    };
    if (i < n && (s[i] == '+' || s[i] == '-'))
        ++i;
    size_t mantissa = digits();
    if (i < n && s[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return false;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < n && (s[i] == '+' || s[i] == '-'))
            ++i;
        if (digits() == 0)
            return false;
    }
    return i == n;
}

Conversion ConvertStoredText(const QString &text, bool isPlainText)
{
    using Kind = StoreError::Kind;
    const auto fail = [](Kind failure) { return Conversion{.failure = failure}; };
    if (!isPlainText)
        return fail(Kind::TypeMismatch);

    std::string s = text.trimmed().toStdString();
    if (!isDecimalNumber(s))
        return fail(Kind::TypeMismatch);
    const bool negative = s.front() == '-';
    if (s.front() == '+' || s.front() == '-')
        s.erase(0, 1);

    double number = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), number);
    if (ec == std::errc::result_out_of_range && end == s.data() + s.size()) {
        // Too small to represent rounds to 0; too large is out of range.
        const size_t e = s.find_first_of("eE");
        if (e != std::string::npos && s[e + 1] == '-')
            number = 0;
        else
            return fail(Kind::Overflow);
    } else if (ec != std::errc() || end != s.data() + s.size()) {
        return fail(Kind::TypeMismatch);
    }
    if (negative)
        number = -number;

    // The default rounding mode rounds halves to the even neighbour.
    const double rounded = std::nearbyint(number);
    if (rounded < -32768.0 || rounded > 32767.0)
        return fail(Kind::Overflow);
    if (rounded != 0 && rounded != 1 && rounded != 2)
        return fail(Kind::InvalidPropertyValue);
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
    return StoreError::writeFailed(store.location(application), reason);
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
