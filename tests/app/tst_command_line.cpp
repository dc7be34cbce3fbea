// Velmora on the command line, in-process against settings files of its own:
// what each command line prints, its exit status and what the store then holds;
// --set ending where a click ends, for every row of the rule table; and the real
// program's choice between window, command and usage error for argument lists.

#include "command_line.h"
#include "rule_examples.h"
#include "store_examples.h"
#include "test_files.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <thread>

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
    void otherWritersDuringSaves_data();
    void otherWritersDuringSaves();
};

// Which way the real program goes with an argument list: the window opens (and
// is still open a second later), a command runs, or a usage error ends it.
// Without a display, Qt's -platform option is what lets a window open.
void TestCommandLine::argumentLists_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("outcome"); // "window", "command", "help", "usage" or "unwritten"

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
    row("-h", {"-h"}, "help");
    row("/? after a Qt option", offscreen + QStringList{"/?"}, "help");
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
    QCOMPARE(printed.contains("Usage:"), outcome == "help");
    QCOMPARE(printed.contains("written to standard output"), outcome == "unwritten");
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
    row("show as JSON", "[Velmora]\nHome=1\nHide%20built-in%20tabs=\xe2\x80\xae\n", "--show --json",
        0,
        "\"key\": \"Home\",|\"state\": \"ticked\",|\"stored\": \"1\"|\"stored\": null|\"\\u202E\"",
        "as before");
    row("show, cleared by the rules", "[Velmora]\nHome=1\n", "--show", 0,
        "\"Left\"                (not stored)  cleared, by the rules\n", "as before");
    row("show, a bad value", "[Velmora]\nHome=abc\n", "--show", 1, "Type mismatch|\"abc\"",
        "as before");
    const QByteArray cut = QByteArray(60, 'x') + "…\" (cut; 100000 characters in all)";
    row("show, a long bad value cut", "[Velmora]\nHome=" + QByteArray(100000, 'x') + '\n', "--show",
        1, "is \"" + cut + ", which is not a number", "as before");
    row("show, a long value cut", "[Velmora]\nHide%20built-in%20tabs=" + QByteArray(100000, 'x'),
        "--show", 0, "tabs\"  \"" + cut + " cleared\n", "as before");
    row("show, control bytes quoted visibly",
        "[Velmora]\nHome=\x1b[2J\x07\xc2\x9b\x7f\xe2\x80\xae\n", "--show", 1,
        "\"\\x1B[2J\\x07\\x9B\\x7F\\u202E\"", "as before");
    // Characters counted as code points, and none cut in two.
    const QByteArray smile = "\xf0\x9f\x98\x80", hide = "[Velmora]\nHide%20built-in%20tabs=";
    row("show, 31 characters beyond the BMP whole", hide + smile.repeated(31), "--show", 0,
        "\"" + smile.repeated(31) + "\" cleared\n", "as before");
    row("show, 70 characters beyond the BMP cut", hide + smile.repeated(70), "--show", 0,
        "\"" + smile.repeated(60) + "…\" (cut; 70 characters in all)", "as before");
    row("show, a cut after a pair", hide + QByteArray(59, 'x') + smile + smile, "--show", 0,
        "\"" + QByteArray(59, 'x') + smile + "…\" (cut; 61 characters in all)", "as before");
    row("set, short forms and any case", "", "--set \"page layout=1\" view=1 Home=1", 0,
        "Saved to: |\"Left\"                \"0\"           cleared|Changed by the rules: \"Left\" "
        "cleared (was ticked), \"Hide built-in tabs\" ticked (was cleared).",
        "Classic=1|Left=0|Home=1|Page%20Layout=1|%20View=1|Hide%20built-in%20tabs=1");
    row("set, a bad value stops start-up", "[Velmora]\nHome=abc\n", "--set Home=1", 1,
        "Type mismatch|velmora --reset", "as before");
    row("set, the last word on a key counts", "", "--set Home=0 Home=1", 0,
        "Changed as asked: \"Home\" ticked (was cleared).\n", "Home=1");
    row("set, the table is what a load gives", "[Velmora]\nPage%20Layout=1\n", "--set PageLayout=0",
        0,
        "\"Hide built-in tabs\"  \"1\"           cleared\n|Changed by the rules: \"Hide built-in "
        "tabs\" cleared (was ticked).",
        "Page%20Layout=0|Hide%20built-in%20tabs=1");
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
    row("reset over a bad value", "[Velmora]\nData=zz\n", "--reset", 0,
        "could not be loaded (Type mismatch at \"Data\"): \"Data\" from \"zz\" to \"0\".",
        "Data=0");
    row("set over a grayed Left leaves it", "[Velmora]\nLeft=2\n", "--set Left=1", 0, "grayed",
        "Left=2|All=1");
    // A lock path no lock can be taken at (a FIFO) fails the save, which writes nothing.
    for (const char *arguments : {"--set Home=0", "--reset"})
        QTest::addRow("%s, the save fails", arguments)
            << QByteArray("[Velmora]\nHome=1\n") << arguments << 1 << "Quenmark.conf.lock|FIFO"
            << "as before";
    row("help", "", "--help", 0, "Usage:|--set KEY=0|in any case|no display that answers",
        "as before");
    row("version", "", "--version", 0, "Velmora 7.0\n", "as before");
    // A usage error is one line (checked for each) that says what is wrong.
    row("unknown option", "", "--shwo", 2, "\"--shwo\" (see velmora --help)\n", "as before");
    row("set alone", "", "--set", 2, "--set needs KEY=0", "as before");
    row("json alone", "", "--json", 2, "--json goes with --show", "as before");
    row("show with a word it does not take", "", "--show --jsno", 2, "\"--jsno\"", "as before");
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
    QCOMPARE(run(dir.path(), QProcess::splitCommand(arguments), &text), status);
    for (const QString &part : printed.split('|'))
        QVERIFY2(text.contains(part), qPrintable(text + "\nlacks: " + part));
    if (status == UsageError)
        QCOMPARE(text.count('\n'), 1);
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

// Other writers of the settings file while the program saves with --set, each for
// a bounded run: our saves all stand, and nothing is lost that a writer which
// replaces the file wrote (an append can still land at the very instant of a swap).
void TestCommandLine::otherWritersDuringSaves_data()
{
    QTest::addColumn<QString>("writer");
    for (const char *writer : {"velmora --set", "QSettings", "sed -i", ">>"})
        QTest::newRow(writer) << writer;
}

void TestCommandLine::otherWritersDuringSaves()
{
    QFETCH(QString, writer);
    SKIP_ON_WINDOWS();
    QTemporaryDir dir;
    const QString file = storeFileIn(dir.path()),
                  velmora = QCoreApplication::applicationDirPath() + "/velmora";
    const QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
    const auto restore = qScopeGuard([&xdg] { qputenv("XDG_CONFIG_HOME", xdg); });
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    int lost = 0, saves = 0, written = 1, failed = 0, gaveUp = 0, outsideSaves = 0;
    if (writer == "velmora --set") { // two at once, each round
        for (; saves < 30; ++saves) {
            QVERIFY(writeFile(file, "[Velmora]\nHome=0\nInsert=0\n"));
            QProcess home, insert;
            home.start(velmora, {"--set", "Home=1"});
            insert.start(velmora, {"--set", "Insert=1"});
            QVERIFY(home.waitForFinished() && insert.waitForFinished());
            failed += home.exitCode() != 0 || insert.exitCode() != 0;
            const OptionSet::State state = loadStore(dir.path()).state;
            lost += !state[Option::Home] || !state[Option::Insert];
        }
    } else {
        QVERIFY(writeFile(file, "[Other]\nk0=1\n"));
        // When each write and each save ran: a save may lose only a write made
        // while it ran, and a writer that takes no lock may undo only a save that
        // ran while it did.
        using Span = std::pair<qint64, qint64>;
        std::vector<Span> writes, saveSpans;
        const auto during = [](const Span &a, const std::vector<Span> &spans) {
            return std::any_of(spans.begin(), spans.end(), [&a](const Span &b) {
                return a.first < b.second && b.first < a.second;
            });
        };
        QElapsedTimer clock;
        clock.start();
        std::atomic<bool> stop = false;
        std::thread other([&] { // adds k1=1, k2=1, … every few milliseconds
            for (; !stop;
                 ++written, writes.back().second = clock.nsecsElapsed(), QThread::msleep(5)) {
                writes.push_back({clock.nsecsElapsed(), 0});
                const QString line = QStringLiteral("k%1=1").arg(written);
                QFile f(file);
                if (writer == "QSettings")
                    QSettings(file, QSettings::NativeFormat)
                        .setValue("Other/" + line.chopped(2), 1);
                else if (writer == "sed -i")
                    QProcess::execute("sed", {"-i", "$a " + line, file});
                else if (f.open(QIODevice::Append))
                    f.write(line.toUtf8() + '\n');
            }
        });
        // A save may give up against a writer that changes the file again and again,
        // and then says so; any other failure, or a save that said so falsely, counts.
        QString lastSaved = "1";
        for (const qint64 start = clock.elapsed(); saves < 100 && clock.elapsed() < start + 1500;
             ++saves) {
            QProcess save; // quietly: what it prints is checked elsewhere
            const QString home = QString::number(saves % 2);
            saveSpans.push_back({clock.nsecsElapsed(), 0});
            save.start(velmora, {"--set", "Home=" + home});
            const bool saved = save.waitForFinished() && save.exitCode() == 0;
            saveSpans.back().second = clock.nsecsElapsed();
            const QByteArray why = save.readAllStandardError();
            const bool said = why.contains("changed by another program") ||
                              why.contains("held open for writing by another program");
            gaveUp += !saved && said;
            failed += !saved && !said;
            if (saved)
                lastSaved = home;
            else
                saveSpans.pop_back();
        }
        stop = true;
        other.join();
        const QByteArray content = readAll(file);
        for (int n = 1; n < written; ++n) {
            const bool gone = !content.contains(QStringLiteral("\nk%1=1\n").arg(n).toUtf8());
            lost += gone;
            outsideSaves += gone && !during(writes[n - 1], saveSpans);
        }
        const QString home =
            SettingsStore(dir.path()).GetSetting("Quenmark", "Velmora", "Home", -1).text;
        QVERIFY2(home == lastSaved ||
                     (writer == "sed -i" && !saveSpans.empty() && during(saveSpans.back(), writes)),
                 "only a writer without the lock that ran during the last save may undo it");
        QVERIFY2(gaveUp < saves / 2, "most saves stand");
    }
    qInfo("%s: %d saves, %d writes of the other writer, %d lost, %d saves gave up, %d failed",
          qPrintable(writer), saves, writer == "velmora --set" ? saves : written - 1, lost, gaveUp,
          failed);
    QCOMPARE(failed, 0);
    QCOMPARE(outsideSaves, 0);
    if (writer == "QSettings" || writer == "velmora --set") // writers that take the lock
        QCOMPARE(lost, 0);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
