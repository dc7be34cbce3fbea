#include "file_exists.h"
#include "open_with_shell.h"
#include "test_files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>

namespace
{

// A stand-in program: `script` made executable.
bool writeProgram(const QString &path, const QByteArray &script)
{
    return writeFile(path, script) &&
           QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner | QFile::ExeUser);
}

// A stand-in that records its working folder and arguments in <path>.rec, written atomically.
bool writeRecorder(const QString &path)
{
    return writeProgram(path,
                        QString("#!/bin/sh\nprintf '%s\\n' \"$(pwd -P)\" \"$#\" \"$@\" > '%1.tmp'\n"
                                "mv '%1.tmp' '%1'\n")
                            .arg(path + ".rec")
                            .toUtf8());
}

// What a recorder wrote, one entry a line; "<missing>" until it has written.
QStringList readRecord(const QString &path)
{
    return QString::fromUtf8(readAll(path)).split('\n', Qt::SkipEmptyParts);
}

} // namespace

class TestShell : public QObject
{
    Q_OBJECT

    QTemporaryDir m_bin;          // fake xdg-open and Excel, first on PATH
    QTemporaryDir m_files;        // files the tests probe and open
    QByteArray m_oldPath, m_path; // PATH as found, and with m_bin first

    QString record(const QString &name) const { return m_bin.filePath(name + ".rec"); }

    // Whatever a call started has had its chance to run once a canary started
    // after it has run: a wait for an event, not for a fixed time.
    void settle()
    {
#ifdef Q_OS_WIN
        QTest::qWait(100); // ShellExecuteExW has started what it starts when it returns
#else
        QFile::remove(record("Canary"));
        QVERIFY(OpenWithShell(0, "Canary", m_files.path()).started);
        QTRY_VERIFY(QFile::exists(record("Canary")));
#endif
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_bin.isValid() && m_files.isValid());
#ifdef Q_OS_WIN
        // The stand-in Excel.exe beside this test records where it is told to.
        qputenv("VELMORA_TEST_EXCEL_RECORD", QDir::toNativeSeparators(record("Excel")).toUtf8());
#endif
        for (const QString name : {"xdg-open", "Excel", "Canary"}) // Canary: see settle()
            QVERIFY(writeRecorder(m_bin.filePath(name)));
        m_oldPath = qgetenv("PATH");
        m_path = QFile::encodeName(m_bin.path()) + QDir::listSeparator().toLatin1() + m_oldPath;
        qputenv("PATH", m_path);

        QVERIFY(writeFile(m_files.filePath("cursor.cur"), "x"));
        QVERIFY(QDir(m_files.path()).mkdir("folder"));
        QVERIFY(QFile::link(m_files.filePath("cursor.cur"), m_files.filePath("link.cur")));
        QVERIFY(QFile::link(m_files.filePath("gone.cur"), m_files.filePath("dangling.cur")));
    }
    void cleanupTestCase()
    {
        qputenv("PATH", m_oldPath);
    }
    void init()
    {
        QFile::remove(record("xdg-open"));
        QFile::remove(record("Excel"));
    }

    void fileExists_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("exists");
        const QString file = m_files.filePath("cursor.cur");
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("existing file") << file << true;
        QTest::newRow("link to a file") << m_files.filePath("link.cur") << true;
#ifndef Q_OS_WIN // there a link is a shortcut file, which exists in its own right
        QTest::newRow("dangling link") << m_files.filePath("dangling.cur") << false;
#endif
        QTest::newRow("missing file") << m_files.filePath("missing.cur") << false;
        QTest::newRow("missing folder") << m_files.filePath("nowhere/cursor.cur") << false;
        QTest::newRow("folder") << m_files.filePath("folder") << false;
        QTest::newRow("file used as a folder") << file + "/" << false;
        QTest::newRow("NUL after a real name") << file + QChar(u'\0') + "x" << false;
        QTest::newRow("control and reserved characters")
            << m_files.filePath("\x01<>|*?:\"\t.cur") << false;
        QTest::newRow("only spaces") << "   " << false;
    }
    void fileExists()
    {
        QFETCH(QString, path);
        QFETCH(bool, exists);
        QTest::failOnWarning(QRegularExpression(".")); // bad input is refused quietly
        errno = 0;
        QCOMPARE(FileExists(path), exists);
        QCOMPARE(errno, 0);
    }

    void fileExistsAfterDeletion()
    {
        const QString path = m_files.filePath("short-lived.cur");
        QVERIFY(writeFile(path, {}));
        QVERIFY(FileExists(path));
        QVERIFY(QFile::remove(path));
        QVERIFY(!FileExists(path));
    }

    void openWithShell_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("started");
        QTest::addColumn<QStringList>("arguments");
#ifdef Q_OS_WIN
        // Only the stand-in Excel beside the test: the rest would open real programs.
        QTest::newRow("program in the program folder") << "Excel"
                                                       << "Excel" << QStringList{};
#else
        const QString url = "http://www.quenmark.example/",
                      mail = "mailto:options@quenmark.example";
        const QString file = m_files.filePath("cursor.cur"), folder = m_files.filePath("folder");
        QTest::newRow("URL") << url << "xdg-open" << QStringList{url};
        QTest::newRow("mailto") << mail << "xdg-open" << QStringList{mail};
        QTest::newRow("existing file") << file << "xdg-open" << QStringList{file};
        QTest::newRow("folder") << folder << "xdg-open" << QStringList{folder};
        QTest::newRow("program on PATH") << "Excel"
                                         << "Excel" << QStringList{};
#endif
    }
    void openWithShell()
    {
        QFETCH(QString, target);
        QFETCH(QString, started);
        QFETCH(QStringList, arguments);

        QVERIFY(OpenWithShell(0, target, QCoreApplication::applicationDirPath()).started);
        // The stand-in records the folder it runs in, the number of arguments and them.
#ifdef Q_OS_WIN
        const QString folder = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
        const QStringList expected{folder.toLower(), QString::number(arguments.size())};
        // The folder comes in native form, then what it read from the store.
        QTRY_VERIFY(readRecord(record(started)).size() > 2);
        QStringList found = readRecord(record(started)).mid(0, 2);
        found[0] = found[0].toLower();
        QCOMPARE(found, expected + arguments);
#else
        const QString folder = QDir(QCoreApplication::applicationDirPath()).canonicalPath();
        const QStringList expected{folder, QString::number(arguments.size())};
        QTRY_COMPARE(readRecord(record(started)), expected + arguments);
#endif
    }

    void openWithShellStartsNothing_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("empty") << QString();
        QTest::newRow("unknown name") << "NoSuchProgramQuenmark";
#ifndef Q_OS_WIN // names of programs are case-blind there
        QTest::newRow("wrong case of a program") << "excel";
#endif
        QTest::newRow("missing relative file") << "nowhere/cursor.cur";
        QTest::newRow("NUL before a URL") << QString("Excel") + QChar(u'\0') + "http://x";
    }
    void openWithShellStartsNothing()
    {
        QFETCH(QString, target);
        QTest::failOnWarning(QRegularExpression("."));
        QVERIFY(!OpenWithShell(0, target, QCoreApplication::applicationDirPath()).started);
        settle();
        QVERIFY(!QFile::exists(record("xdg-open")));
        QVERIFY(!QFile::exists(record("Excel")));
    }

    void relativePathEntriesAreNotSearched()
    {
#ifdef Q_OS_WIN
        QSKIP("a case of the Unix PATH and shell scripts");
#endif
        // An "Excel" planted in the folder we are started from, reachable only through ".".
        QTemporaryDir planted, folder;
        QVERIFY(writeRecorder(planted.filePath("Excel")));
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(planted.path()));
        qputenv("PATH", ".:bin:/usr/bin");
        const ShellOutcome outcome = OpenWithShell(0, "Excel", folder.path());
        qputenv("PATH", m_path);
        QDir::setCurrent(cwd);
        QVERIFY(!outcome.started);
        settle();
        QVERIFY(!QFile::exists(planted.filePath("Excel.rec")));
    }

    void openWithShellSaysWhyNot_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QByteArray>("beside"); // an executable "Excel" in the folder, if any
        QTest::addColumn<QByteArray>("opener"); // the only xdg-open on PATH, if any
        QTest::addColumn<bool>("started");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("found");  // "folder/..." or "path/...": where it was found
        QTest::addColumn<QString>("reason"); // part of why the program found failed
        const auto row = [](const char *name, const char *target, const QByteArray &beside,
                            const QByteArray &opener, bool started, const char *program,
                            const char *found, const char *reason = "") {
            QTest::newRow(name) << target << beside << opener << started << program << found
                                << reason;
        };
        const char *url = "http://www.quenmark.example/";
        row("no Excel", "Excel", {}, {}, false, "Excel", "");
        row("Excel beside cannot run", "Excel", "#!/nonexistent/quenmark-sh\n", {}, false, "Excel",
            "folder/Excel", "No such file");
        row("Excel beside runs", "Excel", "#!/bin/sh\n: > ran\n", {}, true, "Excel", "");
        row("no xdg-open", url, {}, {}, false, "xdg-open", "");
        row("xdg-open fails at once", url, {}, "#!/bin/sh\nexit 4\n", false, "xdg-open",
            "path/xdg-open", "exit status 4");
    }
    void openWithShellSaysWhyNot()
    {
#ifdef Q_OS_WIN
        QSKIP("a case of xdg-open and shell scripts");
#endif
        QFETCH(QString, target);
        QFETCH(QByteArray, beside);
        QFETCH(QByteArray, opener);
        QFETCH(bool, started);
        QFETCH(QString, program);
        QFETCH(QString, found);
        QFETCH(QString, reason);
        QTemporaryDir folder, path;
        if (!beside.isEmpty())
            QVERIFY(writeProgram(folder.filePath("Excel"), beside));
        if (!opener.isEmpty())
            QVERIFY(writeProgram(path.filePath("xdg-open"), opener));
        qputenv("PATH", QFile::encodeName(path.path() + ":/nonexistent-velmora"));
        std::optional<ShellOutcome> late; // an opener's failure comes when it ends
        const ShellOutcome first =
            OpenWithShell(0, target, folder.path(), [&late](const ShellOutcome &o) { late = o; });
        qputenv("PATH", m_path);
        if (program == "xdg-open" && !opener.isEmpty()) {
            QVERIFY(first.started && !late); // returned at once, before the opener ended
            QTRY_VERIFY(late);
        }
        const ShellOutcome outcome = late.value_or(first);

        QCOMPARE(outcome.started, started);
        QCOMPARE(outcome.program, program);
        QString expectedFound = found;
        expectedFound.replace("folder/", folder.path() + "/").replace("path/", path.path() + "/");
        QCOMPARE(outcome.found, expectedFound);
        QVERIFY2(outcome.reason.contains(reason), qPrintable(outcome.reason));
        if (!started) {
            // Beside the program first, then on PATH, the folders on one line; told whole.
            QVERIFY2(outcome.lookedIn.count('\n') <= 1, qPrintable(outcome.lookedIn));
            QVERIFY(outcome.explanation().contains(outcome.found.isEmpty() ? outcome.lookedIn
                                                                           : outcome.reason));
            const QStringList places = outcome.lookedIn.split(QRegularExpression("\n|: |, "));
            if (program == "Excel")
                QVERIFY2(places.contains(folder.path()), qPrintable(outcome.lookedIn));
            if (!outcome.found.startsWith(folder.path()))
                QVERIFY2(places.contains(path.path()), qPrintable(outcome.lookedIn));
        } else {
            QTRY_VERIFY(QFile::exists(folder.filePath("ran"))); // in the folder, as it was told
        }
    }
};

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
