#pragma once

// A registry key of a test's own below HKEY_CURRENT_USER\Software\Velmora tests,
// holding one store per application as the user's branch does; gone before and
// after use.

#include "option_table.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>

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

    static std::wstring wide(const QString &text) { return text.toStdWString(); }

private:
    void remove() { RegDeleteTreeW(HKEY_CURRENT_USER, wide(m_path).c_str()); }

    QString m_path;
};
