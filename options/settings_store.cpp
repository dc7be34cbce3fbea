#include "settings_store.h"

#include "option_table.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

SettingsStore::SettingsStore(QString root) : m_root(std::move(root)) {}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::defaultRoot()
{
#ifdef Q_OS_WIN
    return QString::fromLatin1(kWindowsStoreRoot);
#else
    // Where QSettings keeps the user scope's native files.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
#endif
}

QString SettingsStore::location(const QString &application) const
{
#ifdef Q_OS_WIN
    return m_root + QLatin1Char('\\') + application;
#else
    return QDir(m_root).filePath(application + QStringLiteral(".conf"));
#endif
}

QSettings &SettingsStore::open(const QString &application)
{
    auto &settings = m_open[application];
    if (!settings)
        settings = std::make_unique<QSettings>(location(application), QSettings::NativeFormat);
    return *settings;
}

static QString path(const QString &section, const QString &key)
{
    return section + QLatin1Char('/') + key;
}

StoredText SettingsStore::GetSetting(const QString &application, const QString &section,
                                     const QString &key, qint16 defaultValue)
{
    QSettings &settings = open(application);
    const QString where = path(section, key);
    if (!settings.contains(where))
        return {QString::number(defaultValue), true};

    const QVariant value = settings.value(where);
    switch (value.typeId()) {
    case QMetaType::QString:
        return {value.toString(), true};
    case QMetaType::QStringList: // the file holds an unquoted comma
        return {value.toStringList().join(QLatin1Char(',')), false};
    case QMetaType::UnknownType:
        return {QStringLiteral("@Invalid()"), false};
    default:
        return {
            QStringLiteral("@%1(%2)").arg(QString::fromLatin1(value.typeName()), value.toString()),
            false};
    }
}

std::optional<QString> SettingsStore::readFailure(const QString &application)
{
    switch (open(application).status()) {
    case QSettings::NoError:
        return std::nullopt;
    case QSettings::AccessError:
        return QStringLiteral("the file cannot be read");
    case QSettings::FormatError:
        return QStringLiteral("the file is not in the settings format");
    }
    return std::nullopt;
}

void SettingsStore::SaveSetting(const QString &application, const QString &section,
                                const QString &key, const QString &text)
{
    QSettings &settings = open(application);
    const QString where = path(section, key);
    auto &pending = m_pending[application];
    std::optional<QString> before;
    if (settings.contains(where))
        before = settings.value(where).toString();
    pending.push_back({where, before});
    settings.setValue(where, text);
}

std::optional<QString> SettingsStore::Commit(const QString &application)
{
    QSettings &settings = open(application);
    auto pending = std::move(m_pending[application]);
    m_pending.erase(application);

    // QSettings writes the whole file to a temporary and renames it over the old one.
    settings.sync();
    const QSettings::Status status = settings.status();
    if (status == QSettings::NoError)
        return std::nullopt;

    // Take the unwritten changes back, newest first, so that no later flush
    // (QSettings retries on destruction) writes them after all.
    for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
        if (it->before)
            settings.setValue(it->group, *it->before);
        else
            settings.remove(it->group);
    }
    m_open.erase(application); // a fresh QSettings next time, with a fresh status
    if (status == QSettings::AccessError)
        return QStringLiteral("the file or its folder cannot be written");
    return QStringLiteral("the file could not be written in the settings format");
}
