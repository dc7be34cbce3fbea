// The store, through real files in a temporary folder: loading examples, the
// conversion table, round trips of every reachable state, and failing saves.

#include "option_states.h"
#include "settings_file_edit.h"
#include "store_examples.h"
#include "test_files.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using Kind = StoreError::Kind;

class TestSettingsStore : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString root() const { return m_dir->path(); }
    QString storeFile() const { return storeFileIn(root()); }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    void locationIsQSettingsUserFile()
    {
        // The user's store is the file QSettings itself picks for organisation
        // "Quenmark" with no application name, under XDG_CONFIG_HOME (set by ctest).
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        QVERIFY(!config.isEmpty());
        const QString expected =
            QSettings(QSettings::NativeFormat, QSettings::UserScope, "Quenmark").fileName();
        QCOMPARE(SettingsStore().location("Quenmark"), expected);
        QVERIFY(expected.startsWith(config));
    }

    void loadingExamples_data() { addLoadingExamples(); }
    void loadingExamples()
    {
        QFETCH(QStringList, stored);
        QFETCH(QString, expected);
        QVERIFY(seedPairs(storeFile(), stored));
        const QByteArray before = readAll(storeFile());

        const Loaded loaded = loadStore(root());
        QVERIFY2(!loaded.error, loaded.error ? qPrintable(loaded.error->message()) : "");
        QCOMPARE(describe(loaded.state), describe(stateOf(expected)));
        QCOMPARE(readAll(storeFile()), before); // loading writes nothing
    }

    void conversion_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("plain");
        QTest::addColumn<int>("value"); // -1 when it fails
        QTest::addColumn<Kind>("failure");

        constexpr Kind T = Kind::TypeMismatch, O = Kind::Overflow, I = Kind::InvalidPropertyValue;
        // `failure` is unused when a value comes back.
        const auto row = [](const char *name, const char *text, int value,
                            Kind failure = Kind::TypeMismatch, bool plain = true) {
            QTest::newRow(name) << QString::fromLatin1(text) << plain << value << failure;
        };
        for (const char *text : {"0", "1", "2"}) // named by their text, as are the failures below
            row(text, text, text[0] - '0');
        row("blanks", " 1 ", 1);
        row("plus", "+1", 1);
        row("0.5 to even", "0.5", 0);
        row("1.5 to even", "1.5", 2);
        row("2.5 to even", "2.5", 2);
        row("-0.4", "-0.4", 0);
        row("exponent", "1e0", 1);
        row("tiny", "1e-999", 0);
        row("tiny, capital E", "1E-999", 0);
        row("empty", "", -1);
        row("blank", "   ", -1);
        row("1,2 as a list", "1,2", -1, T, false);
        row("1,2 as text", "1,2", -1);
        row("@Invalid()", "@Invalid()", -1, T, false);
        row("hex", "0x1", -1);
        row("trailing text", "1a", -1);
        row("-32768 is in range", "-32768", -1, I);
        row("32767.5 rounds out", "32767.5", -1, O);
        const auto fail = [&row](Kind kind, std::initializer_list<const char *> texts) {
            for (const char *text : texts)
                row(text, text, -1, kind);
        };
        fail(T, {"abc", "inf", "nan"});
        fail(O, {"40000", "-32769", "1e999"});
        fail(I, {"32767", "3", "-1", "2.6"});
    }
    void conversion()
    {
        QFETCH(QString, text);
        QFETCH(bool, plain);
        QFETCH(int, value);
        QFETCH(Kind, failure);

        const Conversion c = ConvertStoredText(text, plain);
        QCOMPARE(c.value.has_value(), value >= 0);
        if (value >= 0)
            QCOMPARE(int(*c.value), value);
        else
            QCOMPARE(c.failure, failure);
    }

    void badStoredValues_data() { addBadStoredValues(); }
    void badStoredValues()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(Kind, kind);
        QFETCH(QString, quoted);
        const QByteArray content = "[Velmora]\nPage%20Layout=1\n" + line + "\nInsert=1\n";
        QVERIFY(writeFile(storeFile(), content));

        const Loaded loaded = loadStore(root());
        QVERIFY(loaded.error.has_value());
        const StoreError &error = *loaded.error;
        QCOMPARE(error.kind, kind);
        QCOMPARE(error.key, key);
        QCOMPARE(error.text, text);
        QCOMPARE(error.location, storeFile());
        // The message names everything a user needs to mend the store.
        const QString message = error.message();
        const QString expected = kind == Kind::InvalidPropertyValue ? "0, 1 or 2" : storeFile();
        for (const QString &part :
             {error.kindText(), "\"" + key + "\"", "\"" + quoted + "\"", storeFile(), expected})
            QVERIFY2(message.contains(part), qPrintable(message + " lacks " + part));
        // Loading stopped at the bad key: "Insert" (option 5) is not read after an earlier one.
        const auto bad = std::find_if(kOptionTable.begin(), kOptionTable.end(),
                                      [&](const OptionInfo &o) { return key == o.key; });
        if (bad - kOptionTable.begin() < 5)
            QCOMPARE(loaded.state[5], OptionValue(0));
        QCOMPARE(readAll(storeFile()), content);
    }

    void unreadableStore()
    {
        QVERIFY(QDir().mkpath(storeFile())); // a folder where the file should be
        const auto error = loadStore(root()).error;
        QVERIFY(error.has_value());
        QCOMPARE(error->kind, Kind::Unreadable);
        QVERIFY(error->message().contains(storeFile()));
    }

    void getSettingMissingAndEmpty()
    {
        QVERIFY(writeFile(storeFile(), "[Velmora]\nHome=\nLeft=1\n[Other]\nAll=2\n"));
        SettingsStore store(root());
        QCOMPARE(store.GetSetting("Quenmark", "Velmora", "Left", 0).text, QString("1"));
        QCOMPARE(store.GetSetting("Quenmark", "Velmora", "Home", 1).text, QString(""));
        QCOMPARE(store.GetSetting("Quenmark", "Velmora", "All", 1).text, QString("1"));
        QCOMPARE(store.GetSetting("Quenmark", "Missing", "Left", -7).text, QString("-7"));
        QCOMPARE(store.GetSetting("Nobody", "Velmora", "Left", 0).text, QString("0"));
    }

    void roundTripOfEveryReachableState()
    {
        // Every state's save is edited and judged by the settings reader in memory;
        // the file format is the same for all, so every 150th goes through the disk.
        const auto states = reachableStates();
        for (size_t i = 0; i < states.size(); ++i) {
            const QString folder = m_dir->filePath(QString::number(i));
            SettingsStore store(folder);
            if (i % 150 != 0) {
                const auto edit = EditSettingsFile({}, OptionTexts(OptionSet(states[i])), "");
                QVERIFY2(!edit.refusal, qPrintable(edit.refusal.value_or("")));
                QVERIFY(QDir().mkpath(folder) && writeFile(storeFileIn(folder), edit.content));
            } else if (const auto error = SaveOptions(OptionSet(states[i]), store)) {
                QFAIL(qPrintable(error->message()));
            }
            OptionSet loaded; // the store reads its file anew after a save
            QVERIFY(!LoadOptions(loaded, store));
            // "Hide built-in tabs" is not read: it returns only through options 4 to 10.
            OptionSet::State expected = states[i];
            if (std::all_of(&expected[4], &expected[11], [](OptionValue v) { return v == 0; }))
                expected[11] = 0;
            QCOMPARE(describe(loaded.values()), describe(expected));
        }
    }

    void firstStartFileWhole()
    {
        SettingsStore store(root());
        OptionSet options;
        QVERIFY(!LoadOptions(options, store));
        QVERIFY(!QFile::exists(storeFile()));
        const mode_t mask = umask(022); // a new store is any new file of the user's
        QVERIFY(!SaveOptions(options, store));
        umask(mask);
        QCOMPARE(QFileInfo(storeFile()).permissions() & 0x0fff, QFile::Permissions(0x0644));
        // Table order, in QSettings' spelling of the keys.
        QCOMPARE(readAll(storeFile()), QByteArray("[Velmora]\nClassic=1\nLeft=1\nAll=1\nHome=0\n"
                                                  "Page%20Layout=0\nInsert=0\nFormulas=0\n"
                                                  "Data=0\nReview=0\n%20View=0\nDeveloper=0\n"
                                                  "Hide%20built-in%20tabs=0\n"));
    }

    void saveWritesEveryKeyGrayedAsTwo()
    {
        QVERIFY(writeFile(storeFile(), "[Velmora]\nHome = 1   ; note\nExtra=kept\n\n; Other's\n"
                                       "[Other]\nx=1\n"));
        QVERIFY(!saveStore(root(), stateOf("0 2:2 4 11")));
        // Our values change in place, blanks and comment kept; the missing keys follow
        // the group's last key line, before a blank line and the next group's comment.
        QCOMPARE(readAll(storeFile()),
                 QByteArray("[Velmora]\nHome = 0   ; note\nExtra=kept\nClassic=1\nLeft=0\n"
                            "All=2\nPage%20Layout=1\nInsert=0\nFormulas=0\n"
                            "Data=0\nReview=0\n%20View=0\nDeveloper=0\n"
                            "Hide%20built-in%20tabs=1\n\n; Other's\n[Other]\nx=1\n"));
    }

    void failedSaveReportsAndCanBeRetried()
    {
        // A config folder whose parent is a regular file cannot be created, even by root.
        const QString blocker = m_dir->filePath("blocker");
        QVERIFY(writeFile(blocker, "not a folder"));
        const QString folder = blocker + "/config";
        SettingsStore store(folder);
        const OptionSet options(stateOf("0 3"));

        const auto error = SaveOptions(options, store);
        QVERIFY(error.has_value());
        QCOMPARE(error->kind, Kind::WriteFailed);
        QCOMPARE(error->location, storeFileIn(folder));
        QVERIFY(error->message().contains(error->location));
        QCOMPARE(readAll(blocker), QByteArray("not a folder"));

        // Once the folder can be made, "Ok" again succeeds with the same store.
        QVERIFY(QFile::remove(blocker));
        QVERIFY(!SaveOptions(options, store));
        for (const QString &made : {blocker, folder}) // as the XDG base directory rules ask
            QCOMPARE(QFileInfo(made).permissions() & 0x0fff, QFile::Permissions(0x0700));
        const Loaded loaded = loadStore(folder);
        QVERIFY(!loaded.error);
        QCOMPARE(describe(loaded.state), QString("0 3"));
    }
};

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settings_store.moc"
