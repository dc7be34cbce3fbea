#pragma once

// An empty store of a test's own: a temporary folder, or on Windows a registry
// key below HKEY_CURRENT_USER\Software\Velmora tests.

#ifdef Q_OS_WIN
#include "../windows/test_registry.h"
#else
#include "test_files.h"

#include <QTemporaryDir>
#endif

class TestStore
{
public:
    bool isValid() const;
    // The root to give SettingsStore.
    QString root() const;
    // Stores `text` under `key` in section "Velmora" (a key that needs no escaping).
    bool seed(const QString &key, const QString &text);

private:
#ifdef Q_OS_WIN
    static int next()
    {
        static int n = 0;
        return ++n;
    }
    TestKey m_key{QStringLiteral("store-%1").arg(next())};
#else
    QTemporaryDir m_dir;
    QByteArray m_file = "[Velmora]\n";
#endif
};

#ifdef Q_OS_WIN
inline bool TestStore::isValid() const
{
    return true;
}
inline QString TestStore::root() const
{
    return m_key.root();
}
inline bool TestStore::seed(const QString &key, const QString &text)
{
    return m_key.setText(key, text);
}
#else
inline bool TestStore::isValid() const
{
    return m_dir.isValid();
}
inline QString TestStore::root() const
{
    return m_dir.path();
}
inline bool TestStore::seed(const QString &key, const QString &text)
{
    m_file += (key + QLatin1Char('=') + text + QLatin1Char('\n')).toUtf8();
    return writeFile(m_dir.filePath(QStringLiteral("Quenmark.conf")), m_file);
}
#endif
