// The new file and the swap: the new bytes go to a new file beside the old
// one, with the old one's mode, owner and group, and on disk before one rename
// puts it in the old one's place, unless a last look (and the lease taken before
// the read) shows another writer at work. The folder is then synced. A save
// that is killed leaves its new file; the next save removes it.

#include "settings_file.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <dirent.h>

namespace SettingsFile
{
namespace
{

// Our new files are ".<name>" plus this and six letters or digits, a name that
// no person or other tool gives a file.
constexpr char kNewFileTag[] = ".velmora-save-";

bool isNewFileName(const QByteArray &name, const QByteArray &prefix)
{
    return name.size() == prefix.size() + 6 && name.startsWith(prefix) &&
           std::all_of(name.end() - 6, name.end(), [](char c) { return std::isalnum(uchar(c)); });
}

// A file by our new files' name, of ours, with one link, is a leftover of a
// killed save: under the lock no other save of ours runs, nothing but a save of
// ours makes such a name (with O_EXCL), and nothing is ever renamed to it.
void removeLeftovers(const Place &place)
{
    const QByteArray prefix = '.' + place.name + kNewFileTag;
    DIR *dir = ::fdopendir(::openat(place.folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir)
        return;
    const auto closeDir = qScopeGuard([dir] { ::closedir(dir); });
    struct stat st;
    while (const dirent *entry = ::readdir(dir))
        if (isNewFileName(entry->d_name, prefix) &&
            ::fstatat(place.folder, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_nlink == 1)
            ::unlinkat(place.folder, entry->d_name, 0);
}

} // namespace

Lease::Lease(const Place &place)
{
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGIO, &ignore, &sigio);
    fd = ::openat(place.folder, place.name.constData(),
                  O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    // A file open for writing elsewhere gets no lease; a writer such as >> closes
    // it again within a moment, and is waited for that long.
    struct stat st;
    for (int tries = 0; fd >= 0 && tries < 20; ++tries, QThread::msleep(1)) {
        if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0) {
            inode = ::fstat(fd, &st) == 0 ? st.st_ino : 0;
            break;
        }
        if (errno != EAGAIN)
            break;
        busy = tries == 19;
    }
}

Lease::~Lease()
{
    ::close(fd); // which ends the lease
    ::sigaction(SIGIO, &sigio, nullptr);
}

bool Lease::wanted() const
{
    return inode && ::fcntl(fd, F_GETLEASE) != F_RDLCK;
}

std::optional<QString> replaceFile(const Place &place, const Read &before, const Lease &lease,
                                   const QByteArray &content, bool &changed)
{
    const auto notWritten = [&place](const QString &why) {
        return tr("%1 cannot be written: %2").arg(place.file, why);
    };
    removeLeftovers(place);
    // Made 0600 (mkostemp's way), so that nobody reads it before it has its mode.
    QByteArray made = "/proc/self/fd/" + QByteArray::number(place.folder) + "/." + place.name +
                      kNewFileTag + "XXXXXX";
    const int fd = ::mkostemp(made.data(), O_CLOEXEC);
    if (fd < 0)
        return notWritten(tr("no new file can be made beside it: %1").arg(qt_error_string()));
    const QByteArray name = made.sliced(made.lastIndexOf('/') + 1);
    bool renamed = false;
    const auto cleanUp = qScopeGuard([&] {
        ::close(fd);
        if (!renamed)
            ::unlinkat(place.folder, name.constData(), 0);
    });
    const mode_t umask = ::umask(0); // read by setting it
    ::umask(umask);
    const mode_t mode = before.exists ? before.info.st_mode & 07777 : 0666 & ~umask;
    // Owner and group first: changing them may clear the set-id bits. Where this
    // user may set neither, the new file is ours, as with any editor.
    if (before.exists && ::fchown(fd, before.info.st_uid, before.info.st_gid) != 0)
        (void)!::fchown(fd, uid_t(-1), before.info.st_gid);
    if (::fchmod(fd, mode) != 0)
        return notWritten(tr("its mode %1 cannot be kept: %2")
                              .arg(uint(mode), 4, 8, QChar(u'0'))
                              .arg(qt_error_string()));
    for (qsizetype done = 0, n = 0; done < content.size(); done += n)
        if ((n = ::write(fd, content.constData() + done, size_t(content.size() - done))) < 0)
            return notWritten(qt_error_string());
    if (::fsync(fd) != 0)
        return notWritten(qt_error_string());

    // A last look, at the bytes and the lease: a writer that takes no lock (an
    // editor, sed -i, a script's >>) may have changed the file since it was read,
    // in place or by replacing it, or be about to write it in place; its change
    // then stands, and the save starts again. Taken
    // after our file is on disk: syncing it may hold up another writer's write
    // until just then. A change in the instant between this look and the rename
    // is lost: that instant is all the save leaves such writers.
    Read now;
    if (auto failure = readBytes(place, now))
        return failure;
    changed =
        lease.wanted() || (lease.inode && lease.inode != before.info.st_ino) ||
        now.exists != before.exists ||
        (now.exists && (now.info.st_ino != before.info.st_ino ||
                        now.info.st_dev != before.info.st_dev || now.content != before.content));
    if (changed)
        return std::nullopt;
    // A first save does not overwrite a file made meanwhile, where the file
    // system can tell.
    const auto rename = [&](unsigned flags) {
        return ::renameat2(place.folder, name.constData(), place.folder, place.name.constData(),
                           flags) == 0;
    };
    if (!rename(before.exists ? 0 : RENAME_NOREPLACE) &&
        !(errno == EINVAL && !before.exists && rename(0))) {
        if (errno != EEXIST)
            return tr("%1 cannot be replaced: %2").arg(place.file, qt_error_string());
        changed = true;
        return std::nullopt;
    }
    renamed = true;
    // Synced, so that after a power cut the new file is the one on disk (ext4 and
    // xfs may bring the old one back unless the folder is synced too).
    const int folder = ::openat(place.folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int error = folder >= 0 && ::fsync(folder) == 0 ? 0 : errno;
    ::close(folder);
    if (error)
        return tr("the new %1 is in place, but the system did not confirm that it is on disk "
                  "(%2), so a power cut could still undo the save; save again")
            .arg(place.file, qt_error_string(error));
    return std::nullopt;
}

} // namespace SettingsFile
