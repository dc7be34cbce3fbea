// What the settings file says: its bytes, read once without blocking, and the
// keys QSettings reads in them; and what an edit of ours makes of it, judged by
// QSettings before anything is written.

#include "ini_edit.h"
#include "settings_file.h"
#include "store_error.h"

#include <QDataStream>
#include <QIODevice>
#include <QSettings>

#include <sys/mman.h>

namespace SettingsFile
{
namespace
{

// Whether a lookup can find a key by the name the listing gives it. A lookup
// folds doubled slashes and drops them at both ends, so "Velmora//Home", which
// [Velmora] with a line "\Home" lists, is looked up as "Velmora/Home", another
// key; and the empty key is no name for a lookup at all.
bool isLookupName(const QString &key)
{
    return !key.isEmpty() && !key.startsWith(u'/') && !key.endsWith(u'/') &&
           !key.contains(QLatin1String("//"));
}

// Every key of `content` as QSettings lists it, with the value a lookup of that
// name finds; a key no lookup can reach has none, for no reader sees one.
// Listing all keys makes QSettings parse every group: a lookup alone may stop at
// a group such as [Velmora\Backup] and never reach [Velmora]. No value is built
// as an "@Variant(…)": it may be a NaN that is not even equal to itself, or a
// picture that needs a GUI; the text is changed wherever it stands, since an
// escape such as "\x40" can spell its "@".
std::optional<QString> readValues(QByteArray content, Values &values, const QString &file)
{
    const auto failed = [&file] {
        return tr("the settings reader could not read %1 (the system refused it, say for want "
                  "of free file descriptors); try again")
            .arg(file);
    };
    if (content.isEmpty())
        return std::nullopt;
    content.replace("Variant(", "Variant-as-text(");
    // QSettings reads paths only. The bytes are handed to it as a file in memory
    // that no folder holds, so a read leaves nothing behind. It trusts what it
    // read of a path while size and time agree, and descriptor paths come round
    // again: each such file gets a time of its own.
    static time_t nextTime = 1;
    const int fd = ::memfd_create("velmora-settings", MFD_CLOEXEC);
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    const timespec times[2] = {{0, UTIME_OMIT}, {nextTime++, 0}};
    if (fd < 0 || ::write(fd, content.constData(), size_t(content.size())) != content.size() ||
        ::futimens(fd, times) != 0)
        return failed();
    const QSettings settings(QStringLiteral("/proc/self/fd/%1").arg(fd), QSettings::NativeFormat);
    for (const QString &key : settings.allKeys())
        values.emplace(key, isLookupName(key) ? settings.value(key) : QVariant());
    // A reader that could not read is a fault of the system, not of the file; a
    // format error still reads the rest.
    if (settings.status() == QSettings::AccessError)
        return failed();
    return std::nullopt;
}

QString shown(const QVariant &value)
{
    return !value.isValid() ? tr("nothing")
                            : QuotedStoredText(value.typeId() == QMetaType::QStringList
                                                   ? value.toStringList().join(u',')
                                                   : value.toString());
}

// A value in a form that equals itself: a NaN, however it was spelt, does not
// equal itself as a value.
QByteArray storedForm(const QVariant &value)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << value;
    return bytes;
}

// Why an edited file must not stand: a key of ours that does not read as its
// new text, or any other key that reads differently from before.
std::optional<QString> misread(Values before, Values after, const std::map<QString, QString> &ours)
{
    for (const auto &[key, text] : ours) {
        const QVariant value = after.count(key) ? after[key] : QVariant();
        if (value.typeId() != QMetaType::QString || value.toString() != text)
            return tr("\"%1\" would read as %2, not \"%3\"").arg(key, shown(value), text);
        before.erase(key);
        after.erase(key);
    }
    for (const auto &[key, value] : before) {
        const auto now = after.find(key);
        if (now == after.end())
            return tr("the key \"%1\", which is not ours, would be lost").arg(key);
        if (now->second != value && storedForm(now->second) != storedForm(value))
            return tr("the key \"%1\", which is not ours, would read as %2 instead of %3")
                .arg(key, shown(now->second), shown(value));
        after.erase(now);
    }
    if (!after.empty())
        return tr("a key \"%1\" would appear").arg(after.begin()->first);
    return std::nullopt;
}

} // namespace

// The file as read with our texts in place, judged by the settings reader.
SettingsFileEdit edit(const Read &before, const std::vector<SettingText> &texts,
                      const QString &file)
{
    std::map<QString, std::vector<IniEdit::Assignment>> bySection;
    std::map<QString, QString> ours; // section/key, new text
    for (const SettingText &t : texts) {
        bySection[t.section].push_back({t.key, t.text.toUtf8()});
        ours[t.section + u'/' + t.key] = t.text;
    }
    QByteArray content = before.content;
    QStringList changed;
    for (const auto &[section, values] : bySection) {
        IniEdit::Document::Edit e = IniEdit::Document(content).assign(section, values);
        if (e.problem)
            return {content, tr("in %1, %2. Nothing was written: mend that line by hand, then "
                                "save again")
                                 .arg(file, *e.problem)};
        content = std::move(e.content);
        for (const int line : e.changedLines)
            changed << QString::number(line);
    }
    if (content.size() > kLargestFile)
        return {content, tr("%1 would grow past %2 KiB, more than any settings file, so nothing "
                            "was written")
                             .arg(file)
                             .arg(kLargestFile >> 10)};
    Values after;
    std::optional<QString> refusal = readValues(content, after, file);
    changed.removeDuplicates();
    if (const auto wrong = refusal ? std::nullopt : misread(before.values, after, ours))
        refusal = tr("in %1, after our change of line %2, %3. Nothing was written; look there "
                     "for a quote or a backslash that joins lines")
                      .arg(file, changed.join(QStringLiteral(", ")), *wrong);
    return {content, refusal};
}

// Reads the regular file at the place found, without blocking and without
// following a link: a FIFO, a device or a link swapped in since is refused.
std::optional<QString> readBytes(const Place &place, Read &r)
{
    r = {};
    const int fd = place.folder < 0
                       ? -1
                       : ::openat(place.folder, place.name.constData(),
                                  O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && (place.folder < 0 || errno == ENOENT))
        return std::nullopt;
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    if (fd < 0 || ::fstat(fd, &r.info) != 0)
        return tr("%1 cannot be read: %2").arg(place.file, qt_error_string());
    if (!S_ISREG(r.info.st_mode))
        return tr("%1 is %2, not a regular file").arg(place.file, kindOf(r.info.st_mode));
    // One byte more than the largest file tells a file that is larger.
    r.content.resize(kLargestFile + 1);
    qsizetype size = 0;
    for (ssize_t n = 1; n > 0 && size < r.content.size(); size += n)
        if ((n = ::read(fd, r.content.data() + size, size_t(r.content.size() - size))) < 0)
            return tr("%1 cannot be read: %2").arg(place.file, qt_error_string());
    r.content.truncate(size);
    if (size > kLargestFile)
        return tr("%1 is larger than %2 KiB, more than any settings file")
            .arg(place.file)
            .arg(kLargestFile >> 10);
    // QSettings would read such a file as empty, and a save append UTF-8 lines to it.
    const bool wide = r.content.startsWith("\xff\xfe") || r.content.startsWith("\xfe\xff");
    if (wide || r.content.contains('\0'))
        return tr("%1 is not UTF-8 text (%2), so it is left alone; save it as UTF-8")
            .arg(place.file, wide ? tr("it begins with a UTF-16 or UTF-32 byte-order mark")
                                  : tr("it holds NUL bytes"));
    r.exists = true;
    return std::nullopt;
}

std::optional<QString> readFile(const Place &place, Read &r)
{
    const auto failure = readBytes(place, r);
    return failure ? failure : readValues(r.content, r.values, place.file);
}

} // namespace SettingsFile

SettingsFileEdit EditSettingsFile(const QByteArray &content, const std::vector<SettingText> &texts,
                                  const QString &file)
{
    SettingsFile::Read before{.exists = true, .content = content};
    if (auto failure = SettingsFile::readValues(content, before.values, file))
        return {content, failure};
    return SettingsFile::edit(before, texts, file);
}
