// The lock: "Quenmark.conf.lock", the one QSettings writers take, held for the
// whole save. QLockFile takes it. Before every try, what it would open is looked
// at: the lock, and the helper file it opens to take over a stale lock
// (".rmlock"). A FIFO there would block it for good, a link to /dev/zero spin
// it, a huge file be read whole, and a folder look like a lock that is held.

#include "settings_file.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QLockFile>

#include <sys/file.h>

namespace SettingsFile
{
namespace
{

// A lock names its holder in a few bytes; a larger file is no lock to be read.
constexpr qint64 kLargestLock = 4096;

// Removes a lock file that names no holder (empty, as a save killed between
// making and filling it leaves it, garbled, or too large to be a lock), but only
// while nobody holds it: QLockFile holds flock on its lock from just after
// making it, before it writes its name, and so may another tool. Half a second
// covers the instant between the two. It is removed while we hold it, and only
// if it is still the file at the path.
bool removeUnheld(const QByteArray &path, const struct stat &st)
{
    const qint64 madeMs = qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    if (QDateTime::currentMSecsSinceEpoch() - madeMs < 500)
        return false;
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    const auto closeLock = qScopeGuard([fd] { ::close(fd); });
    struct stat held, at;
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 &&
           ::lstat(path.constData(), &at) == 0 && held.st_ino == at.st_ino &&
           held.st_ino == st.st_ino && held.st_dev == at.st_dev && ::unlink(path.constData()) == 0;
}

// What is known of a lock that could not be taken in time: that someone holds
// it, or that it is there and names nobody who does, or cannot be read.
QString whyHeld(QLockFile &lock, const QString &path)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    const auto closeLock = qScopeGuard([fd] { ::close(fd); });
    const QString unlessSaving = tr("; remove it if no other program is saving settings now");
    if (fd < 0)
        return tr("the lock file %1 cannot be read (%2)").arg(path, qt_error_string()) +
               unlessSaving;
    qint64 pid = 0;
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0 || (lock.getLockInfo(&pid, nullptr, nullptr) &&
                                                (::kill(pid_t(pid), 0) == 0 || errno == EPERM)))
        return tr("another program holds the lock file %1").arg(path);
    return tr("the lock file %1 names no running program that holds it").arg(path) + unlessSaving;
}

} // namespace

std::optional<QString> takeLock(QLockFile &lock, const QString &lockPath, int waitMs)
{
    // Age alone makes no lock stale: QLockFile takes over the lock of a holder that died.
    lock.setStaleLockTime(0);
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        bool mayTry = true;
        for (const QString &path : {lockPath, lockPath + QStringLiteral(".rmlock")}) {
            const QByteArray name = QFile::encodeName(path);
            struct stat st;
            if (::lstat(name.constData(), &st) != 0) {
                if (errno != ENOENT)
                    return tr("cannot tell where %1 leads: %2").arg(path, qt_error_string());
                continue;
            }
            if (!S_ISREG(st.st_mode))
                return tr("the lock file %1 is %2, so no lock can be taken; remove it")
                    .arg(path, kindOf(st.st_mode));
            const bool small = st.st_size <= kLargestLock;
            if (!small || (path == lockPath && !lock.getLockInfo(nullptr, nullptr, nullptr)))
                mayTry = (removeUnheld(name, st) || small) && mayTry;
        }
        errno = 0;
        if (mayTry && lock.tryLock(0))
            return std::nullopt;
        const int error = errno;
        if (mayTry && lock.error() != QLockFile::LockFailedError)
            return tr("the lock file %1 cannot be made: %2")
                .arg(lockPath, error ? qt_error_string(error) : tr("the system gave no reason"));
        if (waited.elapsed() > waitMs)
            return whyHeld(lock, lockPath);
        QThread::msleep(50);
    }
}

} // namespace SettingsFile
