// The settings file as a shared file: a save changes the lines of our twelve
// keys and nothing else, keeps the file's metadata, and hostile things on disk
// get a message instead of a hang, a lie or a write through a link.

#include "option_set.h"
#include "option_states.h"
#include "option_storage.h"
#include "settings_store.h"
#include "test_files.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <grp.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace
{

const QString kVelmora = QStringLiteral("Velmora");

std::optional<StoreError> load(OptionSet &options, SettingsStore &store)
{
    if (auto error = LoadMenuOptions(options, store))
        return error;
    return LoadTabOptions(options, store);
}

// A random settings file made of the constructs people and other tools put
// there, each line labelled with whether QSettings reads it as one of our keys.
struct Generated {
    QByteArray content;
    QList<QByteArray> otherLines; // in order, without line ends
    bool hasOurGroup = false;
    QByteArray eol;
    bool bom = false;
};

Generated generate(QRandomGenerator &random)
{
    static const QList<QByteArray> others{"; kept by another tool",
                                          "# a hash comment",
                                          "",
                                          "Semi=a;b",
                                          "Path=C:\\data\\new",
                                          "List=a,b,c",
                                          "My Key=x y",
                                          "Quote=\"a;b\"",
                                          "At=@ByteArray(z)",
                                          "Latin=caf\xe9",
                                          "Dup=1",
                                          "Dup=2",
                                          "bareword",
                                          "Extra = kept",
                                          "View=1",
                                          "Classic\\Sub=1"};
    static const QList<QByteArray> headers{"[Velmora]",    "[ Velmora ]", "[Other]",
                                           "[Other Tool]", "[General]",   "[velmora]"};
    Generated g;
    g.eol = random.bounded(3) == 0 ? "\r\n" : "\n";
    g.bom = random.bounded(4) == 0;
    QByteArray section; // "" before the first header and in [General]
    QList<QByteArray> lines;
    const int count = random.bounded(16);
    for (int n = 0; n < count; ++n) {
        const int what = random.bounded(10);
        if (what < 2) {
            const QByteArray header = headers[random.bounded(headers.size())];
            section = header.mid(1, header.size() - 2).trimmed();
            if (section == "General")
                section.clear();
            g.hasOurGroup |= section == "Velmora";
            lines << header;
            g.otherLines << header;
        } else if (what < 6) {
            const int k = random.bounded(OptionCount);
            const QString key = QString::fromLatin1(kOptionTable[k].key);
            QByteArray spelling = key.toUtf8();
            spelling.replace(' ', "%20");
            if (!key.startsWith(' ') && key.contains(' ') && random.bounded(2))
                spelling = key.toUtf8(); // hand-written with its blanks
            static const QList<QByteArray> forms{"=", " = ", " =", "= "};
            static const QList<QByteArray> values{"0", "1", "2", "1 ; note", "abc"};
            QByteArray line = spelling + forms[random.bounded(forms.size())] +
                              values[random.bounded(values.size())];
            // In the general group QSettings lists this as Velmora/<key>, but its
            // lookup of Velmora/<key> never reads it.
            if (section.isEmpty() && random.bounded(2))
                line = "Velmora\\" + line;
            if (random.bounded(3) == 0)
                line.prepend("  ");
            lines << line;
            if (section != "Velmora")
                g.otherLines << line;
        } else {
            const QByteArray line = others[random.bounded(others.size())];
            lines << line;
            g.otherLines << line;
        }
    }
    g.content = g.bom ? QByteArray("\xef\xbb\xbf") : QByteArray();
    for (int i = 0; i < lines.size(); ++i) {
        g.content += lines[i];
        if (i + 1 < lines.size() || lines[i].isEmpty() || random.bounded(5) != 0)
            g.content += g.eol;
    }
    return g;
}

// The lines of a saved file that are not ours, by the same simple section
// model the generator uses; a [Velmora] group appended by the save (and the
// blank line before it) is ours too.
QList<QByteArray> otherLinesOf(QByteArray content, bool hadOurGroup)
{
    if (content.startsWith("\xef\xbb\xbf"))
        content.remove(0, 3);
    static const QRegularExpression ourLine(
        QStringLiteral("^\\s*(%1)\\s*=\\s*[012]\\s*(;.*)?$").arg([] {
            QStringList spellings;
            for (const OptionInfo &o : kOptionTable) {
                const QString key = QString::fromLatin1(o.key);
                spellings << QRegularExpression::escape(QString(key).replace(' ', "%20"));
                if (!key.startsWith(' '))
                    spellings << QRegularExpression::escape(key);
            }
            return spellings.join('|');
        }()));
    QList<QByteArray> lines = content.split('\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    QList<QByteArray> result;
    QByteArray section;
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith('[')) {
            section = line.mid(1, line.size() - 2).trimmed();
            if (section == "General")
                section.clear();
        }
        if (section == "Velmora" && ourLine.match(QString::fromLatin1(line)).hasMatch())
            continue;
        result << line;
    }
    if (!hadOurGroup && result.size() >= 1 && result.last() == "[Velmora]") {
        result.removeLast();
        if (!result.isEmpty() && result.last().isEmpty())
            result.removeLast();
    }
    return result;
}

QMap<QString, QVariant> otherKeys(const QString &file)
{
    QSettings settings(file, QSettings::NativeFormat);
    QMap<QString, QVariant> keys;
    for (const QString &key : settings.allKeys()) {
        if (!(key.startsWith(kVelmora + '/') &&
              std::any_of(kOptionTable.begin(), kOptionTable.end(), [&](const OptionInfo &o) {
                  return key == kVelmora + '/' + QString::fromLatin1(o.key);
              })))
            keys.insert(key, settings.value(key));
    }
    return keys;
}

// Runs `what` as an ordinary user when we are root, who may read and write
// anything: permissions mean nothing to root.
QString asOrdinaryUser(const std::function<QString()> &what, const QString &config)
{
    if (geteuid() != 0)
        return what();
    const QByteArray folder = QFile::encodeName(config);
    if (::chown(folder, 65534, 65534) != 0 ||
        ::chown(folder + "/Quenmark.conf", 65534, 65534) != 0 ||
        ::chmod(QFile::encodeName(QFileInfo(config).path()), 0755) != 0)
        return QStringLiteral("cannot hand the folder to nobody");
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return QStringLiteral("no pipe");
    const pid_t child = fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(3);
        const QByteArray text = what().toUtf8();
        _exit(::write(pipeEnds[1], text.constData(), size_t(text.size())) == text.size() ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    QByteArray text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, n);
    ::close(pipeEnds[0]);
    int status = -1;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? QString::fromUtf8(text)
                                                         : QStringLiteral("child failed");
}

} // namespace

class TestFileStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void saveChangesOurLinesOnly();
    void hostileStores_data();
    void hostileStores();
    void oneReplacementKeepsModeOwnerAndGroup();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_home, m_xdg;
};

void TestFileStore::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_home = qgetenv("HOME");
    m_xdg = qgetenv("XDG_CONFIG_HOME");
}

void TestFileStore::cleanup()
{
    qputenv("HOME", m_home);
    qputenv("XDG_CONFIG_HOME", m_xdg);
}

void TestFileStore::saveChangesOurLinesOnly()
{
    const quint32 seed = 20261207;
    QRandomGenerator random(seed);
    const auto states = reachableStates();
    for (int round = 0; round < 300; ++round) {
        const Generated g = generate(random);
        const QString folder = m_dir->filePath(QString::number(round));
        QVERIFY(QDir().mkpath(folder));
        const QString file = folder + "/Quenmark.conf";
        const QString before = folder + "/before.conf";
        QVERIFY(writeFile(file, g.content));
        QVERIFY(writeFile(before, g.content));
        const OptionSet::State state = states[random.bounded(int(states.size()))];

        SettingsStore store(folder);
        const auto error = SaveOptions(OptionSet(state), store);
        const QByteArray after = readAll(file);
        const QString context =
            QStringLiteral("round %1 of seed %2, file:\n%3\nsaved as:\n%4")
                .arg(round)
                .arg(seed)
                .arg(QString::fromLatin1(g.content), QString::fromLatin1(after));
        QVERIFY2(!error, qPrintable((error ? error->message() : QString()) + "\n" + context));

        // 1. QSettings reads our twelve new values.
        QSettings saved(file, QSettings::NativeFormat);
        for (int i = 0; i < OptionCount; ++i) {
            const QVariant v =
                saved.value(kVelmora + '/' + QString::fromLatin1(kOptionTable[i].key));
            QVERIFY2(v.toString() == QString::number(state[i]), qPrintable(context));
        }
        // 2. Every other key reads as it did.
        QVERIFY2(otherKeys(file) == otherKeys(before), qPrintable(context));
        // 3. Every byte outside our lines is as it was: the other lines, their
        // order, the BOM and the line ends.
        QVERIFY2(otherLinesOf(after, g.hasOurGroup) == g.otherLines,
                 qPrintable(context + "\nother lines: " +
                            QString::fromLatin1(g.otherLines.join("|")) + "\nfound: " +
                            QString::fromLatin1(otherLinesOf(after, g.hasOurGroup).join("|"))));
        QCOMPARE(after.startsWith("\xef\xbb\xbf"), g.bom);
        if (g.content.contains("\r\n"))
            QVERIFY2(after.count("\n") == after.count("\r\n"), qPrintable(context));
        else
            QVERIFY2(!after.contains('\r'), qPrintable(context));
    }
}

void TestFileStore::hostileStores_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("failsAt"); // "start-up" or "save"
    QTest::addColumn<QString>("named");   // what the message must name (relative to the temp dir)

    QTest::newRow("FIFO") << "fifo"
                          << "start-up"
                          << "config/Quenmark.conf";
    QTest::newRow("link to a device") << "device link"
                                      << "start-up"
                                      << "/dev/null";
    QTest::newRow("XDG_CONFIG_HOME is a file") << "xdg file"
                                               << "start-up"
                                               << "config/Quenmark.conf";
    QTest::newRow("link loop") << "link loop"
                               << "start-up"
                               << "config/Quenmark.conf";
    QTest::newRow("unsearchable folder") << "mode 0000"
                                         << "start-up"
                                         << "config/Quenmark.conf";
    QTest::newRow("no HOME, relative XDG_CONFIG_HOME") << "no home"
                                                       << "start-up"
                                                       << "XDG_CONFIG_HOME";
    QTest::newRow("read-only file") << "read-only file"
                                    << "save"
                                    << "config/Quenmark.conf";
    QTest::newRow("lock is a folder") << "lock folder"
                                      << "save"
                                      << "config/Quenmark.conf.lock";
    QTest::newRow("lock is a dangling link") << "lock link"
                                             << "save"
                                             << "config/Quenmark.conf.lock";
    QTest::newRow("relative XDG_CONFIG_HOME is ignored") << "relative xdg"
                                                         << ""
                                                         << "home/.config/Quenmark.conf";
}

void TestFileStore::hostileStores()
{
    QFETCH(QString, setup);
    QFETCH(QString, failsAt);
    QFETCH(QString, named);
    const QString config = m_dir->filePath("config");
    const QString file = config + "/Quenmark.conf";
    QVERIFY(QDir().mkpath(config));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
    const QByteArray content = "# mine\n[Velmora]\nHome=1\n";
    QVERIFY(writeFile(file, content));

    const auto run = [](const QString &program, const QStringList &args) {
        return QProcess::execute(program, args) == 0;
    };
    if (setup == "fifo") {
        QVERIFY(QFile::remove(file));
        QVERIFY(run("mkfifo", {file}));
    } else if (setup == "device link") {
        QVERIFY(QFile::remove(file));
        QVERIFY(QFile::link("/dev/null", file));
    } else if (setup == "xdg file") {
        QVERIFY(QDir(config).removeRecursively());
        QVERIFY(writeFile(config, "a file"));
    } else if (setup == "link loop") {
        QVERIFY(QFile::remove(file));
        QVERIFY(QFile::link(file, file));
    } else if (setup == "mode 0000") {
        QVERIFY(::chmod(QFile::encodeName(config), 0) == 0);
    } else if (setup == "read-only file") {
        QVERIFY(::chmod(QFile::encodeName(file), 0444) == 0);
    } else if (setup == "no home") {
        qunsetenv("HOME");
        qputenv("XDG_CONFIG_HOME", "config");
    } else if (setup == "lock folder") {
        QVERIFY(QDir().mkpath(file + ".lock"));
    } else if (setup == "lock link") {
        QVERIFY(QFile::link(m_dir->filePath("nowhere"), file + ".lock"));
    } else if (setup == "relative xdg") {
        QVERIFY(QDir().mkpath(m_dir->filePath("home/.config")));
        qputenv("HOME", QFile::encodeName(m_dir->filePath("home")));
        qputenv("XDG_CONFIG_HOME", "config");
    }
    const QString mustName =
        named.startsWith('/') || named == "XDG_CONFIG_HOME" ? named : m_dir->filePath(named);

    // What the store makes of it: where it failed and the message, or "saved".
    const auto outcome = [] {
        SettingsStore store;
        OptionSet options;
        if (const auto error = load(options, store))
            return QStringLiteral("start-up: ") + error->message();
        if (const auto error = SaveOptions(options, store))
            return QStringLiteral("save: ") + error->message();
        return QStringLiteral("saved");
    };
    QElapsedTimer clock;
    clock.start();
    const bool ordinaryUser = setup == "mode 0000" || setup == "read-only file";
    const QString result = ordinaryUser ? asOrdinaryUser(outcome, config) : outcome();
    ::chmod(QFile::encodeName(config), 0755);
    QVERIFY2(clock.elapsed() < 10000, "a lock must not be waited for long");
    QVERIFY2(result.startsWith(failsAt.isEmpty() ? "saved" : failsAt + ": "), qPrintable(result));
    QVERIFY2(result.contains(mustName) || failsAt.isEmpty(), qPrintable(result));
    if (failsAt == "save" || failsAt.isEmpty())
        QCOMPARE(readAll(file), content); // the relative folder's file is not ours either
    if (failsAt.isEmpty())
        QVERIFY(QFile::exists(mustName));
}

void TestFileStore::oneReplacementKeepsModeOwnerAndGroup()
{
    const QString file = m_dir->filePath("Quenmark.conf");
    QVERIFY(writeFile(file, "[Other]\nx=1\n"));
    // A group the process may give the file: any other than the current one.
    gid_t groups[64];
    const int count = getgroups(64, groups);
    gid_t group = getegid();
    for (int i = 0; i < count; ++i)
        group = groups[i] != getegid() ? groups[i] : group;
    const bool root = geteuid() == 0;
    if (root)
        group = 65534;
    const uid_t owner = root ? 65534 : geteuid();
    QVERIFY(::chown(QFile::encodeName(file), owner, group) == 0);
    QVERIFY(::chmod(QFile::encodeName(file), 0640) == 0);
    // A link to it stays a link.
    const QString link = m_dir->filePath("config/Quenmark.conf");
    QVERIFY(QDir().mkpath(m_dir->filePath("config")));
    QVERIFY(QFile::link(file, link));

    // Every file renamed into the folder is one replacement; a save makes one. The
    // creations are watched too, since inotify merges identical events in a row.
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(watch >= 0);
    auto closeWatch = qScopeGuard([watch] { ::close(watch); });
    QVERIFY(inotify_add_watch(watch, QFile::encodeName(m_dir->path()), IN_MOVED_TO | IN_CREATE) >=
            0);

    SettingsStore store(m_dir->filePath("config"));
    QVERIFY(!SaveOptions(OptionSet(stateOf("0 3")), store));
    int replacements = 0;
    alignas(inotify_event) char events[4096];
    for (ssize_t n; (n = ::read(watch, events, sizeof events)) > 0;)
        for (char *e = events; e < events + n;
             e += sizeof(inotify_event) + reinterpret_cast<inotify_event *>(e)->len)
            replacements +=
                reinterpret_cast<inotify_event *>(e)->mask & IN_MOVED_TO &&
                QByteArray(reinterpret_cast<inotify_event *>(e)->name) == "Quenmark.conf";
    QCOMPARE(replacements, 1);
    struct stat st;
    QVERIFY(::stat(QFile::encodeName(file), &st) == 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0640));
    QCOMPARE(st.st_gid, group);
    QCOMPARE(st.st_uid, owner);
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(readAll(file).startsWith("[Other]\nx=1\n\n[Velmora]\nClassic=1\n"));
}

QTEST_GUILESS_MAIN(TestFileStore)
#include "tst_file_store.moc"
