// The Unix store: one settings file per application in the user's config
// folder, in QSettings' native format. QSettings reads it; our own line editor
// changes the lines of our keys and nothing else, since the file is shared with
// other tools and with people who edit it by hand. QSettings then judges every
// edit before the file is replaced: our keys must read as the new texts and
// every other key exactly as before.

#include "settings_store.h"

#include "config_file.h"
#include "ini_edit.h"
#include "store_error.h"

#include <QDataStream>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QTemporaryFile>
#include <QThread>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace
{

// Other QSettings writers of the same file take this lock too. A lock held by
// someone else is waited for briefly, never for good.
// A writer that does not take the lock may change the file during a save; the
// save then starts again from the new contents, this many times at most.
constexpr int kSaveAttempts = 3;

QString sectionKey(const QString &section, const QString &key)
{
    return section + QLatin1Char('/') + key;
}

// Whether a lookup can find a key by the name the listing gives it. A lookup
// folds doubled slashes and drops them at both ends, so "Velmora//Home", which
// [Velmora] with a line "\Home" lists, is looked up as "Velmora/Home", another
// key; and the empty key is no name for a lookup at all.
bool isLookupName(const QString &key)
{
    return !key.isEmpty() && !key.startsWith(u'/') && !key.endsWith(u'/') &&
           !key.contains(QLatin1String("//"));
}

using Values = std::map<QString, QVariant>;

// Every key of `content` as QSettings lists it, with the value a lookup of that
// name finds; a key no lookup can reach has none, for no reader sees one.
// Listing all keys makes QSettings parse every group: a lookup alone may stop at
// a group such as [Velmora\Backup] and never reach [Velmora]. An "@Variant(…)"
// value is read as its text: built, it may be a NaN that is not even equal to
// itself, or a picture that needs a GUI.
std::optional<Values> readValues(QByteArray content)
{
    Values values;
    if (content.isEmpty())
        return values;
    content.replace("@Variant(", "@Variant-as-text(");
    const auto read = [&values](const QString &path) {
        const QSettings settings(path, QSettings::NativeFormat);
        for (const QString &key : settings.allKeys())
            values.emplace(key, isLookupName(key) ? settings.value(key) : QVariant());
    };
    // QSettings reads paths only. The bytes are handed to it as a file in memory
    // that no folder holds, so a read leaves nothing behind. It trusts what it
    // read of a path while size and time agree, and descriptor paths come round
    // again: each such file gets a time of its own.
#ifdef Q_OS_LINUX
    static time_t nextTime = 1;
    const int fd = ::memfd_create("velmora-settings", MFD_CLOEXEC);
    const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);
    const timespec times[2] = {{0, UTIME_OMIT}, {nextTime++, 0}};
    const bool made = fd >= 0 &&
                      ::write(fd, content.constData(), size_t(content.size())) == content.size() &&
                      ::futimens(fd, times) == 0 && QFileInfo(path).isReadable();
    if (made)
        read(path);
    if (fd >= 0)
        ::close(fd);
    if (made)
        return values;
#endif
    QTemporaryFile copy; // in the system's temporary folder, never beside the settings
    if (!copy.open() || copy.write(content) != content.size() || !copy.flush())
        return std::nullopt;
    read(copy.fileName());
    return values;
}

// The one look at the file that start-up and the save share: where it is, its
// bytes, and what QSettings makes of them.
struct Examined {
    ConfigFile::Snapshot file;
    Values values;
    std::optional<QString> failure;
};

Examined examine(ConfigFile::Snapshot file)
{
    Examined e{std::move(file), {}, {}};
    if (e.file.state == ConfigFile::Snapshot::Refused)
        e.failure = e.file.reason;
    else if (auto values = readValues(e.file.content))
        e.values = std::move(*values);
    else
        e.failure = QStringLiteral("%1 cannot be handed to the settings reader: no file can be "
                                   "made in memory or in the temporary folder")
                        .arg(e.file.target);
    return e;
}

QString shown(const QVariant &value)
{
    if (!value.isValid())
        return QStringLiteral("nothing");
    return QuotedStoredText(value.typeId() == QMetaType::QStringList
                                ? value.toStringList().join(u',')
                                : value.toString());
}

// A value in a form that equals itself: a NaN, however it was spelt, does not.
QByteArray storedForm(const QVariant &value)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << value;
    return bytes;
}

// Why a file must not stand: a key of ours that does not read as its new text,
// or, given what it read before, any other key that reads differently.
std::optional<QString> misread(const Values *before, const Values &after,
                               const std::map<QString, QString> &ours)
{
    for (const auto &[key, text] : ours) {
        const auto it = after.find(key);
        const QVariant value = it == after.end() ? QVariant() : it->second;
        if (value.typeId() != QMetaType::QString || value.toString() != text)
            return QStringLiteral("\"%1\" would read as %2, not \"%3\"")
                .arg(key, shown(value), text);
    }
    if (!before)
        return std::nullopt;
    auto b = before->begin(), a = after.begin();
    for (;;) {
        while (b != before->end() && ours.count(b->first))
            ++b;
        while (a != after.end() && ours.count(a->first))
            ++a;
        if (b == before->end() && a == after.end())
            return std::nullopt;
        if (a == after.end() || (b != before->end() && b->first < a->first))
            return QStringLiteral("the key \"%1\", which is not ours, would be lost").arg(b->first);
        if (b == before->end() || a->first < b->first)
            return QStringLiteral("a key \"%1\" would appear").arg(a->first);
        if (storedForm(a->second) != storedForm(b->second))
            return QStringLiteral(
                       "the key \"%1\", which is not ours, would read as %2 instead of %3")
                .arg(a->first, shown(a->second), shown(b->second));
        ++a;
        ++b;
    }
}

QString lineList(const std::vector<int> &lines)
{
    QStringList numbers;
    for (const int line : lines)
        numbers << QString::number(line);
    numbers.removeDuplicates();
    return numbers.join(QStringLiteral(", "));
}

// A file held in memory, as a look at the disk would find it.
ConfigFile::Snapshot heldSnapshot(const QString &path, const QByteArray &content)
{
    ConfigFile::Snapshot file;
    file.state = content.isEmpty() ? ConfigFile::Snapshot::Missing : ConfigFile::Snapshot::Regular;
    file.path = file.target = path;
    file.content = content;
    return file;
}

using Sections = std::map<QString, std::vector<IniEdit::Assignment>>;

// The file `before` looked at, with our texts in place: the settings reader must read
// our keys as `ours` (section/key, new text) and every other key as before. Or why
// it must not be written.
struct Edited {
    QByteArray content;
    std::optional<QString> refusal;
};
Edited edited(const Examined &before, const Sections &bySection,
              const std::map<QString, QString> &ours)
{
    const QString &file = before.file.target;
    Edited e{before.file.content, {}};
    std::vector<int> changedLines;
    for (const auto &[section, values] : bySection) {
        IniEdit::Document::Edit edit = IniEdit::Document(e.content).assign(section, values);
        if (edit.problem) {
            e.refusal = QStringLiteral("in %1, %2. Nothing was written: mend that line by hand, "
                                       "then press Ok again")
                            .arg(file, edit.problem->what);
            return e;
        }
        e.content = std::move(edit.content);
        changedLines.insert(changedLines.end(), edit.changedLines.begin(), edit.changedLines.end());
    }
    const auto judged = readValues(e.content);
    const auto wrong = judged ? misread(&before.values, *judged, ours)
                              : QStringLiteral("the settings reader cannot be handed it");
    if (wrong)
        e.refusal = QStringLiteral("in %1, after our change of line %2, %3. Nothing was written; "
                                   "look there for a quote or a backslash that joins lines")
                        .arg(file, lineList(changedLines), *wrong);
    return e;
}

// Whether the holder of a lock lives decides whether it is stale, not its age:
// QLockFile takes over the lock of a dead local process. A lock file that names
// no holder (empty, as a save killed between making and filling it leaves it, or
// garbled) is removed once no live save could still be filling it. The lock path
// is looked at before every try, since QLockFile opens it to read the holder,
// and a FIFO put there meanwhile would block that for good.
std::optional<QString> takeLock(QLockFile &lock, const QString &lockPath, int waitMs)
{
    lock.setStaleLockTime(0);
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (auto problem = ConfigFile::lockProblem(lockPath))
            return problem;
        const QFileInfo info(lockPath);
        if (info.isFile() && !lock.getLockInfo(nullptr, nullptr, nullptr) &&
            qAbs(info.lastModified().msecsTo(QDateTime::currentDateTime())) > 1000)
            QFile::remove(lockPath);
        if (lock.tryLock(0))
            return std::nullopt;
        if (lock.error() != QLockFile::LockFailedError)
            return QStringLiteral("the lock file %1 cannot be made").arg(lockPath);
        if (waited.elapsed() > waitMs)
            return QStringLiteral("another program holds the lock file %1").arg(lockPath);
        QThread::msleep(50);
    }
}

} // namespace

struct SettingsStore::Private {
    struct Opened {
        std::optional<QString> failure;
        std::optional<IniEdit::Document> document; // the file as read, for what QSettings hides
        Values values;
    };
    std::map<QString, Opened> open;
    std::map<QString, QByteArray> held; // files kept in memory, by application
};

SettingsStore::SettingsStore(QString root) : m_root(std::move(root)), d(std::make_unique<Private>())
{
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::defaultRoot()
{
    return ConfigFile::userFolder();
}

QString SettingsStore::location(const QString &application) const
{
    const QString file = application + QStringLiteral(".conf");
    if (m_root.isEmpty())
        return QStringLiteral("$HOME/.config/") + file;
    return QDir(m_root).filePath(file);
}

static std::optional<QString> unknownFolder()
{
    return QStringLiteral("the settings folder is unknown: neither XDG_CONFIG_HOME nor HOME is "
                          "an absolute path");
}

std::optional<QString> SettingsStore::open(const QString &application)
{
    auto [it, isNew] = d->open.try_emplace(application);
    Private::Opened &opened = it->second;
    if (!isNew)
        return opened.failure;
    if (m_root.isEmpty())
        return opened.failure = unknownFolder();
    const auto held = d->held.find(application);
    Examined examined =
        examine(held != d->held.end() ? heldSnapshot(location(application), held->second)
                                      : ConfigFile::take(location(application)));
    opened.values = std::move(examined.values);
    opened.document.emplace(examined.file.content);
    return opened.failure = examined.failure;
}

void SettingsStore::holdInMemory(const QString &application, QByteArray content)
{
    d->open.erase(application);
    d->held[application] = std::move(content);
}

QByteArray SettingsStore::heldFile(const QString &application) const
{
    const auto held = d->held.find(application);
    return held == d->held.end() ? QByteArray() : held->second;
}

StoredText SettingsStore::GetSetting(const QString &application, const QString &section,
                                     const QString &key, qint16 defaultValue)
{
    const StoredText fallback = StoredText::defaultOf(defaultValue);
    if (open(application))
        return fallback;
    const Private::Opened &opened = d->open.at(application);
    const auto it = opened.values.find(sectionKey(section, key));
    if (it == opened.values.end()) {
        StoredText missing = fallback;
        // The file may hold the key where QSettings cannot see it; the defaults
        // would then hide the user's choice, and the next save overwrite it.
        if (const auto problem = opened.document->whyUnseen(section, key))
            missing.unreadable = QStringLiteral("the key \"%1\" is in the file, but %2. Mend "
                                                "that line by hand, then start again")
                                     .arg(key, problem->what);
        return missing;
    }
    // Messages quote the file, not QSettings' decoding of it ("@String(1)", "\x41").
    const auto raw = opened.document->rawValue(section, key);
    const QVariant &value = it->second;
    const bool plain =
        value.typeId() == QMetaType::QString && !(raw && raw->startsWith("@Variant("));
    const QString asStored = raw ? QString::fromUtf8(*raw) : value.toString();
    return {plain ? value.toString() : asStored, plain, asStored, {}, false};
}

std::optional<QString> SettingsStore::commit(const QString &application)
{
    const std::vector<Pending> pending = std::move(m_pending[application]);
    m_pending.erase(application);
    d->open.erase(application); // whatever happens, the next read looks at the disk again

    Sections bySection;
    std::map<QString, QString> ours; // section/key, new text
    for (const Pending &p : pending) {
        bySection[p.section].push_back({p.key, p.text.toUtf8()});
        ours[sectionKey(p.section, p.key)] = p.text;
    }
    const QString path = location(application);
    if (const auto held = d->held.find(application); held != d->held.end()) {
        const Examined before = examine(heldSnapshot(path, held->second));
        if (before.failure)
            return before.failure;
        Edited e = edited(before, bySection, ours);
        if (!e.refusal)
            held->second = std::move(e.content);
        return e.refusal;
    }

    if (m_root.isEmpty())
        return unknownFolder();
    // Before any folder is made: a path that cannot be used leads nowhere else either.
    if (auto bad = ConfigFile::undecodable(path))
        return bad;
    if (!QDir().mkpath(m_root))
        return QStringLiteral("the folder %1 cannot be created").arg(m_root);

    const QString lockPath = path + QStringLiteral(".lock");
    QLockFile lock(lockPath);
    if (auto failure = takeLock(lock, lockPath, m_lockWaitMs))
        return failure;

    for (int attempt = 0; attempt < kSaveAttempts; ++attempt) {
        // Read under the lock, so that a writer that went before is not undone.
        const Examined before = examine(ConfigFile::take(path));
        if (before.failure)
            return before.failure;
        const Edited e = edited(before, bySection, ours);
        if (e.refusal)
            return e.refusal;
        bool changed = false;
        if (auto failure = ConfigFile::replace(before.file, e.content, changed))
            return failure;
        if (changed)
            continue;
        // What is on disk now is what counts, not what the calls said: our twelve
        // values as the reader reads them. Others may write the file after us.
        const Examined after = examine(ConfigFile::take(path));
        if (const auto failure =
                after.failure ? after.failure : misread(nullptr, after.values, ours))
            return QStringLiteral("%1 did not hold the new values after saving: %2")
                .arg(before.file.target, *failure);
        return std::nullopt;
    }
    return QStringLiteral("%1 was changed by another program %2 times while it was being saved, "
                          "so nothing was written and the file is as that program left it; "
                          "press Ok again")
        .arg(path)
        .arg(kSaveAttempts);
}
