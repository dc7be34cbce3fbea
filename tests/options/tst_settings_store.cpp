// The store, through real files in a temporary folder: loading examples, the
// conversion table, round trips of every reachable state, and failing saves.

#include "option_set.h"
#include "option_states.h"
#include "option_storage.h"
#include "settings_store.h"
#include "store_examples.h"
#include "test_files.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using Kind = StoreError::Kind;

class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void locationIsQSettingsUserFile();
    void loadingExamples_data();
    void loadingExamples();
    void conversion_data();
    void conversion();
    void badStoredValues_data();
    void badStoredValues();
    void unreadableStore();
    void getSettingMissingAndEmpty();
    void roundTripOfEveryReachableState();
    void firstStartFileWhole();
    void saveWritesEveryKeyGrayedAsTwo();
    void failedSaveReportsAndCanBeRetried();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString storeFile() const { return m_dir->filePath(QStringLiteral("Quenmark.conf")); }
};

void TestSettingsStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestSettingsStore::locationIsQSettingsUserFile()
{
    // The user's store is the file QSettings itself picks for organisation
    // "Quenmark" with no application name, under XDG_CONFIG_HOME (set by ctest).
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    QVERIFY(!config.isEmpty());
    SettingsStore store;
    const QString expected =
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "Quenmark").fileName();
    QCOMPARE(store.location("Quenmark"), expected);
    QVERIFY(expected.startsWith(config));
}

void TestSettingsStore::loadingExamples_data()
{
    addLoadingExamples();
}

void TestSettingsStore::loadingExamples()
{
    QFETCH(QStringList, stored);
    QFETCH(QString, expected);
    QVERIFY(seedPairs(storeFile(), stored));
    const QByteArray before = readAll(storeFile());

    SettingsStore store(m_dir->path());
    OptionSet options;
    const auto error = LoadOptions(options, store);
    QVERIFY2(!error, error ? qPrintable(error->message()) : "");
    QCOMPARE(describe(options.values()), describe(stateOf(expected)));
    QCOMPARE(readAll(storeFile()), before); // loading writes nothing
}

void TestSettingsStore::conversion_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("plain");
    QTest::addColumn<int>("value"); // -1 when it fails
    QTest::addColumn<Kind>("failure");

    const auto ok = Kind::TypeMismatch; // unused when a value comes back
    QTest::newRow("0") << "0" << true << 0 << ok;
    QTest::newRow("1") << "1" << true << 1 << ok;
    QTest::newRow("2") << "2" << true << 2 << ok;
    QTest::newRow("blanks") << " 1 " << true << 1 << ok;
    QTest::newRow("plus") << "+1" << true << 1 << ok;
    QTest::newRow("0.5 to even") << "0.5" << true << 0 << ok;
    QTest::newRow("1.5 to even") << "1.5" << true << 2 << ok;
    QTest::newRow("2.5 to even") << "2.5" << true << 2 << ok;
    QTest::newRow("-0.4") << "-0.4" << true << 0 << ok;
    QTest::newRow("exponent") << "1e0" << true << 1 << ok;
    QTest::newRow("tiny") << "1e-999" << true << 0 << ok;
    QTest::newRow("tiny, capital E") << "1E-999" << true << 0 << ok;
    QTest::newRow("empty") << "" << true << -1 << Kind::TypeMismatch;
    QTest::newRow("blank") << "   " << true << -1 << Kind::TypeMismatch;
    QTest::newRow("abc") << "abc" << true << -1 << Kind::TypeMismatch;
    QTest::newRow("1,2 as a list") << "1,2" << false << -1 << Kind::TypeMismatch;
    QTest::newRow("1,2 as text") << "1,2" << true << -1 << Kind::TypeMismatch;
    QTest::newRow("@Invalid()") << "@Invalid()" << false << -1 << Kind::TypeMismatch;
    QTest::newRow("inf") << "inf" << true << -1 << Kind::TypeMismatch;
    QTest::newRow("nan") << "nan" << true << -1 << Kind::TypeMismatch;
    QTest::newRow("hex") << "0x1" << true << -1 << Kind::TypeMismatch;
    QTest::newRow("trailing text") << "1a" << true << -1 << Kind::TypeMismatch;
    QTest::newRow("40000") << "40000" << true << -1 << Kind::Overflow;
    QTest::newRow("-32769") << "-32769" << true << -1 << Kind::Overflow;
    QTest::newRow("-32768 is in range") << "-32768" << true << -1 << Kind::InvalidPropertyValue;
    QTest::newRow("32767.5 rounds out") << "32767.5" << true << -1 << Kind::Overflow;
    QTest::newRow("1e999") << "1e999" << true << -1 << Kind::Overflow;
    QTest::newRow("32767") << "32767" << true << -1 << Kind::InvalidPropertyValue;
    QTest::newRow("3") << "3" << true << -1 << Kind::InvalidPropertyValue;
    QTest::newRow("-1") << "-1" << true << -1 << Kind::InvalidPropertyValue;
    QTest::newRow("2.6") << "2.6" << true << -1 << Kind::InvalidPropertyValue;
}

void TestSettingsStore::conversion()
{
    QFETCH(QString, text);
    QFETCH(bool, plain);
    QFETCH(int, value);
    QFETCH(Kind, failure);

    const Conversion c = ConvertStoredText(text, plain);
    if (value >= 0) {
        QVERIFY(c.value.has_value());
        QCOMPARE(int(*c.value), value);
    } else {
        QVERIFY(!c.value.has_value());
        QCOMPARE(c.failure, failure);
    }
}

void TestSettingsStore::badStoredValues_data()
{
    addBadStoredValues();
}

void TestSettingsStore::badStoredValues()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(Kind, kind);

    const QByteArray content = "[Velmora]\nPage%20Layout=1\n" + line + "\nInsert=1\n";
    QVERIFY(writeFile(storeFile(), content));

    SettingsStore store(m_dir->path());
    OptionSet options;
    const auto error = LoadOptions(options, store);
    QVERIFY(error.has_value());
    QCOMPARE(error->kind, kind);
    QCOMPARE(error->key, key);
    QCOMPARE(error->text, text);
    QCOMPARE(error->location, storeFile());
    // The message names everything a user needs to mend the store.
    const QString message = error->message();
    for (const QString &part :
         {error->kindText(), "\"" + key + "\"", "\"" + text + "\"", storeFile()})
        QVERIFY2(message.contains(part), qPrintable(message + " lacks " + part));
    // Loading stopped at the bad key: "Insert" (option 5) is not read after an earlier one.
    int badIndex = 0;
    while (QString::fromLatin1(kOptionTable[badIndex].key) != key)
        ++badIndex;
    if (badIndex < 5)
        QCOMPARE(options.value(5), OptionValue(0));
    QCOMPARE(readAll(storeFile()), content);
}

void TestSettingsStore::unreadableStore()
{
    QVERIFY(QDir().mkpath(storeFile())); // a folder where the file should be
    SettingsStore store(m_dir->path());
    OptionSet options;
    const auto error = LoadOptions(options, store);
    QVERIFY(error.has_value());
    QCOMPARE(error->kind, Kind::Unreadable);
    QVERIFY(error->message().contains(storeFile()));
}

void TestSettingsStore::getSettingMissingAndEmpty()
{
    QVERIFY(writeFile(storeFile(), "[Velmora]\nHome=\nLeft=1\n[Other]\nAll=2\n"));
    SettingsStore store(m_dir->path());
    QCOMPARE(store.GetSetting("Quenmark", "Velmora", "Left", 0).text, QString("1"));
    QCOMPARE(store.GetSetting("Quenmark", "Velmora", "Home", 1).text, QString(""));
    QCOMPARE(store.GetSetting("Quenmark", "Velmora", "All", 1).text, QString("1"));
    QCOMPARE(store.GetSetting("Quenmark", "Missing", "Left", -7).text, QString("-7"));
    QCOMPARE(store.GetSetting("Nobody", "Velmora", "Left", 0).text, QString("0"));
}

void TestSettingsStore::roundTripOfEveryReachableState()
{
    const auto states = reachableStates();
    for (const auto &state : states) {
        // A folder each: QSettings caches a file it has read and trusts the cache
        // while size and time stamp (in ms) agree, which same-size saves can meet.
        const QString root = m_dir->filePath(describe(state));
        OptionSet saved(state);
        {
            SettingsStore store(root);
            const auto error = SaveOptions(saved, store);
            QVERIFY2(!error, error ? qPrintable(error->message()) : "");
        }
        SettingsStore store(root);
        OptionSet loaded;
        QVERIFY(!LoadOptions(loaded, store));

        // "Hide built-in tabs" is not read: it returns only through options 4 to 10.
        OptionSet::State expected = state;
        bool any4to10 = false;
        for (int i = 4; i <= 10; ++i)
            any4to10 |= state[i] != 0;
        if (!any4to10)
            expected[11] = 0;
        QCOMPARE(describe(loaded.values()), describe(expected));
    }
}

void TestSettingsStore::firstStartFileWhole()
{
    SettingsStore store(m_dir->path());
    OptionSet options;
    QVERIFY(!LoadOptions(options, store));
    QVERIFY(!QFile::exists(storeFile()));
    QVERIFY(!SaveOptions(options, store));
    // Table order, in QSettings' spelling of the keys.
    QCOMPARE(readAll(storeFile()), QByteArray("[Velmora]\n"
                                              "Classic=1\n"
                                              "Left=1\n"
                                              "All=1\n"
                                              "Home=0\n"
                                              "Page%20Layout=0\n"
                                              "Insert=0\n"
                                              "Formulas=0\n"
                                              "Data=0\n"
                                              "Review=0\n"
                                              "%20View=0\n"
                                              "Developer=0\n"
                                              "Hide%20built-in%20tabs=0\n"));
}

void TestSettingsStore::saveWritesEveryKeyGrayedAsTwo()
{
    QVERIFY(writeFile(storeFile(), "[Velmora]\nHome=1\nExtra=kept\n[Other]\nx=1\n"));
    SettingsStore store(m_dir->path());
    QVERIFY(!SaveOptions(OptionSet(stateOf("0 2:2 4 11")), store));

    // Our lines change in place; the missing keys follow the group's last line.
    QCOMPARE(readAll(storeFile()), QByteArray("[Velmora]\nHome=0\nExtra=kept\nClassic=1\nLeft=0\n"
                                              "All=2\nPage%20Layout=1\nInsert=0\nFormulas=0\n"
                                              "Data=0\nReview=0\n%20View=0\nDeveloper=0\n"
                                              "Hide%20built-in%20tabs=1\n[Other]\nx=1\n"));
}

void TestSettingsStore::failedSaveReportsAndCanBeRetried()
{
    // A config folder whose parent is a regular file cannot be created, even by root.
    const QString blocker = m_dir->filePath("blocker");
    QVERIFY(writeFile(blocker, "not a folder"));
    const QString root = blocker + "/config";
    SettingsStore store(root);
    const OptionSet options(stateOf("0 3"));

    const auto error = SaveOptions(options, store);
    QVERIFY(error.has_value());
    QCOMPARE(error->kind, Kind::WriteFailed);
    QCOMPARE(error->location, root + "/Quenmark.conf");
    QVERIFY(error->message().contains(error->location));
    QCOMPARE(readAll(blocker), QByteArray("not a folder"));

    // Once the folder can be made, "Ok" again succeeds with the same store.
    QVERIFY(QFile::remove(blocker));
    QVERIFY(!SaveOptions(options, store));
    SettingsStore reread(root);
    OptionSet loaded;
    QVERIFY(!LoadOptions(loaded, reread));
    QCOMPARE(describe(loaded.values()), QString("0 3"));
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settings_store.moc"
