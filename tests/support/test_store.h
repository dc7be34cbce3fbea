#pragma once

// An empty store of a test's own: a temporary folder, or on Windows a registry
// key below HKEY_CURRENT_USER\Software\Velmora tests.

#include <QtGlobal> // Q_OS_WIN, whatever the including file included before

#ifdef Q_OS_WIN
#include "../windows/test_registry.h"
#else
#include "test_files.h"

#include <QTemporaryDir>
#endif

class TestStore
{
public:
    // isValid(); root() is the root to give SettingsStore; seed() stores `text` under
    // `key` in section "Velmora" (a key that needs no escaping).
#ifdef Q_OS_WIN
    bool isValid() const
    {
        return true;
    }
    QString root() const
    {
        return m_key.root();
    }
    bool seed(const QString &key, const QString &text)
    {
        return m_key.setText(key, text);
    }

private:
    static inline int s_made = 0;
    TestKey m_key{QStringLiteral("store-%1").arg(++s_made)};
#else
    bool isValid() const
    {
        return m_dir.isValid();
    }
    QString root() const
    {
        return m_dir.path();
    }
    bool seed(const QString &key, const QString &text)
    {
        m_file += (key + QLatin1Char('=') + text + QLatin1Char('\n')).toUtf8();
        return writeFile(storeFileIn(root()), m_file);
    }

private:
    QTemporaryDir m_dir;
    QByteArray m_file = "[Velmora]\n";
#endif
};
