// The Windows store: the registry branch the add-in reads, one string value per
// key. Read through the raw registry calls, so that a value is judged by the text
// the add-in's own settings call gets, and a value that is no string by its type.
// Reading never creates a key; only a commit does.

#include "settings_store.h"

#include "option_table.h"

#include <QStringList>

#include <windows.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace
{

struct Branch {
    HKEY hive = nullptr;
    std::wstring path; // below the hive
};

// "HKEY_CURRENT_USER\Software\..." into the open hive and the rest.
Branch parse(const QString &location)
{
    const QString hive = location.section(u'\\', 0, 0);
    Branch branch{.path = location.section(u'\\', 1).toStdWString()};
    if (hive == QLatin1String("HKEY_CURRENT_USER") || hive == QLatin1String("HKCU"))
        branch.hive = HKEY_CURRENT_USER;
    else if (hive == QLatin1String("HKEY_LOCAL_MACHINE") || hive == QLatin1String("HKLM"))
        branch.hive = HKEY_LOCAL_MACHINE;
    return branch;
}

std::wstring subkey(const Branch &branch, const QString &section)
{
    return branch.path + L'\\' + section.toStdWString();
}

QString systemMessage(LSTATUS status)
{
    wchar_t *buffer = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, DWORD(status), 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    QString text = n ? QString::fromWCharArray(buffer, int(n)).trimmed() : QString();
    LocalFree(buffer);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return QStringLiteral("%1 (error %2)")
        .arg(text.isEmpty() ? QStringLiteral("failed") : text)
        .arg(status);
}

QString typeName(DWORD type)
{
    static const QStringList names =
        QStringLiteral("REG_NONE REG_SZ REG_EXPAND_SZ REG_BINARY REG_DWORD REG_DWORD_BIG_ENDIAN "
                       "REG_LINK REG_MULTI_SZ REG_RESOURCE_LIST REG_FULL_RESOURCE_DESCRIPTOR "
                       "REG_RESOURCE_REQUIREMENTS_LIST REG_QWORD")
            .split(QLatin1Char(' '));
    return type < DWORD(names.size()) ? names[int(type)]
                                      : QStringLiteral("registry type %1").arg(type);
}

// An open key, closed on leaving the scope.
struct Key {
    HKEY handle = nullptr;
    LSTATUS status = ERROR_SUCCESS;
    ~Key()
    {
        if (handle)
            RegCloseKey(handle);
    }
};

void openForReading(Key &key, const Branch &branch, const std::wstring &path)
{
    key.status = branch.hive
                     ? RegOpenKeyExW(branch.hive, path.c_str(), 0, KEY_QUERY_VALUE, &key.handle)
                     : LSTATUS(ERROR_BAD_PATHNAME);
}

struct RawValue {
    LSTATUS status = ERROR_SUCCESS;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

RawValue query(HKEY key, const QString &name)
{
    const std::wstring wname = name.toStdWString();
    RawValue value;
    DWORD size = 64;
    do {
        value.data.resize(size);
        value.status =
            RegQueryValueExW(key, wname.c_str(), nullptr, &value.type, value.data.data(), &size);
    } while (value.status == ERROR_MORE_DATA);
    value.data.resize(value.status == ERROR_SUCCESS ? size : 0);
    return value;
}

// A string value as its reader gets it: up to the first NUL, whether or not the
// stored data ends with one.
QString textOf(const RawValue &value)
{
    const auto *chars = reinterpret_cast<const wchar_t *>(value.data.data());
    const size_t n = value.data.size() / sizeof(wchar_t);
    return QString::fromWCharArray(chars, qsizetype(std::find(chars, chars + n, L'\0') - chars));
}

// A value that is no plain string, as a registry editor shows it: its type first, and
// a number as a number.
QString describe(const RawValue &value)
{
    const qsizetype size = qsizetype(value.data.size());
    if (value.type == REG_EXPAND_SZ)
        return typeName(value.type) + u' ' + textOf(value);
    if ((value.type == REG_DWORD && size == 4) || (value.type == REG_QWORD && size == 8)) {
        quint64 n = 0; // little-endian, as Windows keeps both
        memcpy(&n, value.data.data(), size_t(size));
        return typeName(value.type) +
               QStringLiteral(" 0x%1 (%2)").arg(n, int(size) * 2, 16, QLatin1Char('0')).arg(n);
    }
    return typeName(value.type) +
           (size == 1 ? QStringLiteral(" of 1 byte") : QStringLiteral(" of %1 bytes").arg(size));
}

// Whether the key at `path` is volatile, so that Windows forgets it and all it holds at the
// next start: only there can no stable key be made below it. A stable key made to find out
// is removed again; false when the key is missing or the test cannot be made.
bool isVolatile(HKEY hive, const std::wstring &path)
{
    Key key, probe;
    key.status = RegOpenKeyExW(hive, path.c_str(), 0, KEY_CREATE_SUB_KEY, &key.handle);
    DWORD disposition = 0;
    const wchar_t *const name = L"Velmora stable key probe";
    probe.status = key.status
                       ? key.status
                       : RegCreateKeyExW(key.handle, name, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_READ, nullptr, &probe.handle, &disposition);
    if (disposition == REG_CREATED_NEW_KEY)
        RegDeleteKeyW(key.handle, name);
    return probe.status == ERROR_CHILD_MUST_BE_VOLATILE;
}

} // namespace

struct SettingsStore::Private {
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
    const Branch branch = parse(location(application));
    Key open;
    openForReading(open, branch, subkey(branch, section));
    if (open.status == ERROR_FILE_NOT_FOUND)
        return StoredText::defaultOf(defaultValue);
    // A key or value that cannot be read says nothing about the value: no text to judge.
    if (open.status != ERROR_SUCCESS)
        return {.isPlainText = false,
                .unreadable = QStringLiteral("the registry key \"%1\" cannot be opened: %2")
                                  .arg(section, systemMessage(open.status))};

    const RawValue value = query(open.handle, key);
    if (value.status == ERROR_FILE_NOT_FOUND)
        return StoredText::defaultOf(defaultValue);
    if (value.status != ERROR_SUCCESS)
        return {.isPlainText = false,
                .unreadable = QStringLiteral("the value \"%1\" cannot be read: %2")
                                  .arg(key, systemMessage(value.status))};
    const bool plain = value.type == REG_SZ; // otherwise its type and what it holds
    return {.text = plain ? textOf(value) : describe(value), .isPlainText = plain};
}

std::optional<QString> SettingsStore::open(const QString &application)
{
    const Branch branch = parse(location(application));
    if (!branch.hive)
        return QStringLiteral("it is not a registry branch of the current user or the machine");
    // Missing keys are no failure: their values take the defaults.
    Key key;
    openForReading(key, branch, branch.path);
    if (key.status == ERROR_SUCCESS || key.status == ERROR_FILE_NOT_FOUND)
        return std::nullopt;
    return QStringLiteral("the registry key cannot be opened: %1").arg(systemMessage(key.status));
}

std::optional<QString> SettingsStore::commit(const QString &application, const Decision &decide)
{
    // The registry has no lock to decide under: the texts are decided on what it holds now.
    const std::optional<std::vector<SettingText>> pending = decide();
    if (!pending)
        return std::nullopt;
    const Branch branch = parse(location(application));
    if (!branch.hive)
        return QStringLiteral("it is not a registry branch of the current user or the machine");

    // The registry has no transaction: the values are written one after the other,
    // in the order they were saved. A write the registry accepted stands; it is not
    // read back, since a key may allow writing and deny reading, and the values are
    // then saved all the same.
    std::set<QString> probed;
    for (const SettingText &p : *pending) {
        if (probed.insert(p.section).second && isVolatile(branch.hive, subkey(branch, p.section)))
            return QStringLiteral("the registry key \"%1\" is volatile: Windows forgets it, "
                                  "and all it holds, at the next start. Another program made it "
                                  "so; delete the key (reg delete \"%1\" /f) and save again")
                .arg(location(application) + u'\\' + p.section);
        Key key;
        key.status =
            RegCreateKeyExW(branch.hive, subkey(branch, p.section).c_str(), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key.handle, nullptr);
        if (key.status != ERROR_SUCCESS)
            return QStringLiteral("the key \"%1\" cannot be created: %2")
                .arg(p.section, systemMessage(key.status));
        const std::wstring text = p.text.toStdWString();
        const LSTATUS status = RegSetValueExW(key.handle, p.key.toStdWString().c_str(), 0, REG_SZ,
                                              reinterpret_cast<const BYTE *>(text.c_str()),
                                              DWORD((text.size() + 1) * sizeof(wchar_t)));
        if (status != ERROR_SUCCESS)
            return QStringLiteral("\"%1\" cannot be written: %2").arg(p.key, systemMessage(status));
    }
    return std::nullopt;
}
