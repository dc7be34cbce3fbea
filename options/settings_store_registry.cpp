// The Windows store: the registry branch the add-in reads, through QSettings.

#include "settings_store.h"

#include "option_table.h"

#include <QSettings>

struct SettingsStore::Private {
    std::map<QString, std::unique_ptr<QSettings>> open;

    QSettings &settings(const QString &location)
    {
        auto &s = open[location];
        if (!s)
            s = std::make_unique<QSettings>(location, QSettings::NativeFormat);
        return *s;
    }
};

SettingsStore::SettingsStore(QString root) : m_root(std::move(root)), d(std::make_unique<Private>())
{
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::defaultRoot()
{
    return QString::fromLatin1(kWindowsStoreRoot);
}

QString SettingsStore::location(const QString &application) const
{
    return m_root + QLatin1Char('\\') + application;
}

StoredText SettingsStore::GetSetting(const QString &application, const QString &section,
                                     const QString &key, qint16 defaultValue)
{
    QSettings &settings = d->settings(location(application));
    const QString where = section + QLatin1Char('/') + key;
    if (!settings.contains(where))
        return {QString::number(defaultValue), true};
    const QVariant value = settings.value(where);
    if (value.typeId() == QMetaType::QString)
        return {value.toString(), true};
    return {value.toString(), false};
}

std::optional<QString> SettingsStore::readFailure(const QString &application)
{
    if (d->settings(location(application)).status() != QSettings::NoError)
        return QStringLiteral("the registry branch cannot be read");
    return std::nullopt;
}

std::optional<QString> SettingsStore::Commit(const QString &application)
{
    auto pending = std::move(m_pending[application]);
    m_pending.erase(application);
    QSettings &settings = d->settings(location(application));
    for (const Pending &p : pending)
        settings.setValue(p.section + QLatin1Char('/') + p.key, p.text);
    settings.sync();
    const bool ok = settings.status() == QSettings::NoError;
    d->open.erase(location(application));
    if (!ok)
        return QStringLiteral("the registry branch cannot be written");
    return std::nullopt;
}
