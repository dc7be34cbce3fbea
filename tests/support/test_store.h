#pragma once

// An empty store of a test's own: the settings file in a temporary folder, or on
// Windows a registry key below HKEY_CURRENT_USER\Software\Velmora tests (with a
// temporary folder all the same, for the test's other files). Both offer:
//   root()       the root to give SettingsStore; location() what messages name
//   seed(text)   the text of a settings file, on Windows each value as a string
//   snapshot()   the whole store, to compare before and after
//   values()     the twelve values as the add-in reads them, "-" for a missing one
//   text(g, k)   one value of any section; identity() changes with every save

#include "option_table.h"
#include "test_files.h"

#include <QTemporaryDir>
#include <QTest>
#include <QtGlobal> // Q_OS_WIN, whatever the including file included before

#ifdef Q_OS_WIN
#include "../windows/test_registry.h"

class TestStore
{
    static inline int s_made = 0;

public:
    QTemporaryDir dir;
    TestKey key{QString::fromLatin1(QTest::currentTestFunction()) + QString::number(++s_made)};

    QString root() const { return key.root(); }
    QString location() const { return root() + QStringLiteral("\\Quenmark"); }
    bool seed(const QByteArray &fileText) const { return key.seedFromFileText(fileText); }
    QByteArray snapshot() const { return key.dump(); }
    QStringList values() const { return key.values(); }
    QString text(const QString &group, const QString &name) const { return key.text(group, name); }
    // Wine keeps no time of a registry write: the whole key stands for it.
    QString identity() const { return QString::fromUtf8(key.dump()); }
};
#else
#include <QSettings>
#include <sys/stat.h>

class TestStore
{
public:
    QTemporaryDir dir;
    QString subfolder; // the store's root below the folder, when set

    QString root() const { return subfolder.isEmpty() ? dir.path() : dir.filePath(subfolder); }
    QString location() const { return storeFileIn(root()); }
    bool seed(const QByteArray &fileText) const { return writeFile(location(), fileText); }
    QByteArray snapshot() const { return readAll(location()); }
    QStringList values() const
    {
        QStringList values;
        for (const OptionInfo &option : kOptionTable)
            values << text(QStringLiteral("Velmora"), QString::fromLatin1(option.key));
        return values;
    }
    QString text(const QString &group, const QString &name) const
    {
        return QSettings(location(), QSettings::NativeFormat)
            .value(group + QLatin1Char('/') + name, QStringLiteral("-"))
            .toString();
    }
    // A save replaces the file: a new inode, or at least a new time.
    QString identity() const
    {
        struct stat st;
        if (::stat(QFile::encodeName(location()).constData(), &st) != 0)
            return QStringLiteral("<missing>");
        return QStringLiteral("%1/%2.%3")
            .arg(st.st_ino)
            .arg(qint64(st.st_mtim.tv_sec))
            .arg(qint64(st.st_mtim.tv_nsec));
    }
};
#endif
