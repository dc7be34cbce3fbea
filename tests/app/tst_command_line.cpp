// Velmora on the command line, in-process against settings files of its own:
// what each command line prints, its exit status and what the store then holds;
// --set ending where a click ends, for every row of the rule table; and the real
// program's choice between window, command and usage error for argument lists.

#include "command_line.h"
#include "rule_examples.h"
#include "store_examples.h"
#include "test_files.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#ifdef Q_OS_WIN // where the argument lists alone run
#define SKIP_ON_WINDOWS() QSKIP("a case of the settings file")
#else
#define SKIP_ON_WINDOWS()
#endif

class TestCommandLine : public QObject
{
    Q_OBJECT

    // Runs a command line against the store at `root`; what it prints goes to `printed`.
    static int run(const QString &root, const QStringList &arguments, QString *printed = nullptr)
    {
        QString out, err;
        QTextStream outStream(&out), errStream(&err);
        SettingsStore store(root);
        const int status = RunCommandLine(arguments, store, outStream, errStream);
        outStream.flush();
        errStream.flush();
        if (printed)
            *printed = out + err;
        return status;
    }

private slots:
    void argumentLists_data();
    void argumentLists();
    void commandLines_data();
    void commandLines();
    void setEndsWhereAClickEnds_data() { addClickEndEffects(); }
    void setEndsWhereAClickEnds();
};

// Which way the real program goes with an argument list: the window opens (and
// is still open a second later), a command runs, or a usage error ends it.
// Without a display, Qt's -platform option is what lets a window open.
void TestCommandLine::argumentLists_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("outcome"); // "window", "command", "usage" or "unwritten"

    const QStringList offscreen{"-platform", "offscreen"};
    const auto row = [](const char *name, const QStringList &arguments, const char *outcome) {
        QTest::newRow(name) << arguments << outcome;
    };
    row("a Qt option", offscreen, "window");
    row("two Qt options", offscreen + QStringList{"-style", "fusion"}, "window");
    row("an empty argument", offscreen + QStringList{""}, "window");
    row("a file a launcher passes", offscreen + QStringList{"Book1.xls"}, "window");
    row("one dash, unknown to Qt", offscreen + QStringList{"-show"}, "window");
    row("a command", {"--version"}, "command");
    row("a command after a Qt option", offscreen + QStringList{"--show"}, "command");
    row("a command after a file", {"Book1.xls", "--show", "--json"}, "command");
    row("a mistyped command", {"--shwo"}, "usage");
    row("a mistyped command after a file", {"Book1.xls", "--shwo"}, "usage");
    row("a Qt option with two dashes", {"--style", "fusion"}, "usage");
    row("a command with more", {"--reset", "Book1.xls"}, "usage");
#ifdef Q_OS_WIN
    row("a command started with no standard output", {"--show"}, "unwritten");
#else
    row("a command whose answer finds the disk full", {"--show"}, "unwritten");
#endif
}

void TestCommandLine::argumentLists()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, outcome);
    QTemporaryDir dir;
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR"})
        environment.remove(name);
    environment.insert("XDG_CONFIG_HOME", dir.path());
    if (outcome == "window") // which names the plugins it loads
        environment.insert("QT_LOGGING_RULES", "qt.core.library.debug=true");
    program.setProcessEnvironment(environment);
#ifdef Q_OS_WIN
    if (outcome == "unwritten")
        program.setCreateProcessArgumentsModifier(
            [](QProcess::CreateProcessArguments *start) { start->startupInfo->hStdOutput = {}; });
#else
    if (outcome == "unwritten")
        program.setStandardOutputFile("/dev/full");
#endif
    program.start(QCoreApplication::applicationDirPath() + "/velmora", arguments);
    QVERIFY2(program.waitForStarted(), qPrintable(program.errorString()));

    if (outcome == "window") {
#ifdef Q_OS_WIN
        QVERIFY(!program.waitForFinished(4000)); // Wine starts slowly
#else
        // On the screen, the window loads the image plugin for its pointer (the cursor
        // lies beside the program), and then waits for the user.
        const QByteArray shown = "qico.so\" loaded library\n";
        QByteArray log;
        program.setReadChannel(QProcess::StandardError);
        while (!log.contains(shown) && program.waitForReadyRead(30000))
            log += program.readAll();
        QVERIFY2(log.contains(shown) && !program.waitForFinished(100), log.constData());
        // Nothing else printed: Qt's notice of no XDG_RUNTIME_DIR included.
        log += program.readAllStandardOutput() + program.readAllStandardError();
        QCOMPARE(QString(log).remove(QRegularExpression("qt\\.core\\.library: .*\n")), QString());
#endif
        program.kill();
        program.waitForFinished();
        return;
    }
    const bool ended = program.waitForFinished(30000);
    const QString printed = program.readAllStandardOutput() + program.readAllStandardError();
    QVERIFY(ended);
    QCOMPARE(program.exitCode(), outcome == "usage" ? 2 : outcome == "unwritten" ? 1 : 0);
#ifdef Q_OS_WIN // the reason is the missing handle, not an error code left over ("Success")
    QVERIFY2(outcome != "unwritten" || printed.contains(qt_error_string(ERROR_INVALID_HANDLE)),
             qPrintable(printed));
#endif
#ifndef Q_OS_WIN // there a GUI program prints to its parent's console, past these pipes
    QCOMPARE(printed.contains("Usage:"), outcome == "usage");
    QCOMPARE(printed.contains("could not be written"), outcome == "unwritten");
    if (outcome == "usage") // nothing written
        QCOMPARE(readAll(storeFileIn(dir.path())), QByteArray("<missing>"));
#endif
}

void TestCommandLine::commandLines_data()
{
    QTest::addColumn<QByteArray>("file"); // the store before; empty: none
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("printed"); // parts, '|' between them
    QTest::addColumn<QString>("stored");  // lines the file then holds; "as before"

    const auto row = [](const char *name, const QByteArray &file, const char *arguments, int status,
                        const QString &printed, const char *stored) {
        QTest::newRow(name) << file << arguments << status << printed << stored;
    };
    row("show, first start", "", "--show", 0,
        "Quenmark.conf|Key                   Stored text   Option after loading\n"
        "\"Classic\"             (not stored)  ticked, the default\n",
        "as before");
    row("show as JSON", "[Velmora]\nHome=1\n", "--show --json", 0,
        "\"key\": \"Home\",|\"state\": \"ticked\",|\"stored\": \"1\"|\"stored\": null",
        "as before");
    row("show, a bad value", "[Velmora]\nHome=abc\n", "--show", 1, "Type mismatch|\"abc\"",
        "as before");
    const QByteArray cut = QByteArray(60, 'x') + "…\" (cut; 200000 characters in all)";
    row("show, a long bad value cut", "[Velmora]\nHome=" + QByteArray(200000, 'x') + '\n', "--show",
        1, "is \"" + cut + ", which is not a number", "as before");
    row("show, a long value cut", "[Velmora]\nHide%20built-in%20tabs=" + QByteArray(200000, 'x'),
        "--show", 0, "tabs\"  \"" + cut + " cleared\n", "as before");
    row("show, control bytes quoted visibly", "[Velmora]\nHome=\x1b[2J\x07\xc2\x9b\n", "--show", 1,
        "\"\\x1B[2J\\x07\\x9B\"", "as before");
    row("set, short forms", "", "--set PageLayout=1 view=1 Home=1", 0,
        "Saved to: |\"Left\"                \"0\"           cleared|Changed by the rules: \"Left\" "
        "cleared (was ticked), \"Hide built-in tabs\" ticked (was cleared).",
        "Classic=1|Left=0|Home=1|Page%20Layout=1|%20View=1|Hide%20built-in%20tabs=1");
    row("set, a bad value stops start-up", "[Velmora]\nHome=abc\n", "--set Home=1", 1,
        "Type mismatch", "as before");
    row("set, unknown key", "[Velmora]\nHome=1\n", "--set Home=0 Hom=1", 2,
        "\"Hom=1\"|Classic, Left, All|\"Hide built-in tabs\" (HideBuiltInTabs)", "as before");
    row("set, no value", "[Velmora]\nHome=1\n", "--set Home", 2, "\"Home\" is no KEY=VALUE",
        "as before");
    row("set, value other than 0 or 1", "[Velmora]\nHome=1\n", "--set Home=2", 2,
        "\"Home=2\": the value must be 0 (clear) or 1 (tick)", "as before");
    row("reset", "[Velmora]\nHome=1\nLeft=0\n", "--reset", 0,
        "\"Left\"                \"1\"|first-start state: \"Left\" ticked (was cleared), \"Home\" "
        "cleared (was ticked).",
        "Home=0|Left=1|All=1");
    row("set over a grayed Left leaves it", "[Velmora]\nLeft=2\n", "--set Left=1", 0, "grayed",
        "Left=2|All=1");
    // A lock path no lock can be taken at (a FIFO) fails the save, which writes nothing.
    for (const char *arguments : {"--set Home=0", "--reset"})
        QTest::addRow("%s, the save fails", arguments)
            << QByteArray("[Velmora]\nHome=1\n") << arguments << 1 << "Quenmark.conf.lock|FIFO"
            << "as before";
    row("help", "", "--help", 0, "Usage:|--set KEY=0|Exit status", "as before");
    row("version", "", "--version", 0, "Velmora 7.0\n", "as before");
    row("unknown option", "", "--shwo", 2, "\"--shwo\"|Usage:", "as before");
}

void TestCommandLine::commandLines()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, arguments);
    QFETCH(int, status);
    QFETCH(QString, printed);
    QFETCH(QString, stored);
    SKIP_ON_WINDOWS();
    QTemporaryDir dir;
    const QString store = storeFileIn(dir.path());
    if (!file.isEmpty())
        QVERIFY(writeFile(store, file));
#ifndef Q_OS_WIN
    if (QByteArray(QTest::currentDataTag()).endsWith("the save fails"))
        QCOMPARE(mkfifo(QFile::encodeName(store + ".lock"), 0600), 0);
#endif

    QString text;
    QCOMPARE(run(dir.path(), arguments.split(' '), &text), status);
    for (const QString &part : printed.split('|'))
        QVERIFY2(text.contains(part), qPrintable(text + "\nlacks: " + part));
    if (stored == "as before")
        QCOMPARE(readAll(store), file.isEmpty() ? QByteArray("<missing>") : file);
    else
        for (const QString &line : stored.split('|'))
            QVERIFY2(readAll(store).split('\n').contains(line.toUtf8()), qPrintable(line));
}

void TestCommandLine::setEndsWhereAClickEnds()
{
    QFETCH(QString, start);
    QFETCH(int, click);
    QFETCH(QString, expected);
    SKIP_ON_WINDOWS();
    QTemporaryDir dir;
    QVERIFY(!saveStore(dir.path(), stateOf(start)));

    const QString key = QString::fromLatin1(kOptionTable[click].key);
    const bool ticked = stateOf(start)[click] != 0;
    QCOMPARE(run(dir.path(), {"--set", key + (ticked ? "=0" : "=1")}), 0);
    SettingsStore saved(dir.path());
    for (int i = 0; i < OptionCount; ++i)
        QCOMPARE(saved.GetSetting("Quenmark", "Velmora", kOptionTable[i].key, -1).text,
                 QString::number(stateOf(expected)[i]));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
