// The Unix store: one settings file per application in the user's config
// folder, in QSettings' native format. QSettings reads it; our own
// line-preserving writer changes the lines of our keys and nothing else, since
// the file is shared with other tools and with people who edit it by hand.

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

} // namespace

struct SettingsStore::Private {
    struct Opened {
        std::optional<QString> failure;
        QByteArray content; // as read, for quoting values QSettings would decode
        std::unique_ptr<QSettings> settings;
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
    return QStringLiteral("the settings folder is unknown: HOME is not set and XDG_CONFIG_HOME "
                          "is not an absolute path");
}

std::optional<QString> SettingsStore::readFailure(const QString &application)
{
    auto [it, isNew] = d->open.try_emplace(application);
    Private::Opened &opened = it->second;
    if (!isNew)
        return opened.failure;

    if (m_root.isEmpty())
        return opened.failure = unknownFolder();
    const QString path = location(application);
    const ConfigFile::Probe probe = ConfigFile::probe(path);
    if (probe.state == ConfigFile::Probe::Refused)
        return opened.failure = probe.reason;
    if (probe.state == ConfigFile::Probe::Regular) {
        if (auto failure = ConfigFile::read(probe.target, opened.content))
            return opened.failure = failure;
    }
    opened.settings = std::make_unique<QSettings>(path, QSettings::NativeFormat);
    // A line QSettings cannot parse (a `#` comment, a bare word) is no reason to
    // stop: it reads every key it can, and the writer keeps such lines as they are.
    if (opened.settings->status() == QSettings::AccessError)
        return opened.failure = QStringLiteral("%1 cannot be read").arg(path);
    return std::nullopt;
}

StoredText SettingsStore::GetSetting(const QString &application, const QString &section,
                                     const QString &key, qint16 defaultValue)
{
    const StoredText fallback{QString::number(defaultValue), true};
    if (readFailure(application))
        return fallback;
    const Private::Opened &opened = d->open.at(application);
    const QString where = sectionKey(section, key);
    if (!opened.settings->contains(where))
        return fallback;

    const QVariant value = opened.settings->value(where);
    if (value.typeId() == QMetaType::QString)
        return {value.toString(), true};
    // A list or an `@Type(...)` value: quote the file, not QSettings' decoding.
    const auto raw = IniEdit::rawValue(opened.content, section, key);
    return {raw ? QString::fromUtf8(*raw) : value.toString(), false};
}

std::optional<QString> SettingsStore::Commit(const QString &application)
{
    const std::vector<Pending> pending = std::move(m_pending[application]);
    m_pending.erase(application);
    d->open.erase(application); // whatever happens, the next read looks at the disk again

    if (m_root.isEmpty())
        return unknownFolder();
    const QString path = location(application);
    if (!QDir().mkpath(m_root))
        return QStringLiteral("the folder %1 cannot be created").arg(m_root);

    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockWaitMs)) {
        if (lock.error() == QLockFile::LockFailedError)
            return QStringLiteral("another program holds the lock file %1").arg(path + ".lock");
        return QStringLiteral("the lock file %1 cannot be made").arg(path + ".lock");
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
    for (const Pending &p : pending)
        bySection[p.section].push_back({p.key, p.text.toUtf8()});
    QByteArray edited = content;
    for (const auto &[section, values] : bySection)
        edited = IniEdit::assign(edited, section, values);

    const auto holdsNewTexts = [&pending](const QString &file) {
        const QSettings written(file, QSettings::NativeFormat);
        for (const Pending &p : pending) {
            const QVariant value = written.value(sectionKey(p.section, p.key));
            if (value.typeId() != QMetaType::QString || value.toString() != p.text)
                return false;
        }
        return true;
    };
    if (auto failure = ConfigFile::replace(probe.target, edited, holdsNewTexts))
        return failure;

    // What is on disk now is what counts, not what the calls said.
    QByteArray after;
    if (ConfigFile::read(probe.target, after) || after != edited)
        return QStringLiteral("%1 did not hold the new values after saving").arg(probe.target);
    return std::nullopt;
}
