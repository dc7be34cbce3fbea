#include "store_error.h"

#include "option_table.h"

#include <QList>

namespace
{

constexpr qsizetype kLongestQuoted = 60;

QString withDirectionShown(QString text)
{
    for (const int c : {0x202a, 0x202b, 0x202c, 0x202d, 0x202e, 0x2066, 0x2067, 0x2068, 0x2069})
        text.replace(QChar(c), QStringLiteral("\\u") + QString::number(c, 16).toUpper());
    return text;
}

} // namespace

// Counted in code points, so that a cut never splits a character.
QString ShortenedText(const QString &text)
{
    const QList<uint> points = text.toUcs4();
    if (points.size() <= kLongestQuoted)
        return withDirectionShown(text);
    const auto *first = reinterpret_cast<const char32_t *>(points.constData());
    return withDirectionShown(QString::fromUcs4(first, kLongestQuoted) + u'…');
}

QString QuotedStoredText(const QString &text)
{
    const QString quoted = u'"' + ShortenedText(text) + u'"';
    const qsizetype points = text.toUcs4().size();
    if (points <= kLongestQuoted)
        return quoted;
    return QStringLiteral("%1 (cut; %2 characters in all)").arg(quoted).arg(points);
}

StoreError StoreError::unreadable(const QString &location, const QString &reason,
                                  const QString &key)
{
    return {.kind = Kind::Unreadable, .key = key, .location = location, .reason = reason};
}

StoreError StoreError::writeFailed(const QString &location, const QString &reason)
{
    return {.kind = Kind::WriteFailed, .location = location, .reason = reason};
}

QString StoreError::kindText() const
{
    static const char *const texts[] = {"Type mismatch", "Overflow", "Invalid property value",
                                        "Settings cannot be read", "Settings not saved"};
    return QString::fromLatin1(texts[int(kind)]);
}

QString StoreError::problem() const
{
    if (!isBadValue())
        return QStringLiteral("%1: %2.\nSettings: %3.").arg(kindText(), reason, location);
    const QString expected = kind == Kind::TypeMismatch
                                 ? (plainText ? QStringLiteral("is not a number")
                                              : QStringLiteral("is not stored as a plain text"))
                             : kind == Kind::Overflow ? QStringLiteral("is out of range")
                                                      : QStringLiteral("is not 0, 1 or 2");
    return QStringLiteral("%1: the stored value of \"%2\" is %3, which %4.\n"
                          "Settings: %5, section \"%6\".")
        .arg(kindText(), key, QuotedStoredText(text), expected, location,
             QString::fromLatin1(kSection));
}

QString StoreError::message() const
{
    if (isBadValue())
        return problem() +
               QStringLiteral("\nSet it to 0, 1 or 2, or delete the key, or run velmora --reset to "
                              "save the first-start state; then start again.");
    if (kind == Kind::WriteFailed)
        return problem() + QStringLiteral("\nYour choices are still in the window: press Ok to "
                                          "try again, or Cancel to close without saving.");
    return problem();
}
