#include "config_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
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

} // namespace

QString userFolder()
{
    // A relative XDG_CONFIG_HOME is to be ignored; without HOME there is no
    // user folder at all, and "/.config" would be a guess.
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
    QString current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(encoded(current).constData(), &st) != 0) {
            const int error = errno;
            result.target = current;
            if (error == ENOENT)
                return result; // Missing: the first save creates it
            result.state = Probe::Refused;
            result.reason = QStringLiteral("cannot tell whether %1 exists: %2")
                                .arg(current, systemError(error));
            return result;
        }
        if (S_ISLNK(st.st_mode)) {
            const QString next = QFileInfo(current).symLinkTarget();
            if (next.isEmpty())
                break;
            current = next;
            continue;
        }
        result.target = current;
        if (S_ISREG(st.st_mode)) {
            result.state = Probe::Regular;
        } else {
            result.state = Probe::Refused;
            result.reason = current == path
                                ? QStringLiteral("%1 is %2, not a regular file")
                                      .arg(current, kindOf(st.st_mode))
                                : QStringLiteral("%1 links to %2, which is %3, not a regular file")
                                      .arg(path, current, kindOf(st.st_mode));
        }
        return result;
    }
    result.state = Probe::Refused;
    result.target = current;
    result.reason = QStringLiteral("%1 leads through too many links").arg(path);
    return result;
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

std::optional<QString> replace(const QString &target, const QByteArray &content,
                               const std::function<bool(const QString &)> &verify)
{
    const QFileInfo info(target);
    const QString folder = info.absolutePath();

    struct stat old;
    const bool exists = ::stat(encoded(target).constData(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode))
        return QStringLiteral("%1 is %2, not a regular file").arg(target, kindOf(old.st_mode));
    // The rename would go through a read-only file; its mode says "not this".
    if (exists && ::access(encoded(target).constData(), W_OK) != 0)
        return QStringLiteral("%1 is read-only").arg(target);

    // A hidden sibling, so that the rename stays within one file system.
    QString temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = QDir(folder).filePath(
            QStringLiteral(".%1.%2")
                .arg(info.fileName())
                .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
        fd = ::open(encoded(temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return QStringLiteral("no new file can be made in %1: %2").arg(folder, systemError(errno));

    auto fail = [&](const QString &reason) -> std::optional<QString> {
        if (fd >= 0)
            ::close(fd);
        ::unlink(encoded(temporary).constData());
        return reason;
    };
    if (exists) {
        // Owner and group first: changing them may clear the set-id bits.
        // Where this user may set neither, the new file is ours, as with any editor.
        if (::fchown(fd, old.st_uid, old.st_gid) != 0 && ::fchown(fd, uid_t(-1), old.st_gid) != 0) {
        }
        (void)::fchmod(fd, old.st_mode & 07777);
    }
    if (!writeAll(fd, content) || ::fsync(fd) != 0)
        return fail(QStringLiteral("%1 cannot be written: %2").arg(folder, systemError(errno)));
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0)
        return fail(QStringLiteral("%1 cannot be written: %2").arg(folder, systemError(errno)));
    if (!verify(temporary))
        return fail(QStringLiteral("the new file did not read back with the new values"));
    if (::rename(encoded(temporary).constData(), encoded(target).constData()) != 0)
        return fail(QStringLiteral("%1 cannot be replaced: %2").arg(target, systemError(errno)));

    return std::nullopt;
}

} // namespace ConfigFile
