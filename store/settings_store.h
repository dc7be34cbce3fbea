#pragma once

// The per-user settings store: texts under application, section and key.
// Writes are collected and committed together, so a reader never sees half a save.
// On Unix the store is a settings file (settings_file.cpp); on Windows the
// registry branch the add-in reads (settings_store_registry.cpp).

#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

// A stored value as it comes back: the text the store's reader makes of it, and
// for messages the text as it stands in the store. A value that is not a plain
// text (a list or a typed `@…` value in a file, a non-string registry value)
// has only the latter.
struct StoredText {
    QString text{};
    bool isPlainText = true;
    std::optional<QString> asStored{};   // when it differs from `text`
    std::optional<QString> unreadable{}; // the store holds the key where its reader cannot see it
    bool missing = false;                // no such key: the text is the default's

    static StoredText defaultOf(qint16 value)
    {
        return {.text = QString::number(value), .missing = true};
    }
};

// One text to write: what SaveSetting collects for the commit.
struct SettingText {
    QString section;
    QString key;
    QString text;
};

class SettingsStore
{
public:
    // `root` is the folder (or, on Windows, the registry branch) that holds one
    // store per application; the default is the user's. An empty root means the
    // user's folder cannot be told: reads and commits then fail with the reason.
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
    // Opens the store of `application` for reading, and says why it cannot be read, if it
    // cannot. The settings file is read at the first call and kept for the later calls.
    std::optional<QString> open(const QString &application);

    void SaveSetting(const QString &application, const QString &section, const QString &key,
                     const QString &text)
    {
        m_pending[application].push_back({section, key, text});
    }
    // Writes everything saved since the last commit in one go; the reason when it
    // could not.
    std::optional<QString> commit(const QString &application)
    {
        std::vector<SettingText> texts = std::move(m_pending[application]);
        m_pending.erase(application);
        return commit(application, [&texts] { return std::optional(texts); });
    }
    // Decides the texts under the store's lock: `decide` runs with the store as just
    // read there (GetSetting answers from it) and returns the texts to write, or
    // nothing to write nothing. It runs again should another program change the
    // file before ours takes its place.
    using Decision = std::function<std::optional<std::vector<SettingText>>()>;
    std::optional<QString> commit(const QString &application, const Decision &decide);

    // How long a commit waits for another program's lock on the settings file
    // before it gives up (the file store only; the registry has no lock).
    void setLockWait(int milliseconds) { m_lockWaitMs = milliseconds; }

private:
    struct Private; // what the platform's store keeps between calls

    QString m_root;
    int m_lockWaitMs = 1500; // longer than any save of ours holds it
    std::map<QString, std::vector<SettingText>> m_pending;
    std::unique_ptr<Private> d;
};
