// Where the settings file is, and who may write it: one walk from "/" to the
// file, part by part, that opens folders only and follows no link by itself;
// each link met is read and its target walked in its place. Run as root, every
// folder and link met must be root's, as git refuses a repository someone else
// owns: another user could otherwise lead root's save, or the text a message
// quotes, to any file of root's. The file is then read and replaced through the
// folder found, so that nothing can be swapped in on the way.

#include "settings_file.h"

#include <climits>
#include <linux/fs.h>
#include <linux/magic.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>

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
    return std::ranges::find(kernel, (unsigned long)fs.f_type) != std::end(kernel);
}

// Whether the file found may be replaced: not when its folder's or its own
// attributes forbid it (see lsattr), nor when its mode does (the mode is the
// user's word, to root as well). Both are read from what is open, not from a
// second look at the path.
std::optional<QString> mayReplace(const Place &place)
{
    const QString folder = place.file.first(std::max(1, int(place.file.lastIndexOf(u'/'))));
    for (const bool isFile : {false, true}) {
        const int fd = ::openat(place.folder, isFile ? place.name.constData() : ".",
                                O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
        const auto closeFile = qScopeGuard([fd] { ::close(fd); });
        const QString what = isFile ? place.file : tr("the folder %1").arg(folder);
        int flags = 0;
        struct stat st;
        if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && flags & (FS_IMMUTABLE_FL | FS_APPEND_FL))
            return tr("%1 is %2 (see lsattr), so the settings file cannot be replaced")
                .arg(what, flags & FS_IMMUTABLE_FL ? tr("immutable") : tr("append-only"));
        if (isFile && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
            ((st.st_mode & 0222) == 0 || ::faccessat(fd, "", W_OK, AT_EMPTY_PATH | AT_EACCESS)))
            return tr("%1 is read-only").arg(what);
    }
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
    if (!path.startsWith(u'/')) // the user's folder is unknown
        return tr("the settings folder is unknown: neither XDG_CONFIG_HOME nor HOME is an "
                  "absolute path");
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
        if (name == u".." && !enter(".."))
            return cannotTell(qt_error_string());
        if (name == u".." && !walked.isEmpty())
            walked.removeLast();
        if (name == u"." || name == u"..")
            continue;
        const bool missing = ::fstatat(here, bytes, &st, AT_SYMLINK_NOFOLLOW) != 0;
        if (missing && errno != ENOENT)
            return cannotTell(qt_error_string());
        if (missing && !ahead.isEmpty() && toSave) {
            // A folder to make: ".." after it would undo it and leave it behind.
            if (ahead.contains(QStringLiteral("..")))
                return cannotTell(tr("%1 does not exist, and \"..\" after it would lead back "
                                     "out of it; write the path without \"..\"")
                                      .arg(at));
            if (::mkdirat(here, bytes, 0700) != 0 && errno != EEXIST)
                return tr("the folder %1 cannot be created: %2").arg(at, qt_error_string());
            ahead.prepend(name);
            continue;
        }
        if (missing || (ahead.isEmpty() && !S_ISLNK(st.st_mode))) { // the file, or no folder
            if (!missing && !S_ISREG(st.st_mode)) // never opened unless it is a file
                return tr("%1 is %2, not a regular file").arg(at, kindOf(st.st_mode));
            place.file = ahead.isEmpty() ? at : path; // reading: a folder on the way is missing
            place.name = bytes;
            if (ahead.isEmpty())
                place.folder = std::exchange(here, -1);
            break;
        }
        if (root && st.st_uid != 0 && (S_ISLNK(st.st_mode) || S_ISDIR(st.st_mode)))
            return notRoots(at, st);
        if (S_ISLNK(st.st_mode)) {
            char buffer[PATH_MAX];
            const ssize_t n = ::readlinkat(here, bytes, buffer, sizeof buffer);
            if (n < 0 || ++links > 40)
                return cannotTell(qt_error_string(n < 0 ? errno : ELOOP));
            const QString target = QFile::decodeName(QByteArray(buffer, n));
            if (auto bad = undecodable(target))
                return bad;
            ahead = target.split(u'/', Qt::SkipEmptyParts) + ahead;
            if (target.startsWith(u'/')) {
                walked.clear();
                if (!enter("/"))
                    return cannotTell(qt_error_string());
            }
            continue;
        }
        if (!S_ISDIR(st.st_mode))
            return cannotTell(tr("%1 is %2, not a folder").arg(at, kindOf(st.st_mode)));
        // Looked at again as opened: the folder may have been swapped since.
        if (!enter(bytes.constData()) || ::fstat(here, &st) != 0)
            return cannotTell(qt_error_string());
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
