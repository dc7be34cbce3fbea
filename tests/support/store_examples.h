#pragma once

// The stored-value examples both the store and the window are tested with: what
// a store holding them loads as, and the values that stop start-up; and the
// load and save of a whole store the store's own tests share.

#include "option_states.h"
#include "option_storage.h"
#include "settings_store.h"
#include "store_error.h"

#include <QStringList>
#include <QTest>
#ifndef Q_OS_WIN
#include <QSettings>
#endif

Q_DECLARE_METATYPE(StoreError::Kind)

// What a start-up over the store at `root` loads, and the error that stopped it.
struct Loaded {
    OptionSet::State state{};
    std::optional<StoreError> error;
};

inline Loaded loadStore(const QString &root)
{
    SettingsStore store(root);
    OptionSet options;
    auto error = LoadOptions(options, store);
    return {options.values(), std::move(error)};
}

// Saves `state` into the store at `root` as Ok does.
inline std::optional<StoreError> saveStore(const QString &root, const OptionSet::State &state)
{
    SettingsStore store(root);
    return SaveOptions(OptionSet(state), store);
}

#ifndef Q_OS_WIN
// Writes "key=value" pairs of section "Velmora" the way any QSettings writer would.
inline bool seedPairs(const QString &file, const QStringList &pairs)
{
    QSettings seed(file, QSettings::NativeFormat);
    for (const QString &pair : pairs) {
        const auto kv = pair.split('=');
        seed.setValue("Velmora/" + kv[0], kv[1]);
    }
    seed.sync();
    return seed.status() == QSettings::NoError;
}
#endif

// Columns "stored" (key=value pairs) and "expected" (the loaded state).
inline void addLoadingExamples()
{
    QTest::addColumn<QStringList>("stored"); // key=value, written with QSettings
    QTest::addColumn<QString>("expected");

    QTest::newRow("first start") << QStringList{} << "0 1 2";
    QTest::newRow("written with 0 4 11")
        << QStringList{"Classic=1",     "Left=0",   "All=0",       "Home=0",
                       "Page Layout=1", "Insert=0", "Formulas=0",  "Data=0",
                       "Review=0",      " View=0",  "Developer=0", "Hide built-in tabs=1"}
        << "0 4 11";
    QTest::newRow("Left and Home both 1")
        << QStringList{"Classic=1", "Left=1", "All=1", "Home=1"} << "0 2 3";
    QTest::newRow("Classic 0, Left 1") << QStringList{"Classic=0", "Left=1", "All=0"} << "0 1";
    QTest::newRow("Classic 0, no Left or All") << QStringList{"Classic=0"} << "0 1 2";
    for (int k = 4; k <= 10; ++k) {
        const QString key = QString::fromLatin1(kOptionTable[k].key);
        QTest::addRow("only %s", kOptionTable[k].key)
            << QStringList{"Classic=0", "Left=0", "All=0", key + "=1"}
            << QStringLiteral("0 %1 11").arg(k);
    }
    QTest::newRow("2 under Classic") << QStringList{"Classic=2"} << "0 1 2";
    QTest::newRow("2 under Left stays grayed") << QStringList{"Left=2"} << "0 1:2 2";
    QTest::newRow("2 under Left, Home 1") << QStringList{"Left=2", "Home=1"} << "0 2 3";
    QTest::newRow("2 under Review") << QStringList{"Review=2"} << "0 1 2 8:2 11";
    QTest::newRow("Hide built-in tabs is never read")
        << QStringList{"Classic=1", "Left=0", "All=0", "Hide built-in tabs=1"} << "0";
    QTest::newRow("View without the blank is another key") << QStringList{"View=1"} << "0 1 2";
    QTest::newRow("View with the blank") << QStringList{" View=1"} << "0 1 2 9 11";
}

// Columns "line" (as it stands in the file), "key", "text", "kind" and "quoted"
// (the text as the message quotes it).
inline void addBadStoredValues()
{
    using Kind = StoreError::Kind;
    QTest::addColumn<QByteArray>("line"); // as it stands in the file
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QString>("quoted");

    constexpr Kind T = Kind::TypeMismatch;
    struct Row {
        const char *name, *line, *key, *text;
        Kind kind = T;
        const char *quoted = nullptr; // when not the text itself
    };
    const Row rows[] = {
        {"empty", "Home=", "Home", ""},
        {"abc", "Classic=abc", "Classic", "abc"},
        {"list", "Home=1,2", "Home", "1,2"},
        {"invalid", "All=@Invalid()", "All", "@Invalid()"},
        // Values QSettings decodes into other types are quoted as the file has them.
        {"byte array", "Home=@ByteArray(1)", "Home", "@ByteArray(1)"},
        {"variant", "Classic=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x1)", "Classic",
         "@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x1)"},
        {"40000", "%20View=40000", " View", "40000", Kind::Overflow},
        {"3", "Developer=3", "Developer", "3", Kind::InvalidPropertyValue},
        {"-1", "Left=-1", "Left", "-1", Kind::InvalidPropertyValue},
        {"direction turned",
         "Home=\xe2\x80\xae"
         "1",
         "Home",
         "\xe2\x80\xae"
         "1",
         T, "\\u202E1"},
#ifndef Q_OS_WIN
        // Messages quote the file, not what QSettings decodes it to, from the line it reads.
        {"@String", "Home=@String(abc)", "Home", "@String(abc)"},
        {"@@", "Home=@@1", "Home", "@@1"},
        {"escape", "Home=\\x41", "Home", "\\x41"},
        {"duplicate key", "Home=xyz\nHome=abc", "Home", "abc"},
        {"sign in %U", "%U+020View=\\x41", " View", "\\x41"},
        {"continued", "Home=1\\\n2", "Home", "1\\\n2", Kind::InvalidPropertyValue},
#endif
    };
    for (const Row &r : rows)
        QTest::newRow(r.name) << QByteArray(r.line) << QString::fromUtf8(r.key)
                              << QString::fromUtf8(r.text) << r.kind
                              << QString::fromUtf8(r.quoted ? r.quoted : r.text);
}
