// The settings file as a shared file: a save changes the lines of our twelve
// keys and nothing else, keeps the file's metadata, and hostile things on disk
// get a message instead of a hang, a lie or a write through a link.

#include "option_states.h"
#include "settings_file_edit.h"
#include "store_examples.h"
#include "test_files.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLockFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace
{

const QString kVelmora = QStringLiteral("Velmora");

// Lines that join the next ones to them, which the editor may refuse to touch.
const QList<QByteArray> kJoining{"Cont=a\\", "Open=\"a", "Shut=b\"", "bad\"quote=1"};

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
    // Split at '|', which none of them holds.
    static const QList<QByteArray> others =
        QByteArray(
            "; kept by another tool|# a hash comment||Semi=a;b|Path=C:\\data\\new|List=a,b,c|"
            "My Key=x y|Quote=\"a;b\"|At=@ByteArray(z)|Latin=caf\xe9|Dup=1|Dup=2|bareword|"
            "Extra = kept|View=1|Classic\\Sub=1")
            .split('|');
    static const QList<QByteArray> headers{"[Velmora]",        "[ Velmora ]", "[Other]",
                                           "[Other Tool]",     "[General]",   "[velmora]",
                                           "[Velmora\\Backup]"};
    Generated g;
    g.eol = QList<QByteArray>{"\n", "\r\n", "\r"}[random.bounded(3)];
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
            const QByteArray line = what == 9 && random.bounded(3) == 0
                                        ? kJoining[random.bounded(kJoining.size())]
                                        : others[random.bounded(others.size())];
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
QList<QByteArray> otherLinesOf(QByteArray content, const QByteArray &eol, bool hadOurGroup)
{
    if (content.startsWith("\xef\xbb\xbf"))
        content.remove(0, 3);
    content.replace(eol, "\n");
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

// Every key of a file as QSettings reads it (all groups parsed), ours and others.
std::pair<QMap<QString, QVariant>, QMap<QString, QVariant>> keysOf(const QString &file)
{
    QSettings settings(file, QSettings::NativeFormat);
    QMap<QString, QVariant> ours, others;
    for (const QString &key : settings.allKeys()) {
        const bool isOurs =
            std::any_of(kOptionTable.begin(), kOptionTable.end(), [&](const OptionInfo &o) {
                return key == kVelmora + '/' + QString::fromLatin1(o.key);
            });
        (isOurs ? ours : others).insert(key, settings.value(key));
    }
    return {ours, others};
}

// Runs `what` in a child process: as an ordinary user when we are root, who may
// read and write anything (permissions mean nothing to root), or with `spare`
// descriptors left to open.
QString inChild(const std::function<QString()> &what, const QString &config, int spare = -1)
{
    if (geteuid() != 0 && spare < 0)
        return what();
    const QByteArray folder = QFile::encodeName(config);
    if (spare < 0 && (::chown(folder, 65534, 65534) != 0 ||
                      ::chown(folder + "/Quenmark.conf", 65534, 65534) != 0 ||
                      ::chmod(QFile::encodeName(QFileInfo(config).path()), 0755) != 0))
        return QStringLiteral("cannot hand the folder to nobody");
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return QStringLiteral("no pipe");
    const pid_t child = fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        const int lowestFree = ::dup(0);
        const rlimit few{rlim_t(lowestFree + spare), rlim_t(lowestFree + spare)};
        if (spare < 0 ? setgid(65534) != 0 || setuid(65534) != 0
                      : ::close(lowestFree) != 0 || ::setrlimit(RLIMIT_NOFILE, &few) != 0)
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

bool setAttributes(const QString &path, int flags)
{
    const int fd = ::open(QFile::encodeName(path), O_RDONLY | O_CLOEXEC);
    const bool set = fd >= 0 && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return set;
}

bool backdate(const QString &path, time_t seconds)
{
    const timespec then[2] = {{time(nullptr) - seconds, 0}, {time(nullptr) - seconds, 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path), then, 0) == 0;
}

} // namespace

class TestFileStore : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_home, m_xdg;

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_home = qgetenv("HOME");
        m_xdg = qgetenv("XDG_CONFIG_HOME");
    }

    void cleanup()
    {
        // Names that are not UTF-8 are beyond QDir, and so beyond QTemporaryDir.
        QProcess::execute("rm", {"-rf", "--", m_dir->path()});
        qputenv("HOME", m_home);
        qputenv("XDG_CONFIG_HOME", m_xdg);
    }

    void saveChangesOurLinesOnly()
    {
        const quint32 seed = 20261207;
        QRandomGenerator random(seed);
        const auto states = reachableStates();
        constexpr int kRounds = 300;
        int refused = 0;
        for (int round = 0; round < kRounds; ++round) {
            const Generated g = generate(random);
            // Edited in memory as a save edits, and every 30th round through the disk, in
            // a folder of its own. A file each: QSettings trusts what it read of a path.
            const bool onDisk = round % 30 == 0;
            const QString folder = m_dir->filePath(QString::number(round));
            QVERIFY(!onDisk || QDir().mkpath(folder));
            const QString file = onDisk ? storeFileIn(folder) : folder + ".conf";
            const QString before = folder + ".before";
            QVERIFY(writeFile(file, g.content));
            QVERIFY(writeFile(before, g.content));
            const OptionSet::State state = states[random.bounded(int(states.size()))];

            SettingsStore store(folder);
            std::optional<QString> error;
            if (onDisk) {
                if (const auto failure = SaveOptions(OptionSet(state), store))
                    error = failure->message();
            } else {
                const auto edit =
                    EditSettingsFile(g.content, OptionTexts(OptionSet(state)), storeFileIn(folder));
                error = edit.refusal;
                QVERIFY(error || writeFile(file, edit.content));
            }
            const QByteArray after = readAll(file);
            const QString context =
                QStringLiteral("round %1 of seed %2, file:\n%3\nsaved as:\n%4")
                    .arg(round)
                    .arg(seed)
                    .arg(QString::fromLatin1(g.content), QString::fromLatin1(after));
            if (error) {
                // 0. A refusal writes nothing and names the line that joins others to it.
                ++refused;
                static const QRegularExpression blamed(QStringLiteral("line (\\d+) \\("));
                const auto match = blamed.match(*error);
                QVERIFY2(match.hasMatch() && error->contains(storeFileIn(folder)),
                         qPrintable(*error + "\n" + context));
                QByteArray original = g.content;
                const QList<QByteArray> lines =
                    original.remove(0, g.bom ? 3 : 0).replace(g.eol, "\n").split('\n');
                const QByteArray line = lines.value(match.captured(1).toInt() - 1);
                QVERIFY2(kJoining.contains(line.trimmed()), qPrintable(*error + "\n" + context));
                QCOMPARE(after, g.content);
                continue;
            }

            // 1. QSettings reads our twelve new values, and 2. every other key as it did.
            const auto [ours, others] = keysOf(file);
            for (int i = 0; i < OptionCount; ++i) {
                const QVariant v =
                    ours.value(kVelmora + '/' + QString::fromLatin1(kOptionTable[i].key));
                QVERIFY2(v.toString() == QString::number(state[i]), qPrintable(context));
            }
            QVERIFY2(others == keysOf(before).second, qPrintable(context));
            // 3. Every byte outside our lines is as it was: the other lines, their
            // order, the BOM and the line ends.
            const QList<QByteArray> found = otherLinesOf(after, g.eol, g.hasOurGroup);
            QVERIFY2(found == g.otherLines,
                     qPrintable(context +
                                QString::fromLatin1("\nother lines: " + g.otherLines.join('|') +
                                                    "\nfound: " + found.join('|'))));
            QCOMPARE(after.startsWith("\xef\xbb\xbf"), g.bom);
            const QByteArray ends = QByteArray(after).replace(g.eol, "");
            QVERIFY2(!g.content.contains(g.eol) || (!ends.contains('\r') && !ends.contains('\n')),
                     qPrintable(context));
        }
        qInfo("%d of %d generated files refused, each naming the line to mend", refused, kRounds);
    }

    void hostileStores_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QByteArray>("content"); // of config/Quenmark.conf; empty: the usual one
        QTest::addColumn<QString>("outcome");    // "start-up", "save", or "saved" and the state
        // What the message must name, '|' between parts (paths relative to the temp dir);
        // for a save, the file that holds it.
        QTest::addColumn<QString>("named");

        const auto row = [](const char *name, const char *setup, const QByteArray &content,
                            const char *outcome, const char *named) {
            QTest::newRow(name) << setup << content << outcome << named;
        };
        row("FIFO", "fifo", {}, "start-up", "config/Quenmark.conf");
        row("link to a device", "device link", {}, "start-up", "/dev/null");
        row("XDG_CONFIG_HOME is a file", "xdg file", {}, "start-up", "config/Quenmark.conf");
        row("link loop", "link loop", {}, "start-up", "config/Quenmark.conf");
        row("unsearchable folder", "mode 0000", {}, "start-up", "config/Quenmark.conf");
        row("no HOME, relative XDG_CONFIG_HOME", "no home", {}, "start-up", "XDG_CONFIG_HOME");
        row("relative HOME is ignored", "relative home", {}, "start-up", "HOME");
        row("read-only file", "read-only file", {}, "save", "config/Quenmark.conf");
        row("lock is a folder", "lock folder", {}, "save", "config/Quenmark.conf.lock|a folder");
        row("lock is a dangling link", "lock link", {}, "save",
            "config/Quenmark.conf.lock|a symbolic link");
        row("lock is a FIFO", "lock fifo", {}, "save", "config/Quenmark.conf.lock|a FIFO");
        row("lock held throughout", "lock held", {}, "save",
            "another program holds the lock file|config/Quenmark.conf.lock");
        row("no lock can be made", "folder read-only", {}, "save",
            "the lock file|config/Quenmark.conf.lock|cannot be made: Permission denied");
        row("an empty lock another tool holds", "lock flocked", {}, "save",
            "another program holds the lock file|config/Quenmark.conf.lock");
        row("a lock of 1 GiB nobody holds", "huge lock", {}, "saved 0 2 3", "config/Quenmark.conf");
        row("read-only file, whoever saves", "read-only file as is", {}, "save",
            "config/Quenmark.conf is read-only");
        row("root, and another user's link further on", "root: link of nobody", {}, "start-up",
            "config/Quenmark.mid|belongs to nobody");
        row("root, and another user's folder", "root: folder of nobody", {}, "save",
            "config|belongs to nobody|sudo -u nobody");
        row("root, and a folder to make in another user's", "root: no folder in nobody's", {},
            "save", "belongs to nobody");
        row("root, and an append-only folder behind a link", "root: append-only", {}, "save",
            "config is append-only");
        row("a link to a kernel file", "kernel link", {}, "start-up",
            "/proc/version|of the kernel");
        row("two links to a file not made yet", "two links", {}, "saved 0 1 2", "./b.conf");
        row("no descriptor left for the settings reader", "one descriptor", {}, "start-up",
            "the settings reader could not read|config/Quenmark.conf");
        row("lock held for 100 ms", "lock held briefly", {}, "saved 0 2 3", "config/Quenmark.conf");
        row("stale lock of a dead process", "stale lock", {}, "saved 0 2 3",
            "config/Quenmark.conf");
        row("an hour-old lock of a live process", "lock held, old", {}, "save",
            "another program holds the lock file|config/Quenmark.conf.lock");
        row("empty lock of a killed save", "empty lock", {}, "saved 0 2 3", "config/Quenmark.conf");
        row("garbled lock", "garbled lock", {}, "saved 0 2 3", "config/Quenmark.conf");
        row("XDG_CONFIG_HOME not UTF-8", "xdg odd", {}, "start-up", "not UTF-8");
        row("link to a name not UTF-8", "link odd", {}, "start-up", "not UTF-8");
        row("no store yet, in a folder not UTF-8", "folder odd", {}, "start-up", "not UTF-8");
        row("larger than any settings file", "huge", {}, "start-up", "larger than 512 KiB");
        row("relative XDG_CONFIG_HOME is ignored", "relative xdg", {}, "saved 0 1 2",
            "home/.config/Quenmark.conf");
        row("linked folder, relative link", "dotfiles", {}, "saved 0 2 3",
            "dotfiles/Quenmark.real");
        // Hand-edited files.
        row("a sub-group before ours", "", "[Velmora\\Backup]\nHome=0\n[Velmora]\nHome=1\n",
            "saved 0 2 3", "config/Quenmark.conf");
        row("an open quote hides our group", "", "[Other]\nbad\"quote=1\n[Velmora]\nHome=1\n",
            "start-up", "config/Quenmark.conf|line 2 (bad\"quote=1)|line 4 (Home=1)");
        row("a backslash ends our group", "", "[Velmora]\nHome=1\nNote=a\\\n", "save",
            "config/Quenmark.conf|line 3 (Note=a\\)");
        row("an open quote ends our group", "", "[Velmora]\nHome=1\nNote=\"a\n[Other]\n", "save",
            "config/Quenmark.conf|line 3 (Note=\"a)");
        row("our value runs on", "", "[Velmora]\nHome=1\nHide%20built-in%20tabs=0\\\nkept\n",
            "save", "config/Quenmark.conf|line 3 (Hide%20built-in%20tabs=0\\)");
        row("a backslash and LF-CR", "", "[Velmora]\nNote=a\\\n\rHome=1\n", "start-up",
            "config/Quenmark.conf|line 2 (Note=a\\)|line 3 (Home=1)");
        // Values that are not plain texts, and keys that fold onto ours, are no reason to refuse.
        row("quoted and typed values of ours", "",
            "[Velmora]\nClassic=\"0\"\nLeft=0\nAll=0\nHome=@String(1)\n", "saved 0 3",
            "config/Quenmark.conf");
        row("a NaN of older Qt", "",
            "[Other]\nd=@Variant(\\0\\0\\0\\x6\\x7f\\xf8\\0\\0\\0\\0\\0\\0)\n"
            "e=\\x40Variant(\\0\\0\\0\\x6\\x7f\\xf8\\0\\0\\0\\0\\0\\0)\n[Velmora]\nHome=1\n",
            "saved 0 2 3", "config/Quenmark.conf");
        row("a picture", "",
            "[Other]\np=@Variant(\\0\\0\\0\\x41\\0\\0\\0\\x1\\x89PNG)\n=v\n"
            "q=\\x40Variant(\\0\\0\\0\\x41\\0\\0\\0\\x1\\x89PNG)\n[Velmora]\nHome=1\n",
            "saved 0 2 3", "config/Quenmark.conf");
        row("UTF-16", "", QByteArray("\xff\xfe[\0V\0]\0\n\0", 10), "start-up",
            "config/Quenmark.conf|not UTF-8 text|byte-order mark");
        row("NUL bytes", "", QByteArray("[Velmora]\nHome=1\n\0", 18), "start-up",
            "config/Quenmark.conf|NUL bytes");
        row("too large once our keys are added", "",
            "[Velmora]\nHome=1\n[Other]\nk=" + QByteArray((512 << 10) - 40, 'x') + "\n", "save",
            "config/Quenmark.conf would grow past 512 KiB");
        row("keys that fold onto ours", "", "[Velmora]\n\\Home=7\nHome=1\n[Velmora\\]\nLeft=7\n",
            "saved 0 2 3", "config/Quenmark.conf");
    }

    void hostileStores()
    {
        QFETCH(QString, setup);
        QFETCH(QByteArray, content);
        QFETCH(QString, outcome);
        QFETCH(QString, named);
        const QString config = m_dir->filePath("config");
        const QString file = config + "/Quenmark.conf";
        QVERIFY(QDir().mkpath(config));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(config));
        if (content.isEmpty())
            content = "# mine\n[Velmora]\nHome=1\n";
        QVERIFY(writeFile(file, content));

        const auto makeFifo = [](const QString &path) {
            return ::mkfifo(QFile::encodeName(path), 0600) == 0;
        };
        const QString lock = file + ".lock";
        pid_t holder = -1; // a process that takes the lock, for as long as the row says
        int heldLock = -1; // a lock file open in this process, flock held or not
        const auto closeLock = qScopeGuard([&heldLock] { ::close(heldLock); });
        if (setup == "fifo" || setup == "device link" || setup == "link loop")
            QVERIFY(QFile::remove(file));
        if (setup == "fifo") {
            QVERIFY(makeFifo(file));
        } else if (setup == "device link") {
            QVERIFY(QFile::link("/dev/null", file));
        } else if (setup == "link loop") {
            QVERIFY(QFile::link(file, file));
        } else if (setup == "xdg file") {
            QVERIFY(QDir(config).removeRecursively());
            QVERIFY(writeFile(config, "a file"));
        } else if (setup == "mode 0000") {
            QVERIFY(::chmod(QFile::encodeName(config), 0) == 0);
        } else if (setup == "read-only file") {
            QVERIFY(::chmod(QFile::encodeName(file), 0444) == 0);
        } else if (setup == "folder read-only") {
            QVERIFY(::chmod(QFile::encodeName(config), 0555) == 0);
        } else if (setup == "no home" || setup == "relative home") {
            qunsetenv(setup == "no home" ? "HOME" : "XDG_CONFIG_HOME");
            qputenv(setup == "no home" ? "XDG_CONFIG_HOME" : "HOME", "config");
        } else if (setup == "lock folder") {
            QVERIFY(QDir().mkpath(lock));
        } else if (setup == "lock link") {
            QVERIFY(QFile::link(m_dir->filePath("nowhere"), lock));
        } else if (setup == "lock fifo") {
            QVERIFY(makeFifo(lock));
        } else if (setup.endsWith("d lock") || setup == "empty lock") {
            QVERIFY(writeFile(lock, QByteArray(setup == "empty lock" ? 0 : 80, '\0')) &&
                    backdate(lock, 10));
        } else if (setup == "huge") {
            QVERIFY(QFile::resize(file, (512 << 10) + 1));
        } else if (setup.endsWith("odd")) { // the real store behind a name that is not UTF-8
            const bool xdg = setup == "xdg odd", folder = setup == "folder odd";
            const QByteArray odd =
                QFile::encodeName(config) + (xdg || folder ? "\xff" : "/real\xff");
            QVERIFY(::rename(QFile::encodeName(xdg || folder ? config : file), odd) == 0);
            if (folder) // config is a link to it, with no store there yet
                QVERIFY(::unlink(odd + "/Quenmark.conf") == 0 &&
                        ::symlink(odd.constData(), QFile::encodeName(config)) == 0);
            else
                QVERIFY(xdg ? qputenv("XDG_CONFIG_HOME", odd)
                            : ::symlink(odd.constData(), QFile::encodeName(file)) == 0);
        } else if (setup.startsWith("root: ") && geteuid() != 0) {
            QSKIP("only root may be kept from other users' files");
        } else if (setup == "lock flocked" || setup == "huge lock") {
            QVERIFY(writeFile(lock, {}) &&
                    QFile::resize(lock, setup == "huge lock" ? 1 << 30 : 0) && backdate(lock, 10));
            heldLock = ::open(QFile::encodeName(lock), O_RDONLY | O_CLOEXEC);
            QVERIFY(setup == "huge lock" || ::flock(heldLock, LOCK_EX) == 0);
        } else if (setup == "read-only file as is") {
            QVERIFY(::chmod(QFile::encodeName(file), 0444) == 0);
        } else if (setup == "root: link of nobody") { // ours, then one of nobody's
            const QString mid = config + "/Quenmark.mid";
            QVERIFY(QFile::rename(file, file + ".real") && QFile::link(file + ".real", mid) &&
                    ::lchown(QFile::encodeName(mid), 65534, 65534) == 0 && QFile::link(mid, file));
        } else if (setup == "root: folder of nobody" || setup == "root: no folder in nobody's") {
            if (setup.endsWith("nobody's")) // and nothing made in it
                QVERIFY((content = "<missing>", QDir(config).removeRecursively()));
            QVERIFY(::chown(QFile::encodeName(setup.endsWith("nobody's") ? m_dir->path() : config),
                            65534, 65534) == 0);
        } else if (setup == "root: append-only") {
            QVERIFY(QFile::rename(config, config + ".real") &&
                    QFile::link(config + ".real", config) && setAttributes(config, FS_APPEND_FL));
        } else if (setup == "kernel link" || setup == "two links") {
            QVERIFY(QFile::remove(file));
            QVERIFY(setup == "kernel link" ? QFile::link("/proc/version", file)
                                           : QFile::link("../a.conf", file) &&
                                                 QFile::link("b.conf", m_dir->filePath("a.conf")));
        } else if (setup.startsWith("lock held") || setup == "stale lock") {
            const int holdMs = setup == "lock held" || setup.endsWith("old") ? 5000
                               : setup == "stale lock"                       ? 0
                                                                             : 100;
            int ready[2];
            QVERIFY(::pipe(ready) == 0);
            holder = fork();
            if (holder == 0) {
                QLockFile held(lock);
                bool locked = held.lock();
                if (setup.endsWith("old")) {
                    // A live holder's lock as a tool without QLockFile's own lock on it
                    // leaves it, older than QLockFile's default limit of 30 s.
                    const QByteArray info = readAll(lock);
                    held.unlock();
                    locked = locked && writeFile(lock, info) && backdate(lock, 3600);
                }
                if (::write(ready[1], "x", 1) != 1 || !locked)
                    _exit(1);
                if (holdMs == 0)
                    _exit(0); // dies holding it
                QThread::msleep(holdMs);
                held.unlock();
                _exit(0);
            }
            char byte;
            QVERIFY(::read(ready[0], &byte, 1) == 1);
            ::close(ready[0]);
            ::close(ready[1]);
            if (holdMs == 0)
                QVERIFY(::waitpid(std::exchange(holder, -1), nullptr, 0) > 0);
        } else if (setup == "relative xdg") {
            QVERIFY(QDir().mkpath(m_dir->filePath("home/.config")));
            qputenv("HOME", QFile::encodeName(m_dir->filePath("home")));
            qputenv("XDG_CONFIG_HOME", "config");
        } else if (setup == "dotfiles") {
            // ~/.config is a link into a dotfiles folder, and the file a relative
            // link from there: "../Quenmark.real" is a sibling of that folder.
            QVERIFY(QDir().mkpath(m_dir->filePath("dotfiles/config")));
            QVERIFY(QFile::rename(file, m_dir->filePath("dotfiles/Quenmark.real")));
            QVERIFY(QDir(config).removeRecursively());
            QVERIFY(QFile::link("dotfiles/config", config));
            QVERIFY(
                QFile::link("../Quenmark.real", m_dir->filePath("dotfiles/config/Quenmark.conf")));
        }
        QStringList mustName = named.split('|');
        for (QString &part : mustName) {
            if (part.contains('/') && !part.startsWith('/') && !part.startsWith("line "))
                part = m_dir->filePath(part);
        }

        // What the store makes of it: where it failed and the message, or "saved" and the state.
        const auto attempt = [] {
            SettingsStore store;
            store.setLockWait(700); // a held lock costs less than the program's 1.5 s
            OptionSet options;
            if (const auto error = LoadOptions(options, store))
                return QStringLiteral("start-up: ") + error->message();
            if (const auto error = SaveOptions(options, store))
                return QStringLiteral("save: ") + error->message();
            return QStringLiteral("saved ") + describe(options.values());
        };
        if (setup.isEmpty()) // nothing built from the file may complain (a GUI type, an empty key)
            QTest::failOnWarning(QRegularExpression("."));
        QElapsedTimer clock;
        clock.start();
        // Permissions mean nothing to root: these rows run as an ordinary user.
        const bool ordinaryUser =
            setup == "mode 0000" || setup == "read-only file" || setup == "folder read-only";
        const QString result = ordinaryUser                ? inChild(attempt, config)
                               : setup == "one descriptor" ? inChild(attempt, config, 1)
                                                           : attempt();
        if (setup == "root: append-only") { // and nothing left behind: no lock, no new file
            QVERIFY(setAttributes(config, 0));
            QCOMPARE(QDir(config).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                     QStringList{"Quenmark.conf"});
        }
        ::chmod(QFile::encodeName(config), 0755);
        if (holder > 0) {
            ::kill(holder, SIGKILL);
            ::waitpid(holder, nullptr, 0);
        }
        QVERIFY2(clock.elapsed() < 10000, "a lock must not be waited for long");
        rusage used;
        QVERIFY2(setup != "huge lock" ||
                     (::getrusage(RUSAGE_SELF, &used) == 0 && used.ru_maxrss < 256 << 10),
                 "a lock file is not read whole");
        QVERIFY2(result.startsWith(outcome), qPrintable(result));
        if (outcome.startsWith("saved")) {
            QCOMPARE(result, outcome);
            QVERIFY2(readAll(mustName[0]).contains("Hide%20built-in%20tabs="),
                     qPrintable(mustName[0]));
            if (mustName[0] != file && !QFileInfo(file).isSymLink())
                QCOMPARE(readAll(file), content); // a file we did not read is not ours either
            QVERIFY(!QFile::exists(m_dir->filePath("Quenmark.real")));
            return;
        }
        for (const QString &part : mustName)
            QVERIFY2(result.contains(part), qPrintable(result + "\nlacks: " + part));
        if (outcome == "save")
            QCOMPARE(readAll(file), content);
        if (setup.endsWith("odd")) { // a save is refused too, and makes nothing anywhere else
            OptionSet options;
            SettingsStore store;
            QVERIFY(SaveOptions(options, store).has_value());
            for (const QString &folder : {m_dir->path(), config})
                QVERIFY(QDir(folder).entryList().filter(QChar(0xfffd)).isEmpty());
        }
    }

    // A writer without the lock appends a line right after the save's read, or right
    // after its rename: the line stays, and the save succeeds.
    void handEditDuringSave()
    {
        const QString file = storeFileIn(m_dir->path());
        for (const uint32_t after : {IN_CLOSE_NOWRITE, IN_MOVED_TO}) { // the read, the rename
            // Long enough that the save's check takes a while.
            QVERIFY(writeFile(file, "[Velmora]\nHome=1\n[Other]\n" +
                                        QByteArray("key=some value\n").repeated(3000)));
            const int watch = inotify_init1(IN_CLOEXEC); // the file's read, the folder's rename
            QVERIFY(inotify_add_watch(
                        watch, QFile::encodeName(after == IN_MOVED_TO ? m_dir->path() : file),
                        after) >= 0);
            std::thread editor([&] {
                alignas(inotify_event) char event[sizeof(inotify_event) + NAME_MAX + 1];
                (void)!::read(watch, event, sizeof event);
                QFile f(file);
                (void)(f.open(QIODevice::Append) && f.write("by hand=1\n"));
            });
            const auto error = saveStore(m_dir->path(), stateOf("0 4 11"));
            editor.join();
            ::close(watch);
            QVERIFY2(!error, error ? qPrintable(error->message()) : "");
            QVERIFY2(readAll(file).endsWith("by hand=1\n"),
                     after == IN_MOVED_TO ? "rename" : "read");
            QCOMPARE(describe(loadStore(m_dir->path()).state), QString("0 4 11"));
        }
    }

    void oneReplacementKeepsModeOwnerAndGroup()
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

        // A killed save's leftover goes at the next save once old (an hour); a young one
        // stays (five minutes, or none), and so do the user's own files of any name however
        // old, a name of ours with a longer tail, and another user's file of our pattern.
        QStringList leftovers{".Quenmark.conf.velmora-save-Ab12Cd",
                              ".Quenmark.conf.20240101",
                              ".Quenmark.conf.backup",
                              ".Quenmark.conf.bak2024",
                              ".QUENMARK.CONF.VELMORA-SAVE-Ab12Cd",
                              ".Quenmark.conf.velmora-save-backup2024",
                              ".Quenmark.conf.velmora-save-Ef34Gh",
                              ".Quenmark.conf.velmora-save-Ij56Kl"};
        if (root)
            leftovers << ".Quenmark.conf.velmora-save-Mn78Op";
        for (const QString &name : leftovers)
            QVERIFY(writeFile(m_dir->filePath(name), "x") &&
                    (name.endsWith("Gh") ||
                     backdate(m_dir->filePath(name), name.endsWith("Kl") ? 300 : 3600)) &&
                    (!name.endsWith("Op") ||
                     ::chown(QFile::encodeName(m_dir->filePath(name)), 65534, 65534) == 0));

        // What a read and a save do in the folder: a read opens the store and makes
        // nothing, not even a file without a name; a save makes one new file of ours
        // and renames it over the store once. Creations are watched too, since
        // inotify merges identical events in a row.
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(watch >= 0);
        auto closeWatch = qScopeGuard([watch] { ::close(watch); });
        QVERIFY(inotify_add_watch(watch, QFile::encodeName(m_dir->path()),
                                  IN_MOVED_TO | IN_CREATE | IN_OPEN) >= 0);
        const auto made = [watch](uint32_t mask) {
            QStringList names;
            alignas(inotify_event) char events[4096];
            for (ssize_t n; (n = ::read(watch, events, sizeof events)) > 0;)
                for (char *e = events; e < events + n;
                     e += sizeof(inotify_event) + reinterpret_cast<inotify_event *>(e)->len) {
                    if (const auto *event = reinterpret_cast<inotify_event *>(e);
                        event->mask & mask)
                        names << (event->mask & IN_MOVED_TO ? "renamed " : "") +
                                     QString::fromUtf8(event->len ? event->name : "")
                                         .section("-save-", 0, 0);
                }
            return names;
        };
        QVERIFY(!loadStore(m_dir->filePath("config")).error);
        QCOMPARE(made(~0u), QStringList{"Quenmark.conf"}); // opened, nothing else
        QVERIFY(!saveStore(m_dir->filePath("config"), stateOf("0 3")));
        // The store is read once, under the lock, and swapped once; the old file is
        // looked at under our new file's name, and the store not read again after.
        const QStringList events = made(~0u);
        QVERIFY2(events.count("Quenmark.conf") == 1 && events.count("renamed Quenmark.conf") == 1 &&
                     events.indexOf("Quenmark.conf") < events.indexOf("renamed Quenmark.conf"),
                 qPrintable(events.join(" | ")));
        QCOMPARE(QDir(m_dir->path()).entryList({".Quenmark.conf.*"}, QDir::Files | QDir::Hidden),
                 QStringList(leftovers.sliced(1)));
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(file), &st) == 0);
        QCOMPARE(st.st_mode & 07777, mode_t(0640));
        QCOMPARE(st.st_gid, group);
        QCOMPARE(st.st_uid, owner);
        QVERIFY(QFileInfo(link).isSymLink());
        QVERIFY(readAll(file).startsWith("[Other]\nx=1\n\n[Velmora]\nClassic=1\n"));
    }
};

QTEST_GUILESS_MAIN(TestFileStore)
#include "tst_file_store.moc"
