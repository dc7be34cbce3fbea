#pragma once

// A registry key of a test's own below HKEY_CURRENT_USER\Software\Velmora tests,
// holding one store per application as the user's branch does; gone before and
// after use.

#include "option_table.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <windows.h>

#include <string>

class TestKey
{
public:
    explicit TestKey(const QString &name)
        : m_path(QStringLiteral("Software\\Velmora tests\\") + name + QLatin1Char('-') +
                 QString::number(QCoreApplication::applicationPid()))
    {
        remove();
    }
    ~TestKey() { remove(); }
    TestKey(const TestKey &) = delete;
    TestKey &operator=(const TestKey &) = delete;

    // The root to give SettingsStore.
    QString root() const { return QStringLiteral("HKEY_CURRENT_USER\\") + m_path; }
    // The section key the add-in reads, below HKEY_CURRENT_USER.
    QString section() const { return quenmark(QStringLiteral("Velmora")); }
    bool exists() const
    {
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, wide(m_path).c_str(), 0, KEY_READ, &key))
            return false;
        RegCloseKey(key);
        return true;
    }
    // Stores raw data of any type under `name` in the section.
    bool set(const QString &name, DWORD type, const QByteArray &data) const
    {
        return RegSetKeyValueW(HKEY_CURRENT_USER, wide(section()).c_str(), wide(name).c_str(), type,
                               data.constData(), DWORD(data.size())) == ERROR_SUCCESS;
    }
    bool setText(const QString &name, const QString &text) const
    {
        return setString(section(), name, text);
    }
    // Type and data of a value, "-" when it is missing.
    QByteArray raw(const QString &name) const
    {
        DWORD type = 0, size = 0;
        if (RegGetValueW(HKEY_CURRENT_USER, wide(section()).c_str(), wide(name).c_str(),
                         RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr, &size) != ERROR_SUCCESS)
            return "-";
        QByteArray data(qsizetype(size), Qt::Uninitialized);
        RegGetValueW(HKEY_CURRENT_USER, wide(section()).c_str(), wide(name).c_str(),
                     RRF_RT_ANY | RRF_NOEXPAND, &type, data.data(), &size);
        return QByteArray::number(uint(type)) + ':' + data.left(qsizetype(size));
    }
    // The twelve values in table order as the add-in reads strings, "-" for a
    // missing one or one that is no string.
    QStringList values() const
    {
        QStringList result;
        for (const OptionInfo &option : kOptionTable)
            result << text(QStringLiteral("Velmora"), QString::fromLatin1(option.key));
        return result;
    }
    // A string value of a section of application "Quenmark", "-" when missing.
    QString text(const QString &section, const QString &name) const
    {
        wchar_t value[256];
        DWORD size = sizeof value;
        return RegGetValueW(HKEY_CURRENT_USER, wide(quenmark(section)).c_str(), wide(name).c_str(),
                            RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS
                   ? QString::fromWCharArray(value)
                   : QStringLiteral("-");
    }
    // The text of a settings file, each value stored as a string under its section.
    bool seedFromFileText(const QByteArray &content) const
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("seed.ini")));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            return false;
        file.close();
        QSettings ini(file.fileName(), QSettings::IniFormat);
        for (const QString &group : ini.childGroups()) {
            ini.beginGroup(group);
            for (const QString &name : ini.childKeys())
                if (!setString(quenmark(group), name, ini.value(name).toString()))
                    return false;
            ini.endGroup();
        }
        return true;
    }
    // Every key and value below the test's key, for comparing before and after.
    QByteArray dump() const { return exists() ? dump(m_path) : QByteArray("<missing>"); }
    static std::wstring wide(const QString &text) { return text.toStdWString(); }

private:
    QString quenmark(const QString &section) const
    {
        return m_path + QStringLiteral("\\Quenmark\\") + section;
    }
    static bool setString(const QString &key, const QString &name, const QString &text)
    {
        const std::wstring w = text.toStdWString();
        return RegSetKeyValueW(HKEY_CURRENT_USER, wide(key).c_str(), wide(name).c_str(), REG_SZ,
                               w.c_str(), DWORD((w.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    }
    static QByteArray dump(const QString &path)
    {
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, wide(path).c_str(), 0, KEY_READ, &key))
            return "<unreadable>";
        QByteArray out = "[" + path.toUtf8() + "]\n";
        wchar_t name[256];
        BYTE data[1024];
        for (DWORD i = 0;; ++i) {
            DWORD nameSize = 256, dataSize = sizeof data, type = 0;
            if (RegEnumValueW(key, i, name, &nameSize, nullptr, &type, data, &dataSize))
                break;
            out += QString::fromWCharArray(name, nameSize).toUtf8() + "=" +
                   QByteArray::number(uint(type)) + ":" +
                   QByteArray(reinterpret_cast<const char *>(data), dataSize).toHex() + "\n";
        }
        QStringList subkeys;
        for (DWORD i = 0;; ++i) {
            DWORD nameSize = 256;
            if (RegEnumKeyExW(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr))
                break;
            subkeys << QString::fromWCharArray(name, nameSize);
        }
        RegCloseKey(key);
        for (const QString &sub : subkeys)
            out += dump(path + QLatin1Char('\\') + sub);
        return out;
    }

    void remove() { RegDeleteTreeW(HKEY_CURRENT_USER, wide(m_path).c_str()); }

    QString m_path;
};
