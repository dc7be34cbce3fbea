// Where the settings file is, and who may write it: one walk from "/" to the
// file, part by part, that opens folders only and follows no link by itself;
// each link met is read and its target walked in its place. Run as root, every
// folder and link met must be root's, as git refuses a repository someone else
// owns: another user could otherwise lead root's save, or the text a message
// quotes, to any file of root's. The file is then read and replaced through the
// folder found, so that nothing can be swapped in on the way.

#include "settings_file.h"

#include <QFile>
#include <QScopeGuard>

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace SettingsFile
{

QString kindOf(mode_t mode)
{
    return S_ISDIR(mode)                    ? tr("a folder")
           : S_ISFIFO(mode)                 ? tr("a FIFO")
           : S_ISCHR(mode) || S_ISBLK(mode) ? tr("a device")
           : S_ISSOCK(mode)                 ? tr("a socket")
           : S_ISLNK(mode)                  ? tr("a symbolic link")
                                            : tr("not a file");
}

QString systemError(int error)
{
    return qt_error_string(error);
}

Place::~Place()
{
    if (folder >= 0)
        ::close(folder);
}

namespace
{

// Root writes nothing of another user's, nor through it.
QString notRoots(const QString &path, const struct stat &st)
{
    const passwd *owner = ::getpwuid(st.st_uid);
    const QString name =
        owner ? QString::fromLocal8Bit(owner->pw_name) : QString::number(st.st_uid);
    return tr("%1 is %2 that belongs to %3, and Velmora run as root goes through nothing of "
              "another user's; run it as %3 (sudo -u %3 velmora …)")
        .arg(path, S_ISLNK(st.st_mode) ? tr("a symbolic link") : tr("a folder"), name);
}

// A name whose bytes are not UTF-8 reaches us with U+FFFD in their place; its
// bytes can no longer be told, and using it would read or write another file.
std::optional<QString> undecodable(const QString &path)
{
    if (!path.contains(QChar::ReplacementCharacter))
        return std::nullopt;
    return tr("the path %1 holds bytes that are not UTF-8 (shown as %2), so it cannot be used; "
              "rename it, or point XDG_CONFIG_HOME elsewhere")
        .arg(path, QChar(QChar::ReplacementCharacter));
}

// Kernel file systems hold files whose reading does something (reading
// /proc/kmsg consumes the kernel's messages).
bool onKernelFileSystem(int fd)
{
    struct statfs fs;
    if (::fstatfs(fd, &fs) != 0)
        return false;
    const unsigned long kernel[] = {
        PROC_SUPER_MAGIC,   SYSFS_MAGIC,         DEBUGFS_MAGIC, TRACEFS_MAGIC,  SECURITYFS_MAGIC,
        CGROUP_SUPER_MAGIC, CGROUP2_SUPER_MAGIC, BPF_FS_MAGIC,  PSTOREFS_MAGIC, EFIVARFS_MAGIC};
    return std::find(std::begin(kernel), std::end(kernel), (unsigned long)fs.f_type) !=
           std::end(kernel);
}

// What of the attributes of an open file or folder keeps a file in it from
// being replaced (see lsattr), if anything.
QString frozen(int fd)
{
    int flags = 0;
    return ::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0 ? QString()
           : flags & FS_IMMUTABLE_FL                 ? tr("immutable")
           : flags & FS_APPEND_FL                    ? tr("append-only")
                                                     : QString();
}

// Whether the file found may be replaced: not when its folder's or its own
// attributes forbid it, nor when its mode does (the mode is the user's word, to
// root as well). Both are read from what is open, not from a second look.
std::optional<QString> mayReplace(const Place &place)
{
    const QString folderName = place.file.first(std::max(1, int(place.file.lastIndexOf(u'/'))));
    const int folder = ::openat(place.folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const QString folderFrozen = frozen(folder);
    ::close(folder);
    if (!folderFrozen.isEmpty())
        return tr("the folder %1 is %2 (see lsattr), so the settings file cannot be replaced")
            .arg(folderName, folderFrozen);
    const int fd = ::openat(place.folder, place.name,
                            O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt; // not there (any more): the read under the lock tells
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    struct stat st;
    if (const QString how = frozen(fd); !how.isEmpty())
        return tr("%1 is %2 (see lsattr), so the settings file cannot be replaced")
            .arg(place.file, how);
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
        ((st.st_mode & 0222) == 0 || ::faccessat(fd, "", W_OK, AT_EMPTY_PATH | AT_EACCESS) != 0))
        return tr("%1 is read-only").arg(place.file);
    return std::nullopt;
}

} // namespace

std::optional<QString> findFile(const QString &path, Place &place, bool toSave)
{
    if (auto bad = undecodable(path))
        return bad;
    const auto cannotTell = [&path](const QString &why) {
        return tr("cannot tell where %1 leads: %2").arg(path, why);
    };
    if (!path.startsWith(u'/'))
        return cannotTell(tr("it is not an absolute path"));
    const bool root = ::geteuid() == 0;
    int here = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC); // the folder reached
    const auto closeHere = qScopeGuard([&here] { ::close(here); });
    // Folders are entered by name from their parent, never through a link, so
    // the ".." of the folder reached is the one that led there.
    const auto enter = [&here](const char *name) {
        const int fd = ::openat(here, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        ::close(here);
        return (here = fd) >= 0;
    };
    QStringList walked, ahead = path.split(u'/', Qt::SkipEmptyParts);
    for (int links = 0; !ahead.isEmpty();) {
        const QString name = ahead.takeFirst();
        const QByteArray bytes = QFile::encodeName(name);
        const QString at = u'/' + (walked + QStringList(name)).join(u'/');
        struct stat st;
        if (name == u"..") {
            if (!enter(".."))
                return cannotTell(systemError());
            if (!walked.isEmpty())
                walked.removeLast();
        }
        if (name == u"." || name == u"..")
            continue;
        if (::fstatat(here, bytes, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                return cannotTell(systemError());
            if (ahead.isEmpty() || !toSave) { // no file yet; when reading, nothing is made
                place.file = ahead.isEmpty() ? at : path;
                place.name = bytes;
                if (ahead.isEmpty())
                    place.folder = std::exchange(here, -1);
                break;
            }
            // A folder to make: ".." after it would undo it and leave it behind.
            if (ahead.contains(QStringLiteral("..")))
                return cannotTell(tr("%1 does not exist, and \"..\" after it would lead back "
                                     "out of it; write the path without \"..\"")
                                      .arg(at));
            if (::mkdirat(here, bytes, 0700) != 0 && errno != EEXIST)
                return tr("the folder %1 cannot be created: %2").arg(at, systemError());
            ahead.prepend(name);
            continue;
        }
        if (root && st.st_uid != 0 && (S_ISLNK(st.st_mode) || S_ISDIR(st.st_mode)))
            return notRoots(at, st);
        if (S_ISLNK(st.st_mode)) {
            char buffer[PATH_MAX];
            const ssize_t n = ::readlinkat(here, bytes, buffer, sizeof buffer);
            if (n < 0 || ++links > 40)
                return cannotTell(systemError(n < 0 ? errno : ELOOP));
            const QString target = QFile::decodeName(QByteArray(buffer, n));
            if (auto bad = undecodable(target))
                return bad;
            ahead = target.split(u'/', Qt::SkipEmptyParts) + ahead;
            if (target.startsWith(u'/')) {
                walked.clear();
                if (!enter("/"))
                    return cannotTell(systemError());
            }
            continue;
        }
        if (ahead.isEmpty()) { // the file itself: never opened unless it is a file
            if (!S_ISREG(st.st_mode))
                return tr("%1 is %2, not a regular file").arg(at, kindOf(st.st_mode));
            place.file = at;
            place.name = bytes;
            place.folder = std::exchange(here, -1);
            break;
        }
        if (!S_ISDIR(st.st_mode))
            return cannotTell(tr("%1 is %2, not a folder").arg(at, kindOf(st.st_mode)));
        // Looked at again as opened: the folder may have been swapped since.
        if (!enter(bytes.constData()) || ::fstat(here, &st) != 0)
            return cannotTell(systemError());
        if (root && st.st_uid != 0)
            return notRoots(at, st);
        walked << name;
    }
    if (place.name.isEmpty())
        return cannotTell(tr("it names a folder, not a file"));
    if (place.folder >= 0 && onKernelFileSystem(place.folder))
        return tr("%1 is a file of the kernel, not a settings file, and is not read")
            .arg(place.file);
    return toSave ? mayReplace(place) : std::nullopt;
}

} // namespace SettingsFile
