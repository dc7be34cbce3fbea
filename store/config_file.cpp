#include "config_file.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace ConfigFile
{
namespace
{

// Larger than any settings file: a file beyond it is refused, not read into memory.
constexpr qint64 kLargestFile = 64 << 20;

// Our new files are ".<name>" plus this and six letters or digits: a name that
// no person or other tool would give a backup, so that a leftover of a killed
// save can be told from the user's own files by its name.
constexpr char kNewFileTag[] = ".velmora-save-";

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

// `path` with its folder resolved by the kernel (links and "..", in that order);
// 0, or the error that stops it.
int inRealFolder(QString &path)
{
    char buffer[PATH_MAX];
    if (!::realpath(encoded(folderOf(path)).constData(), buffer))
        return errno;
    const QString folder = QFile::decodeName(buffer);
    path = (folder == u"/" ? folder : folder + u'/') + nameOf(path);
    return 0;
}

Snapshot refused(Snapshot s, QString reason)
{
    s.state = Snapshot::Refused;
    s.reason = std::move(reason);
    return s;
}

// Where a path that leads to nothing yet would be created: the path itself, or
// the target of the link it is, which the kernel creates through the link.
Snapshot missing(Snapshot s)
{
    if (const int error = inRealFolder(s.target))
        return error == ENOENT ? s
                               : refused(s, QStringLiteral("cannot tell where %1 leads: %2")
                                                .arg(s.path, qt_error_string(error)));
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink(encoded(s.target).constData(), buffer, sizeof buffer);
    if (n < 0)
        return s; // no link: the file itself is missing
    const QString link = QFile::decodeName(QByteArray(buffer, n));
    s.target = link.startsWith(u'/') ? link : folderOf(s.target) + u'/' + link;
    if (auto bad = undecodable(s.target))
        return refused(s, *bad);
    const int error = inRealFolder(s.target);
    struct stat st;
    if ((error != 0 && error != ENOENT) ||
        (error == 0 && ::lstat(encoded(s.target).constData(), &st) == 0))
        return refused(s, QStringLiteral("%1 leads through links that end nowhere").arg(s.path));
    return s;
}

// A save that is killed may leave its new file behind. Ours are removed once no
// save could still be using them: under the lock no other save of ours runs,
// and none takes anywhere near this long. The name alone condemns nothing.
void removeLeftovers(const QString &folder, const QString &name)
{
    constexpr time_t kOlderThan = 10 * 60; // seconds since the file was last written
    const QString prefix = u'.' + name + QLatin1String(kNewFileTag);
    const QDir dir(folder);
    for (const QString &entry :
         dir.entryList({prefix + u'*'}, QDir::Files | QDir::Hidden | QDir::CaseSensitive)) {
        const QString suffix = entry.sliced(prefix.size());
        struct stat st;
        const QByteArray path = encoded(dir.filePath(entry));
        if (suffix.size() == 6 &&
            std::all_of(suffix.begin(), suffix.end(),
                        [](QChar c) { return c.unicode() < 0x80 && c.isLetterOrNumber(); }) &&
            ::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
            st.st_uid == ::geteuid() && st.st_mtime + kOlderThan < std::time(nullptr))
            ::unlink(path.constData());
    }
}

} // namespace

// A name whose bytes are not UTF-8 reaches us with U+FFFD in their place; its
// bytes can no longer be told, and using it would read or write another file.
// The folders the path really leads through, as far as they exist, are looked
// at too: a link among them may lead to such a name.
std::optional<QString> undecodable(const QString &path)
{
    QString real = path;
    for (QString folder = folderOf(path); folder.startsWith(u'/'); folder = folderOf(folder)) {
        char buffer[PATH_MAX];
        if (::realpath(encoded(folder).constData(), buffer)) {
            real = QFile::decodeName(buffer) + path.sliced(folder.size());
            break;
        }
        if (folder == u"/")
            break;
    }
    for (const QString &name : {path, real}) {
        if (name.contains(QChar::ReplacementCharacter))
            return QStringLiteral("the path %1 holds bytes that are not UTF-8 (shown as %2), so "
                                  "it cannot be used; rename it, or point XDG_CONFIG_HOME "
                                  "elsewhere")
                .arg(name, QChar(QChar::ReplacementCharacter));
    }
    return std::nullopt;
}

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

bool Snapshot::sameFileAs(const Snapshot &now) const
{
    if (now.state != state || now.target != target)
        return false;
    return state != Regular || (now.info.st_dev == info.st_dev && now.info.st_ino == info.st_ino &&
                                now.content == content);
}

Snapshot take(const QString &path)
{
    Snapshot s;
    s.path = path;
    s.target = path;
    if (auto bad = undecodable(path))
        return refused(s, *bad);
    char buffer[PATH_MAX];
    if (!::realpath(encoded(path).constData(), buffer)) {
        if (errno == ENOENT) // no folder or no file yet: the first save makes them
            return missing(s);
        return refused(
            s, QStringLiteral("cannot tell where %1 leads: %2").arg(path, qt_error_string(errno)));
    }
    s.target = QFile::decodeName(buffer);
    if (auto bad = undecodable(s.target))
        return refused(s, *bad);

    // Looked at before it is opened: opening a device may itself do something.
    struct stat st;
    if (::lstat(encoded(s.target).constData(), &st) == 0 && !S_ISREG(st.st_mode))
        return refused(
            s, s.target == path
                   ? QStringLiteral("%1 is %2, not a regular file").arg(path, kindOf(st.st_mode))
                   : QStringLiteral("%1 links to %2, which is %3, not a "
                                    "regular file")
                         .arg(path, s.target, kindOf(st.st_mode)));
    // Non-blocking and not through a link, for what may have been swapped in since.
    const int fd = ::open(encoded(s.target).constData(),
                          O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return refused(
            s, QStringLiteral("%1 cannot be read: %2").arg(s.target, qt_error_string(errno)));
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    if (::fstat(fd, &s.info) != 0 || !S_ISREG(s.info.st_mode))
        return refused(s, QStringLiteral("%1 is not a regular file").arg(s.target));
    QFile file;
    if (file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        s.content = file.read(kLargestFile + 1); // one byte more tells a file that grew past it
    if (file.error() != QFileDevice::NoError)
        return refused(s,
                       QStringLiteral("%1 cannot be read: %2").arg(s.target, file.errorString()));
    if (s.info.st_size > kLargestFile || s.content.size() > kLargestFile)
        return refused(s, QStringLiteral("%1 is larger than %2 MiB, more than any settings file")
                              .arg(s.target)
                              .arg(kLargestFile >> 20));
    s.state = Snapshot::Regular;
    return s;
}

std::optional<QString> lockProblem(const QString &lockPath)
{
    struct stat st;
    if (::lstat(encoded(lockPath).constData(), &st) != 0) {
        if (errno == ENOENT)
            return std::nullopt;
        return QStringLiteral("cannot tell whether the lock file %1 exists: %2")
            .arg(lockPath, qt_error_string(errno));
    }
    if (S_ISREG(st.st_mode))
        return std::nullopt;
    // Opening a FIFO to read a lock's owner would block for good; a folder or a
    // link would only be waited for in vain.
    return QStringLiteral("the lock file %1 is %2, so no lock can be taken; remove it")
        .arg(lockPath, kindOf(st.st_mode));
}

std::optional<QString> replace(const Snapshot &read, const QByteArray &content, bool &changed)
{
    changed = false;
    const QString folder = folderOf(read.target);
    const QString name = nameOf(read.target);
    // The rename would go through a read-only file; its mode says "not this".
    if (read.state == Snapshot::Regular && ::access(encoded(read.target).constData(), W_OK) != 0)
        return QStringLiteral("%1 is read-only").arg(read.target);

    removeLeftovers(folder, name);
    // Created with mode 0600, so that nobody reads it before it has its mode.
    QByteArray newFile =
        encoded(folder + QLatin1String("/.") + name + QLatin1String(kNewFileTag)) + "XXXXXX";
    const int fd = ::mkostemp(newFile.data(), O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("no new file can be made in %1: %2")
            .arg(folder, qt_error_string(errno));
    bool renamed = false;
    const auto cleanUp = qScopeGuard([&] {
        ::close(fd);
        if (!renamed)
            ::unlink(newFile.constData());
    });
    if (read.state == Snapshot::Regular) {
        // Owner and group first: changing them may clear the set-id bits. Where
        // this user may set neither, the new file is ours, as with any editor.
        if (::fchown(fd, read.info.st_uid, read.info.st_gid) != 0)
            (void)!::fchown(fd, uid_t(-1), read.info.st_gid);
        ::fchmod(fd, read.info.st_mode & 07777);
    } else {
        // What a plain create would have given; the umask is read by setting it.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    QFile file;
    if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle) ||
        file.write(content) != content.size() || !file.flush() || ::fsync(fd) != 0)
        return QStringLiteral("%1 cannot be written: %2")
            .arg(folder, file.error() ? file.errorString() : qt_error_string(errno));

    // The last moment before the rename: a writer that does not take the lock
    // (an editor, a script's >>, a sync tool) may have changed the file since it
    // was read, and the rename would drop that change.
    if (!read.sameFileAs(take(read.path))) {
        changed = true;
        return std::nullopt;
    }
    if (::rename(newFile.constData(), encoded(read.target).constData()) != 0)
        return QStringLiteral("%1 cannot be replaced: %2").arg(read.target, qt_error_string(errno));
    renamed = true;
    // Kept on purpose: a crash leaves the old file or the new one either way, but after a
    // power cut ext4 and xfs may bring the old one back unless the folder is on disk, and
    // Ok has then told the user that the save stands.
    const int dir = ::open(encoded(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return std::nullopt;
}

} // namespace ConfigFile
