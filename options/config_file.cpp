#include "config_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ConfigFile
{
namespace
{

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISLNK(mode))
        return QStringLiteral("a symbolic link");
    return QStringLiteral("not a file");
}

bool writeAll(int fd, const QByteArray &content)
{
    qsizetype done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.constData() + done, size_t(content.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// The folder part of a path, exactly as written: "a/b/../c" gives "a/b/..".
QString folderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QStringLiteral(".") : slash == 0 ? QStringLiteral("/") : path.first(slash);
}

QString nameOf(const QString &path)
{
    return path.sliced(path.lastIndexOf(u'/') + 1);
}

// `path` with its folder resolved by the kernel (links and "..", in that order),
// so that it names the file the kernel would open; 0, or the error that stops it.
int physical(const QString &path, QString &resolved)
{
    char buffer[PATH_MAX];
    if (!::realpath(encoded(folderOf(path)).constData(), buffer))
        return errno;
    const QString folder = QFile::decodeName(buffer);
    resolved = (folder == u"/" ? folder : folder + u'/') + nameOf(path);
    return 0;
}

// Temporary files are ".<name>.XXXXXX" beside the file they are made for.
QString temporaryName(const QString &folder, const QString &name)
{
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString suffix;
    for (int i = 0; i < 6; ++i)
        suffix += QLatin1Char(kLetters[QRandomGenerator::global()->bounded(62)]);
    return QDir(folder).filePath(QStringLiteral(".%1.%2").arg(name, suffix));
}

// A save that is killed may leave its named temporary file behind. Ours are
// removed once no save could still be using them: under the lock no other save
// of ours runs, and none takes anywhere near this long.
void removeLeftovers(const QString &folder, const QString &name)
{
    constexpr time_t kOlderThan = 10 * 60; // seconds since the file was last written
    const QString prefix = QStringLiteral(".%1.").arg(name);
    const QStringList found =
        QDir(folder).entryList({prefix + u'*'}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &entry : found) {
        const QString suffix = entry.sliced(prefix.size());
        const bool ourPattern = suffix.size() >= 6 && suffix.size() <= 8 &&
                                std::all_of(suffix.begin(), suffix.end(), [](QChar c) {
                                    return c.unicode() < 0x80 && std::isalnum(int(c.unicode()));
                                });
        struct stat st;
        const QByteArray path = encoded(QDir(folder).filePath(entry));
        if (ourPattern && ::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
            st.st_uid == ::geteuid() && st.st_mtime + kOlderThan < std::time(nullptr))
            ::unlink(path.constData());
    }
}

// A file of ours in a folder. Unnamed where the file system allows, so that
// nothing is left behind if we are killed; named ".<name>.XXXXXX" otherwise.
class Scratch
{
public:
    ~Scratch()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_named.isEmpty())
            ::unlink(encoded(m_named).constData());
    }

    // Created with mode 0600, so that nobody reads it before it has its mode.
    std::optional<QString> create(const QString &folder, const QString &name)
    {
        m_folder = folder;
        m_name = name;
        m_fd = ::open(encoded(folder).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        // Unnamed files are read and linked through /proc; without it, use a name.
        if (m_fd >= 0 && ::access(encoded(procPath()).constData(), F_OK) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
        for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
            const QString candidate = temporaryName(folder, name);
            m_fd = ::open(encoded(candidate).constData(),
                          O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (m_fd >= 0)
                m_named = candidate;
            else if (errno != EEXIST)
                break;
        }
        if (m_fd < 0)
            return QStringLiteral("no new file can be made in %1: %2")
                .arg(folder, systemError(errno));
        return std::nullopt;
    }

    int fd() const { return m_fd; }

    std::optional<QString> write(const QByteArray &content)
    {
        if (!writeAll(m_fd, content) || ::fsync(m_fd) != 0)
            return QStringLiteral("%1 cannot be written: %2").arg(m_folder, systemError(errno));
        return std::nullopt;
    }

    // A path to read the file by. QSettings keeps what it read of a path and
    // trusts it while the file's size and time (to the millisecond) agree; the
    // same /proc path and size come round again, so each look gets a time of
    // its own. `keep` puts the real time back afterwards.
    QString freshPath()
    {
        static time_t next = 86400; // times no real settings file has
        const timespec times[2] = {{0, UTIME_OMIT}, {next++, 0}};
        ::futimens(m_fd, times);
        return m_named.isEmpty() ? procPath() : m_named;
    }

    // Renames the file over `target`; the file is no longer ours then.
    std::optional<QString> keep(const QString &target)
    {
        ::futimens(m_fd, nullptr);
        if (m_named.isEmpty()) {
            // An unnamed file gets a name only now, for the rename.
            for (int attempt = 0; attempt < 100 && m_named.isEmpty(); ++attempt) {
                const QString candidate = temporaryName(m_folder, m_name);
                if (::linkat(AT_FDCWD, encoded(procPath()).constData(), AT_FDCWD,
                             encoded(candidate).constData(), AT_SYMLINK_FOLLOW) == 0)
                    m_named = candidate;
                else if (errno != EEXIST)
                    break;
            }
            if (m_named.isEmpty())
                return QStringLiteral("no new file can be made in %1: %2")
                    .arg(m_folder, systemError(errno));
        }
        if (::rename(encoded(m_named).constData(), encoded(target).constData()) != 0)
            return QStringLiteral("%1 cannot be replaced: %2").arg(target, systemError(errno));
        m_named.clear();
        // The rename itself is safe on disk once the folder is.
        const int folder =
            ::open(encoded(m_folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            ::fsync(folder);
            ::close(folder);
        }
        return std::nullopt;
    }

private:
    QString procPath() const { return QStringLiteral("/proc/self/fd/%1").arg(m_fd); }

    int m_fd = -1;
    QString m_folder, m_name;
    QString m_named; // empty while the file has no name
};

} // namespace

QString userFolder()
{
    // Relative values are to be ignored; without either there is no user folder
    // at all, and "/.config" or a folder below the working directory a guess.
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (QDir::isAbsolutePath(xdg))
        return xdg;
    const QString home = qEnvironmentVariable("HOME");
    if (QDir::isAbsolutePath(home))
        return QDir(home).filePath(QStringLiteral(".config"));
    return {};
}

Probe probe(const QString &path)
{
    Probe result;
    result.state = Probe::Refused;
    QString current = path;
    for (int hops = 0; hops < 40; ++hops) {
        if (const int error = physical(current, result.target)) {
            if (error == ENOENT) { // no folder yet: the first save makes it
                result.state = Probe::Missing;
                result.target = current;
                return result;
            }
            result.reason =
                QStringLiteral("cannot tell where %1 leads: %2").arg(current, systemError(error));
            return result;
        }
        struct stat st;
        if (::lstat(encoded(result.target).constData(), &st) != 0) {
            const int error = errno;
            if (error == ENOENT) {
                result.state = Probe::Missing; // the first save creates it
                return result;
            }
            result.reason = QStringLiteral("cannot tell whether %1 exists: %2")
                                .arg(result.target, systemError(error));
            return result;
        }
        if (S_ISLNK(st.st_mode)) {
            char buffer[PATH_MAX];
            const ssize_t n = ::readlink(encoded(result.target).constData(), buffer, sizeof buffer);
            if (n <= 0 || n == ssize_t(sizeof buffer)) {
                result.reason = QStringLiteral("the link %1 cannot be read").arg(result.target);
                return result;
            }
            const QString link = QFile::decodeName(QByteArray(buffer, n));
            current = link.startsWith(u'/') ? link : folderOf(result.target) + u'/' + link;
            continue;
        }
        if (S_ISREG(st.st_mode)) {
            result.state = Probe::Regular;
        } else {
            result.reason =
                result.target == path
                    ? QStringLiteral("%1 is %2, not a regular file").arg(path, kindOf(st.st_mode))
                    : QStringLiteral("%1 links to %2, which is %3, not a regular file")
                          .arg(path, result.target, kindOf(st.st_mode));
        }
        return result;
    }
    result.reason = QStringLiteral("%1 leads through too many links").arg(path);
    return result;
}

std::optional<QString> lockProblem(const QString &lockPath)
{
    struct stat st;
    if (::lstat(encoded(lockPath).constData(), &st) != 0) {
        if (errno == ENOENT)
            return std::nullopt;
        return QStringLiteral("cannot tell whether the lock file %1 exists: %2")
            .arg(lockPath, systemError(errno));
    }
    if (S_ISREG(st.st_mode))
        return std::nullopt;
    // Opening a FIFO to read a lock's owner would block for good; a folder or a
    // link would only be waited for in vain.
    return QStringLiteral("the lock file %1 is %2, so no lock can be taken; remove it")
        .arg(lockPath, kindOf(st.st_mode));
}

std::optional<QString> read(const QString &target, QByteArray &content)
{
    content.clear();
    // Non-blocking, so that a FIFO put in its place since the probe cannot hang us.
    const int fd =
        ::open(encoded(target).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("%1 cannot be read: %2").arg(target, systemError(errno));
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return QStringLiteral("%1 is not a regular file").arg(target);
    }
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            return QStringLiteral("%1 cannot be read: %2").arg(target, systemError(error));
        }
        if (n == 0)
            break;
        content.append(buffer, n);
    }
    ::close(fd);
    return std::nullopt;
}

std::optional<QString> inspect(const QString &beside, const QByteArray &content,
                               const std::function<void(const QString &)> &look)
{
    Scratch scratch;
    if (auto failure = scratch.create(folderOf(beside), nameOf(beside)))
        return failure;
    if (auto failure = scratch.write(content))
        return failure;
    look(scratch.freshPath());
    return std::nullopt;
}

std::optional<QString> replace(const QString &target, const QByteArray &content,
                               const std::function<std::optional<QString>(const QString &)> &verify)
{
    const QString folder = folderOf(target);
    const QString name = nameOf(target);

    struct stat old;
    const bool exists = ::stat(encoded(target).constData(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode))
        return QStringLiteral("%1 is %2, not a regular file").arg(target, kindOf(old.st_mode));
    // The rename would go through a read-only file; its mode says "not this".
    if (exists && ::access(encoded(target).constData(), W_OK) != 0)
        return QStringLiteral("%1 is read-only").arg(target);

    removeLeftovers(folder, name);
    Scratch scratch;
    if (auto failure = scratch.create(folder, name))
        return failure;
    if (exists) {
        // Owner and group first: changing them may clear the set-id bits. Where
        // this user may set neither, the new file is ours, as with any editor.
        if (::fchown(scratch.fd(), old.st_uid, old.st_gid) != 0)
            (void)!::fchown(scratch.fd(), uid_t(-1), old.st_gid);
        ::fchmod(scratch.fd(), old.st_mode & 07777);
    } else {
        // What a plain create would have given; the umask is read by setting it.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(scratch.fd(), 0666 & ~mask);
    }
    if (auto failure = scratch.write(content))
        return failure;
    if (auto failure = verify(scratch.freshPath()))
        return failure;
    return scratch.keep(target);
}

} // namespace ConfigFile
