#pragma once

// Whole-file reads and writes for tests that compare store files byte for byte.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

inline QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline bool writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(content) == content.size();
}

// The settings file a store with this root keeps (organisation "Quenmark").
inline QString storeFileIn(const QString &root)
{
    return root + QStringLiteral("/Quenmark.conf");
}

// A file's lines, empty ones left out; none while the file is missing.
inline QStringList readLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
