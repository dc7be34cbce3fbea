// The Unix store: one settings file per application in the user's config
// folder, in QSettings' native format. QSettings reads it; our own line editor
// changes the lines of our keys and nothing else, since the file is shared with
// other tools and with people who edit it by hand. QSettings then judges every
// edit before the file is replaced: our keys must read as the new texts and
// every other key exactly as before.

#include "settings_store.h"

#include "config_file.h"
#include "ini_edit.h"

#include <QDir>
#include <QLockFile>
#include <QSettings>

namespace
{

// Other QSettings writers of the same file take this lock too. A lock held by
// someone else is waited for briefly, never for good.
constexpr int kLockWaitMs = 1500;

QString sectionKey(const QString &section, const QString &key)
{
    return section + QLatin1Char('/') + key;
}

using Values = std::map<QString, QVariant>;

// Every key of the file as QSettings reads it. Listing all keys first makes it
// parse every group: a lookup alone may stop at a group such as
// [Velmora\Backup] and never reach [Velmora].
Values readValues(const QString &path)
{
    const QSettings settings(path, QSettings::NativeFormat);
    Values values;
    for (const QString &key : settings.allKeys())
        values.emplace(key, settings.value(key));
    return values;
}

// The same for bytes already read: a private copy is read, so that QSettings sees
// exactly the bytes the editor sees, and no parse it keeps of the path from an
// earlier read of the same size and time can stand in for them. Where no copy
// can be made (a folder we may not write), the file itself is read.
Values readValues(const QString &target, const QByteArray &content)
{
    Values values;
    const auto failure = ConfigFile::inspect(
        target, content, [&values](const QString &copy) { values = readValues(copy); });
    if (failure)
        values = readValues(target);
    return values;
}

QString shown(const QVariant &value)
{
    if (!value.isValid())
        return QStringLiteral("nothing");
    if (value.typeId() == QMetaType::QStringList)
        return u'"' + value.toStringList().join(u',') + u'"';
    return u'"' + value.toString() + u'"';
}

// Why an edited file must not replace the old one: a key of ours that does not
// read as its new text, or any other key that reads differently.
std::optional<QString> misread(const Values &before, const Values &after,
                               const std::map<QString, QString> &ours)
{
    for (const auto &[key, text] : ours) {
        const auto it = after.find(key);
        const QVariant value = it == after.end() ? QVariant() : it->second;
        if (value.typeId() != QMetaType::QString || value.toString() != text)
            return QStringLiteral("\"%1\" would read as %2, not \"%3\"")
                .arg(key, shown(value), text);
    }
    auto b = before.begin(), a = after.begin();
    for (;;) {
        while (b != before.end() && ours.count(b->first))
            ++b;
        while (a != after.end() && ours.count(a->first))
            ++a;
        if (b == before.end() && a == after.end())
            return std::nullopt;
        if (a == after.end() || (b != before.end() && b->first < a->first))
            return QStringLiteral("the key \"%1\", which is not ours, would be lost").arg(b->first);
        if (b == before.end() || a->first < b->first)
            return QStringLiteral("a key \"%1\" would appear").arg(a->first);
        if (a->second != b->second)
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
    return numbers.join(QStringLiteral(", "));
}

} // namespace

struct SettingsStore::Private {
    struct Opened {
        std::optional<QString> failure;
        std::optional<IniEdit::Document> document; // the file as read, for what QSettings hides
        Values values;
    };
    std::map<QString, Opened> open;
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

std::optional<QString> SettingsStore::readFailure(const QString &application)
{
    auto [it, isNew] = d->open.try_emplace(application);
    Private::Opened &opened = it->second;
    if (!isNew)
        return opened.failure;

    if (m_root.isEmpty())
        return opened.failure = unknownFolder();
    const ConfigFile::Probe probe = ConfigFile::probe(location(application));
    if (probe.state == ConfigFile::Probe::Refused)
        return opened.failure = probe.reason;
    QByteArray content;
    if (probe.state == ConfigFile::Probe::Regular) {
        if (auto failure = ConfigFile::read(probe.target, content))
            return opened.failure = failure;
        // A line QSettings cannot parse (a `#` comment, a bare word) is no reason to
        // stop: it reads every key it can, and the editor keeps such lines as they are.
        if (QSettings(probe.target, QSettings::NativeFormat).status() == QSettings::AccessError)
            return opened.failure = QStringLiteral("%1 cannot be read").arg(probe.target);
        opened.values = readValues(probe.target, content);
    }
    opened.document.emplace(content);
    return std::nullopt;
}

StoredText SettingsStore::GetSetting(const QString &application, const QString &section,
                                     const QString &key, qint16 defaultValue)
{
    const StoredText fallback = StoredText::defaultOf(defaultValue);
    if (readFailure(application))
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
    const bool plain = value.typeId() == QMetaType::QString;
    const QString asStored = raw ? QString::fromUtf8(*raw) : value.toString();
    return {plain ? value.toString() : asStored, plain, asStored, {}, false};
}

std::optional<QString> SettingsStore::commit(const QString &application)
{
    const std::vector<Pending> pending = std::move(m_pending[application]);
    m_pending.erase(application);
    d->open.erase(application); // whatever happens, the next read looks at the disk again

    if (m_root.isEmpty())
        return unknownFolder();
    const QString path = location(application);
    if (!QDir().mkpath(m_root))
        return QStringLiteral("the folder %1 cannot be created").arg(m_root);

    const QString lockPath = path + QStringLiteral(".lock");
    if (auto problem = ConfigFile::lockProblem(lockPath))
        return problem;
    QLockFile lock(lockPath);
    if (!lock.tryLock(kLockWaitMs)) {
        if (lock.error() == QLockFile::LockFailedError)
            return QStringLiteral("another program holds the lock file %1").arg(lockPath);
        return QStringLiteral("the lock file %1 cannot be made").arg(lockPath);
    }

    // Under the lock, so that a writer that went before is not undone.
    const ConfigFile::Probe probe = ConfigFile::probe(path);
    if (probe.state == ConfigFile::Probe::Refused)
        return probe.reason;
    QByteArray content;
    if (probe.state == ConfigFile::Probe::Regular) {
        if (auto failure = ConfigFile::read(probe.target, content))
            return failure;
    }

    std::map<QString, std::vector<IniEdit::Assignment>> bySection;
    std::map<QString, QString> ours; // section/key, new text
    for (const Pending &p : pending) {
        bySection[p.section].push_back({p.key, p.text.toUtf8()});
        ours[sectionKey(p.section, p.key)] = p.text;
    }
    QByteArray edited = content;
    std::vector<int> changedLines;
    for (const auto &[section, values] : bySection) {
        IniEdit::Document::Edit edit = IniEdit::Document(edited).assign(section, values);
        if (edit.problem)
            return QStringLiteral("in %1, %2. Nothing was written: mend that line by hand, "
                                  "then press Ok again")
                .arg(probe.target, edit.problem->what);
        edited = std::move(edit.content);
        changedLines.insert(changedLines.end(), edit.changedLines.begin(), edit.changedLines.end());
    }

    Values before;
    if (!content.isEmpty()) {
        const auto failure = ConfigFile::inspect(
            probe.target, content, [&before](const QString &file) { before = readValues(file); });
        if (failure)
            return failure;
    }
    const auto verify = [&](const QString &file) -> std::optional<QString> {
        const auto wrong = misread(before, readValues(file), ours);
        if (!wrong)
            return std::nullopt;
        return QStringLiteral("in %1, after our change of line %2, %3. Nothing was written; "
                              "look there for a quote or a backslash that joins lines")
            .arg(probe.target, lineList(changedLines), *wrong);
    };
    if (auto failure = ConfigFile::replace(probe.target, edited, verify))
        return failure;

    // What is on disk now is what counts, not what the calls said.
    QByteArray after;
    if (ConfigFile::read(probe.target, after) || after != edited)
        return QStringLiteral("%1 did not hold the new values after saving").arg(probe.target);
    return std::nullopt;
}
