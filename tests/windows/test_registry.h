#pragma once

// A registry key of a test's own below HKEY_CURRENT_USER\Software\Velmora tests,
// holding one store per application as the user's branch does; gone before and
// after use.

#include "option_table.h"

#include <QCoreApplication>
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
    QString section() const { return m_path + QStringLiteral("\\Quenmark\\Velmora"); }
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
        const std::wstring w = text.toStdWString();
        return set(name, REG_SZ,
                   QByteArray(reinterpret_cast<const char *>(w.c_str()),
                              qsizetype((w.size() + 1) * sizeof(wchar_t))));
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
        for (const OptionInfo &option : kOptionTable) {
            wchar_t text[64];
            DWORD size = sizeof text;
            result << (RegGetValueW(HKEY_CURRENT_USER, wide(section()).c_str(),
                                    wide(QString::fromLatin1(option.key)).c_str(), RRF_RT_REG_SZ,
                                    nullptr, text, &size) == ERROR_SUCCESS
                           ? QString::fromWCharArray(text)
                           : QStringLiteral("-"));
        }
        return result;
    }

    // A string value of a section of application "Quenmark", "-" when missing.
    QString text(const QString &section, const QString &name) const
    {
        wchar_t value[256];
        DWORD size = sizeof value;
        const QString key = m_path + QStringLiteral("\\Quenmark\\") + section;
        return RegGetValueW(HKEY_CURRENT_USER, wide(key).c_str(), wide(name).c_str(), RRF_RT_REG_SZ,
                            nullptr, value, &size) == ERROR_SUCCESS
                   ? QString::fromWCharArray(value)
                   : QStringLiteral("-");
    }
    // The text of a settings file, each value stored as a string under its section.
    bool seedFromFileText(const QByteArray &content) const
    {
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("seed.ini"));
        HANDLE h =
            CreateFileW(wide(file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        const bool ok = h != INVALID_HANDLE_VALUE &&
                        WriteFile(h, content.constData(), DWORD(content.size()), &written, nullptr);
        if (h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
        if (!ok)
            return false;
        QSettings ini(file, QSettings::IniFormat);
        for (const QString &group : ini.childGroups()) {
            ini.beginGroup(group);
            const QString key = m_path + QStringLiteral("\\Quenmark\\") + group;
            for (const QString &name : ini.childKeys()) {
                const std::wstring value = ini.value(name).toString().toStdWString();
                if (RegSetKeyValueW(HKEY_CURRENT_USER, wide(key).c_str(), wide(name).c_str(),
                                    REG_SZ, value.c_str(),
                                    DWORD((value.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS)
                    return false;
            }
            ini.endGroup();
        }
        return true;
    }
    // Every key and value below the test's key, for comparing before and after.
    QByteArray dump() const { return exists() ? dump(m_path) : QByteArray("<missing>"); }
    static std::wstring wide(const QString &text) { return text.toStdWString(); }

private:
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
