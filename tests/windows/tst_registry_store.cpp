// The registry store, each case in a key of its own: a round trip of the twelve
// keys in table order, stored values judged by what the registry holds (the text
// of a string as stored, the type of anything else), and reads creating nothing.

#include "option_states.h"
#include "option_storage.h"
#include "settings_store.h"
#include "store_examples.h"
#include "test_registry.h"

#include <QTest>

#include <sddl.h>

#include <memory>

using Kind = StoreError::Kind;
namespace
{

QByteArray utf16(const QString &text, bool terminated = true)
{
    const std::wstring w = text.toStdWString();
    return QByteArray(reinterpret_cast<const char *>(w.c_str()),
                      qsizetype((w.size() + (terminated ? 1 : 0)) * sizeof(wchar_t)));
}

QByteArray dword(quint32 n)
{
    return QByteArray(reinterpret_cast<const char *>(&n), 4);
}

// A value stored under a key, and what start-up makes of it: the option's value, or
// (-1) a Type mismatch quoting `text`.
struct Stored {
    const char *name;
    QString key;
    DWORD type;
    QByteArray data;
    int value;
    QString text = {};
};

} // namespace

Q_DECLARE_METATYPE(Stored)

class TestRegistryStore : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_key = std::make_unique<TestKey>(QString::fromLatin1(QTest::currentTestFunction()));
    }
    void cleanup() { m_key.reset(); }

    void defaultBranch()
    {
        QCOMPARE(SettingsStore().location("Quenmark"),
                 QString("HKEY_CURRENT_USER\\Software\\VB and VBA Program Settings\\Quenmark"));
    }
    void roundTripInTableOrder_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("loaded"); // what a new start makes of it
        QTest::newRow("first start") << "0 1 2"
                                     << "0 1 2";
        QTest::newRow("Page Layout") << "0 1 2 4 11"
                                     << "0 1 2 4 11";
        QTest::newRow("grayed Left and Review") << "0 1:2 2 8:2 11"
                                                << "0 1:2 2 8:2 11";
        QTest::newRow("Hide alone comes back cleared") << "0 3 11"
                                                       << "0 3";
        QTest::newRow("none") << "none"
                              << "none";
    }
    void roundTripInTableOrder()
    {
        QFETCH(QString, state);
        QFETCH(QString, loaded);
        // A value of someone else's in the same key stays.
        QVERIFY(m_key->setText("Extra", "kept"));
        const OptionSet::State saved = stateOf(state);
        {
            SettingsStore store(m_key->root());
            const auto error = SaveOptions(OptionSet(saved), store);
            QVERIFY2(!error, error ? qPrintable(error->message()) : "");
        }
        QStringList texts;
        for (OptionValue v : saved)
            texts << QString::number(v);
        QCOMPARE(m_key->values(), texts); // twelve string values, in table order
        QCOMPARE(m_key->raw("Extra"), "1:" + utf16("kept"));

        SettingsStore store(m_key->root());
        OptionSet options;
        QVERIFY(!LoadOptions(options, store));
        QCOMPARE(describe(options.values()), describe(stateOf(loaded)));
    }
    void storedValues_data()
    {
        QTest::addColumn<Stored>("row");
        const QString flood(200000, u'x'); // quoted cut, not whole
        const Stored rows[] = {
            {"1", "Review", REG_SZ, utf16("1"), 1},
            {"2 without its NUL", "Review", REG_SZ, utf16("2", false), 2},
            {"blanks and a sign", "Review", REG_SZ, utf16(" +1 "), 1},
            // The add-in reads the text as stored; no settings library decodes it first.
            // (The texts every store refuses are checked through the window's start-up.)
            {"@String(0)", "Home", REG_SZ, utf16("@String(0)"), -1, "@String(0)"},
            // Values that are no strings are named by their type.
            {"REG_DWORD", "All", REG_DWORD, dword(1), -1, "REG_DWORD 0x00000001 (1)"},
            {"REG_EXPAND_SZ", "Insert", REG_EXPAND_SZ, utf16("1"), -1, "REG_EXPAND_SZ 1"},
            {"REG_BINARY", "Developer", REG_BINARY, "1", -1, "REG_BINARY of 1 byte"},
            {"200,000 characters", "Home", REG_SZ, utf16(flood), -1, flood},
        };
        for (const Stored &row : rows)
            QTest::newRow(row.name) << row;
    }
    void storedValues()
    {
        QFETCH(Stored, row);
        const auto &[name, key, type, data, value, text] = row;
        QVERIFY(m_key->setText("Classic", "1"));
        QVERIFY(m_key->set(key, type, data));
        const QByteArray before = m_key->raw(key);

        SettingsStore store(m_key->root());
        OptionSet options;
        const auto error = LoadOptions(options, store);
        int index = 0;
        while (index < OptionCount - 1 && QString::fromLatin1(kOptionTable[index].key) != key)
            ++index;
        if (value >= 0) {
            QVERIFY2(!error, error ? qPrintable(error->message()) : "");
            QCOMPARE(int(options.value(index)), value);
        } else {
            QVERIFY(error.has_value());
            QCOMPARE(error->kind, Kind::TypeMismatch);
            QCOMPARE(error->key, key);
            QCOMPARE(error->text, text);
            const QString location = m_key->root() + "\\Quenmark";
            QCOMPARE(error->location, location);
            const QString message = error->message();
            for (const QString &part :
                 {error->kindText(), "\"" + key + "\"", QuotedStoredText(text), location})
                QVERIFY2(message.contains(part), qPrintable(message.left(300) + " lacks " + part));
            QVERIFY(message.size() < 500);
        }
        QCOMPARE(m_key->raw(key), before); // reading changes nothing
    }
    void readingCreatesNothing()
    {
        SettingsStore store(m_key->root());
        OptionSet options;
        QVERIFY(!LoadOptions(options, store));
        QCOMPARE(describe(options.values()), QString("0 1 2"));
        QCOMPARE(store.GetSetting("Quenmark", "Velmora", "Home", -7).text, QString("-7"));
        QVERIFY(!store.open("Quenmark"));
        QVERIFY(!m_key->exists());
    }
    void unreadableKey()
    {
        QVERIFY(m_key->setText("Classic", "1"));
        // Reading denied to everyone on the section key alone; its owner may still allow it again.
        const auto allow = [this](const wchar_t *sddl) {
            PSECURITY_DESCRIPTOR sd = nullptr;
            HKEY key = nullptr;
            const bool done =
                ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd,
                                                                     nullptr) &&
                !RegOpenKeyExW(HKEY_CURRENT_USER, m_key->section().toStdWString().c_str(), 0,
                               WRITE_DAC, &key) &&
                !RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd);
            RegCloseKey(key);
            LocalFree(sd);
            return done;
        };
        QVERIFY(allow(L"D:(D;;KR;;;WD)(A;;KA;;;WD)"));
        SettingsStore store(m_key->root());
        OptionSet options;
        const auto error = LoadOptions(options, store);
        // Writing is still allowed: a save writes all twelve and stands, unconfirmed.
        const auto saved = SaveOptions(OptionSet(stateOf("0 3")), store);
        QVERIFY(allow(L"D:(A;;KA;;;WD)"));
        QVERIFY2(!saved, saved ? qPrintable(saved->message()) : "");
        QCOMPARE(describe(loadStore(m_key->root()).state), QString("0 3"));
        QVERIFY(error && error->kind == Kind::Unreadable);
        QVERIFY2(error->message().contains("the registry key \"Velmora\" cannot be opened: "),
                 qPrintable(error->message()));
    }
    void volatileKeyIsRefused()
    {
        // Made by another program; Windows forgets it and all it holds at the next start.
        HKEY key = nullptr;
        QCOMPARE(RegCreateKeyExW(HKEY_CURRENT_USER, m_key->section().toStdWString().c_str(), 0,
                                 nullptr, REG_OPTION_VOLATILE, KEY_WRITE, nullptr, &key, nullptr),
                 LONG(ERROR_SUCCESS));
        RegCloseKey(key);
        SettingsStore store(m_key->root());
        const auto error = SaveOptions(OptionSet(stateOf("0 3")), store);
        QVERIFY(error && error->kind == Kind::WriteFailed);
        QVERIFY2(error->message().contains("\\Velmora\" is volatile") &&
                     error->message().contains("reg delete"),
                 qPrintable(error->message()));
        QCOMPARE(m_key->values(), QStringList(12, "-")); // nothing written
        QVERIFY(!m_key->dump().contains("probe"));
    }

private:
    std::unique_ptr<TestKey> m_key;
};

QTEST_MAIN(TestRegistryStore)
#include "tst_registry_store.moc"
