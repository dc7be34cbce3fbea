#pragma once

// The per-user settings store: texts under application, section and key.
// Writes are collected and committed together, so a reader never sees half a save.

#include <QString>

#include <map>
#include <memory>
#include <optional>

class QSettings;

// A stored value as it comes back. QSettings decodes some texts into other types
// (`1,2` into a list, `@Invalid()` into nothing); those are not plain texts.
struct StoredText {
    QString text;
    bool isPlainText = true;
};

class SettingsStore
{
public:
    // `root` is the folder (or, on Windows, the registry branch) that holds one
    // store per application; the default is the user's.
    explicit SettingsStore(QString root = defaultRoot());
    ~SettingsStore();
    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    static QString defaultRoot();
    // The file path, or the registry branch, of an application's store.
    QString location(const QString &application) const;

    // The stored text, or the default's decimal text when the application, the
    // section or the key is missing. An empty stored text stays empty.
    StoredText GetSetting(const QString &application, const QString &section, const QString &key,
                          qint16 defaultValue);
    // Why the store of `application` could not be read, if it could not.
    std::optional<QString> readFailure(const QString &application);

    void SaveSetting(const QString &application, const QString &section, const QString &key,
                     const QString &text);
    // Writes everything saved since the last commit in one go. On failure the
    // store is left as it was and the reason is returned.
    std::optional<QString> Commit(const QString &application);

private:
    QSettings &open(const QString &application);

    struct Pending {
        QString group; // "section/key"
        std::optional<QString> before;
    };

    QString m_root;
    std::map<QString, std::unique_ptr<QSettings>> m_open;
    std::map<QString, std::vector<Pending>> m_pending;
};
