#include "store_error.h"

#include <QList>

#include <charconv>
#include <cmath>
#include <string>

namespace
{
constexpr qsizetype kLongestQuoted = 60;
}

QString ShortenedText(const QString &text)
{
    if (text.size() <= kLongestQuoted)
        return text;
    // Never half of a character that takes two UTF-16 units.
    const qsizetype kept =
        text[kLongestQuoted - 1].isHighSurrogate() ? kLongestQuoted - 1 : kLongestQuoted;
    return text.first(kept) + u'…';
}

QString QuotedStoredText(const QString &text)
{
    const QString quoted = u'"' + ShortenedText(text) + u'"';
    if (text.size() <= kLongestQuoted)
        return quoted;
    return QStringLiteral("%1 (cut; %2 characters in all)").arg(quoted).arg(text.toUcs4().size());
}

QString StoreError::kindText() const
{
    switch (kind) {
    case Kind::TypeMismatch:
        return QStringLiteral("Type mismatch");
    case Kind::Overflow:
        return QStringLiteral("Overflow");
    case Kind::InvalidPropertyValue:
        return QStringLiteral("Invalid property value");
    case Kind::Unreadable:
        return QStringLiteral("Settings cannot be read");
    case Kind::WriteFailed:
        return QStringLiteral("Settings not saved");
    }
    return {};
}

QString StoreError::message() const
{
    switch (kind) {
    case Kind::TypeMismatch:
    case Kind::Overflow:
    case Kind::InvalidPropertyValue: {
        const QString expected = kind == Kind::TypeMismatch
                                     ? (plainText ? QStringLiteral("is not a number")
                                                  : QStringLiteral("is not stored as a text"))
                                 : kind == Kind::Overflow ? QStringLiteral("is out of range")
                                                          : QStringLiteral("is not 0, 1 or 2");
        return QStringLiteral("%1: the stored value of \"%2\" is %3, which %4.\n"
                              "Settings: %5, section \"%6\".\n"
                              "Set it to 0 or 1, or delete the key, and start again.")
            .arg(kindText(), key, QuotedStoredText(text), expected, location,
                 QString::fromLatin1(kSection));
    }
    case Kind::Unreadable:
        return QStringLiteral("%1: %2.\nSettings: %3.").arg(kindText(), reason, location);
    case Kind::WriteFailed:
        return QStringLiteral("%1: %2.\nSettings: %3.\n"
                              "Your choices are still in the window: press Ok to try again, "
                              "or Cancel to close without saving.")
            .arg(kindText(), reason, location);
    }
    return {};
}

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
    if (!isPlainText)
        return {std::nullopt, Kind::TypeMismatch};

    std::string s = text.trimmed().toStdString();
    if (!isDecimalNumber(s))
        return {std::nullopt, Kind::TypeMismatch};
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
            return {std::nullopt, Kind::Overflow};
    } else if (ec != std::errc() || end != s.data() + s.size()) {
        return {std::nullopt, Kind::TypeMismatch};
    }
    if (negative)
        number = -number;

    // The default rounding mode rounds halves to the even neighbour.
    const double rounded = std::nearbyint(number);
    if (rounded < -32768.0 || rounded > 32767.0)
        return {std::nullopt, Kind::Overflow};
    if (rounded != 0 && rounded != 1 && rounded != 2)
        return {std::nullopt, Kind::InvalidPropertyValue};
    return {static_cast<OptionValue>(rounded), Kind::TypeMismatch};
}
