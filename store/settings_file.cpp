// The Unix store: one settings file per application in the user's config
// folder, in QSettings' native format. The file is shared with other tools and
// with people who edit it by hand, so QSettings reads it, our own line editor
// changes the lines of our keys and nothing else, and QSettings judges every
// edit before the file is replaced. A save is one straight line, as git's config
// save is: lock, read, edit, judge, write, swap, sync.

#include "ini_edit.h"
#include "settings_file_edit.h"
#include "settings_store.h"
#include "store_error.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QLockFile>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace
{

// The largest settings file read or written: a desktop program's settings are a
// few kilobytes, and --show and --set stay well under a second at this size
// (docs/settings-file.md gives the figures).
constexpr qint64 kLargestFile = 512 << 10;
// A lock names its holder in a few bytes; a larger one is no lock to be read.
constexpr qint64 kLargestLock = 4096;
// A writer that does not take the lock may replace the file during a save; the
// save then starts again from the new contents, this many times at most.
constexpr int kSaveAttempts = 10;
// Our new files are ".<name>" plus this and six letters or digits: a name that
// no person or other tool would give a backup, so that a leftover of a killed
// save can be told from the user's own files by its name.
constexpr char kNewFileTag[] = ".velmora-save-";

// Every way a read or a save can fail: a named kind and its words, all in one
// place; %1 is the path, %2 what else the words name.
struct Trouble {
    const char *words;
};
constexpr Trouble NoFolder{
    "the settings folder is unknown: neither XDG_CONFIG_HOME nor HOME is an absolute path"};
constexpr Trouble Unreachable{"cannot tell where %1 leads: %2"};
constexpr Trouble NotAFile{"%1 is %2, not a regular file"};
constexpr Trouble Unreadable{"%1 cannot be read: %2"};
constexpr Trouble KernelFile{"%1 is a file of the kernel, not a settings file, and is not read"};
constexpr Trouble TooLarge{"%1 is larger than %2 KiB, more than any settings file"};
constexpr Trouble NotText{"%1 is not UTF-8 text (%2), so it is left alone; save it as UTF-8"};
constexpr Trouble ReaderFailed{"the settings reader could not read %1 (the system refused it, say "
                               "for want of free file descriptors); try again"};
constexpr Trouble NotRootsFolder{
    "the settings folder %1 belongs to %2, and Velmora run as root writes into no other user's "
    "settings; run it as %2 (sudo -u %2 velmora …)"};
constexpr Trouble RootThroughLink{
    "%1 is a symbolic link that belongs to %2, and Velmora run as root follows no other user's "
    "link; run it as %2 (sudo -u %2 velmora …)"};
constexpr Trouble FolderNotMade{"the folder %1 cannot be created: %2"};
constexpr Trouble Frozen{"%1 is %2 (see lsattr), so the settings file cannot be replaced"};
constexpr Trouble ReadOnly{"%1 is read-only"};
constexpr Trouble LockUnusable{"the lock file %1 is %2, so no lock can be taken; remove it"};
constexpr Trouble LockNotMade{"the lock file %1 cannot be made: %2"};
constexpr Trouble LockHeld{"another program holds the lock file %1"};
constexpr Trouble CannotEdit{
    "in %1, %2. Nothing was written: mend that line by hand, then save again"};
constexpr Trouble Misread{
    "in %1, %2. Nothing was written; look there for a quote or a backslash that joins lines"};
constexpr Trouble WouldGrow{
    "%1 would grow past %2 KiB, more than any settings file, so nothing was written"};
constexpr Trouble NotWritten{"%1 cannot be written: %2"};
constexpr Trouble NotReplaced{"%1 cannot be replaced: %2"};
constexpr Trouble Collided{
    "another program replaced %1 at the very moment of the save, so the save was not finished "
    "cleanly: one version is at %1, the other is kept as %2; compare the two and save again"};
constexpr Trouble KeptChanging{
    "%1 was changed by another program %2 times while it was being saved, so nothing was written "
    "and the file is as that program left it; save again"};

QString tr(const char *text)
{
    return QCoreApplication::translate("SettingsFile", text);
}

QString say(Trouble trouble, const QString &path = {}, const QString &detail = {})
{
    const QString words = tr(trouble.words);
    QString said;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const bool mark = words[i] == u'%' && i + 1 < words.size();
        said += !mark ? QString(words[i]) : words[++i] == u'1' ? path : detail;
    }
    return said;
}

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

QString kindOf(mode_t mode)
{
    return S_ISDIR(mode)                    ? tr("a folder")
           : S_ISFIFO(mode)                 ? tr("a FIFO")
           : S_ISCHR(mode) || S_ISBLK(mode) ? tr("a device")
           : S_ISSOCK(mode)                 ? tr("a socket")
           : S_ISLNK(mode)                  ? tr("a symbolic link")
                                            : tr("not a file");
}

QString ownerName(uid_t uid)
{
    const passwd *owner = ::getpwuid(uid);
    return owner ? QString::fromLocal8Bit(owner->pw_name) : QString::number(uid);
}

// The folder part of a path, exactly as written: "a/b/../c" gives "a/b/..".
QString folderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QStringLiteral(".") : slash == 0 ? QStringLiteral("/") : path.first(slash);
}

QString inFolder(const QString &folder, const QString &name)
{
    return folder == u"/" ? u'/' + name : folder + u'/' + name;
}

// A name whose bytes are not UTF-8 reaches us with U+FFFD in their place; its
// bytes can no longer be told, and using it would read or write another file.
// Where links lead is looked at too, once they are followed.
std::optional<QString> undecodable(const QString &path)
{
    if (!path.contains(QChar::ReplacementCharacter))
        return std::nullopt;
    return tr("the path %1 holds bytes that are not UTF-8 (shown as %2), so it cannot be used; "
              "rename it, or point XDG_CONFIG_HOME elsewhere")
        .arg(path, QChar(QChar::ReplacementCharacter));
}

// What of the attributes of a file or a folder keeps a file in it from being
// replaced (see lsattr), if anything.
QString frozen(const QString &path)
{
    int flags = 0;
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    const bool known = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    ::close(fd);
    return !known                    ? QString()
           : flags & FS_IMMUTABLE_FL ? tr("immutable")
           : flags & FS_APPEND_FL    ? tr("append-only")
                                     : QString();
}

using Values = std::map<QString, QVariant>;

// The file at a path as found at one moment.
struct Read {
    QString path{};   // as asked for
    QString target{}; // the file at the end of any links: the one to replace
    bool exists = false;
    struct stat info {
    };                    // identity, mode, owner
    QByteArray content{}; // the bytes
    Values values{};      // what QSettings reads there
};

// Where `path` leads. Links are followed one at a time, so that any number of
// them that end at a missing file lead to where the first save makes it.
std::optional<QString> resolve(Read &r)
{
    QString at = r.path;
    for (int links = 0;; ++links) {
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(encoded(at).constData(), buffer, sizeof buffer);
        if (n < 0 && errno != EINVAL && errno != ENOENT)
            return say(Unreachable, r.path, qt_error_string());
        if (n < 0)
            break;
        if (links == 40)
            return say(Unreachable, r.path, qt_error_string(ELOOP));
        // Root follows no other user's link: it may lead to any file of root's.
        struct stat st;
        if (::geteuid() == 0 && ::lstat(encoded(at).constData(), &st) == 0 && st.st_uid != 0)
            return say(RootThroughLink, at, ownerName(st.st_uid));
        const QString link = QFile::decodeName(QByteArray(buffer, n));
        at = link.startsWith(u'/') ? link : inFolder(folderOf(at), link);
        if (auto bad = undecodable(at))
            return bad;
    }
    char buffer[PATH_MAX];
    if (::realpath(encoded(folderOf(at)).constData(), buffer))
        r.target = inFolder(QFile::decodeName(buffer), at.sliced(at.lastIndexOf(u'/') + 1));
    else if (errno == ENOENT && at == r.path)
        r.target = at; // no folder yet: the first save makes it
    else
        return errno == ENOENT
                   ? say(Unreachable, r.path, tr("its links lead to a folder that does not exist"))
                   : say(Unreachable, r.path, qt_error_string());
    return undecodable(r.target);
}

// Kernel file systems hold files whose reading does something (reading
// /proc/kmsg consumes the kernel's messages).
bool isKernelFile(int fd)
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

// Reads the regular file at `r.target`, without blocking: a FIFO or a device in
// its place, even one swapped in at any moment, is refused, not opened.
std::optional<QString> load(Read &r)
{
    const QByteArray target = encoded(r.target);
    struct stat st;
    if (::lstat(target.constData(), &st) != 0)
        return errno == ENOENT ? std::nullopt
                               : std::optional(say(Unreachable, r.path, qt_error_string()));
    if (!S_ISREG(st.st_mode))
        return say(NotAFile, r.target, kindOf(st.st_mode));
    const int fd =
        ::open(target.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return say(Unreadable, r.target, qt_error_string());
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    if (::fstat(fd, &r.info) != 0)
        return say(Unreadable, r.target, qt_error_string());
    if (!S_ISREG(r.info.st_mode))
        return say(NotAFile, r.target, kindOf(r.info.st_mode));
    if (isKernelFile(fd))
        return say(KernelFile, r.target);
    if (r.info.st_size > kLargestFile)
        return say(TooLarge, r.target, QString::number(kLargestFile >> 10));
    QFile file;
    if (file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        r.content = file.read(kLargestFile + 1); // one byte more tells a file that grew past it
    if (file.error() != QFileDevice::NoError)
        return say(Unreadable, r.target, file.errorString());
    if (r.content.size() > kLargestFile)
        return say(TooLarge, r.target, QString::number(kLargestFile >> 10));
    // QSettings would read such a file as empty, and a save append UTF-8 lines to it.
    if (r.content.startsWith("\xff\xfe") || r.content.startsWith("\xfe\xff"))
        return say(NotText, r.target, tr("it begins with a UTF-16 or UTF-32 byte-order mark"));
    if (r.content.contains('\0'))
        return say(NotText, r.target, tr("it holds NUL bytes"));
    r.exists = true;
    return std::nullopt;
}

// Whether a lookup can find a key by the name the listing gives it. A lookup
// folds doubled slashes and drops them at both ends, so "Velmora//Home", which
// [Velmora] with a line "\Home" lists, is looked up as "Velmora/Home", another
// key; and the empty key is no name for a lookup at all.
bool isLookupName(const QString &key)
{
    return !key.isEmpty() && !key.startsWith(u'/') && !key.endsWith(u'/') &&
           !key.contains(QLatin1String("//"));
}

// Every key of `content` as QSettings lists it, with the value a lookup of that
// name finds; a key no lookup can reach has none, for no reader sees one.
// Listing all keys makes QSettings parse every group: a lookup alone may stop at
// a group such as [Velmora\Backup] and never reach [Velmora]. No value is built
// as an "@Variant(…)": it may be a NaN that is not even equal to itself, or a
// picture that needs a GUI; the text is changed wherever it stands, since an
// escape such as "\x40" can spell its "@".
std::optional<QString> readValues(QByteArray content, Values &values, const QString &file)
{
    values.clear();
    if (content.isEmpty())
        return std::nullopt;
    content.replace("Variant(", "Variant-as-text(");
    // QSettings reads paths only. The bytes are handed to it as a file in memory
    // that no folder holds, so a read leaves nothing behind. It trusts what it
    // read of a path while size and time agree, and descriptor paths come round
    // again: each such file gets a time of its own.
    static time_t nextTime = 1;
    const int fd = ::memfd_create("velmora-settings", MFD_CLOEXEC);
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    const timespec times[2] = {{0, UTIME_OMIT}, {nextTime++, 0}};
    if (fd < 0 || ::write(fd, content.constData(), size_t(content.size())) != content.size() ||
        ::futimens(fd, times) != 0)
        return say(ReaderFailed, file);
    const QSettings settings(QStringLiteral("/proc/self/fd/%1").arg(fd), QSettings::NativeFormat);
    for (const QString &key : settings.allKeys())
        values.emplace(key, isLookupName(key) ? settings.value(key) : QVariant());
    // A reader that could not read is a fault of the system, not of the file; a
    // format error still reads the rest.
    if (settings.status() == QSettings::AccessError)
        return say(ReaderFailed, file);
    return std::nullopt;
}

std::optional<QString> readFile(const QString &path, Read &r)
{
    r.path = r.target = path;
    if (auto failure = resolve(r))
        return failure;
    if (auto failure = load(r))
        return failure;
    return readValues(r.content, r.values, r.target);
}

QString shown(const QVariant &value)
{
    if (!value.isValid())
        return tr("nothing");
    return QuotedStoredText(value.typeId() == QMetaType::QStringList
                                ? value.toStringList().join(u',')
                                : value.toString());
}

// A value in a form that equals itself: a NaN, however it was spelt, does not
// equal itself as a value.
QByteArray storedForm(const QVariant &value)
{
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << value;
    return bytes;
}

// Why an edited file must not stand: a key of ours that does not read as its
// new text, or any other key that reads differently from before.
std::optional<QString> misread(Values before, Values after, const std::map<QString, QString> &ours)
{
    for (const auto &[key, text] : ours) {
        const QVariant value = after.count(key) ? after[key] : QVariant();
        if (value.typeId() != QMetaType::QString || value.toString() != text)
            return tr("\"%1\" would read as %2, not \"%3\"").arg(key, shown(value), text);
        before.erase(key);
        after.erase(key);
    }
    for (const auto &[key, value] : before) {
        const auto now = after.find(key);
        if (now == after.end())
            return tr("the key \"%1\", which is not ours, would be lost").arg(key);
        if (now->second != value && storedForm(now->second) != storedForm(value))
            return tr("the key \"%1\", which is not ours, would read as %2 instead of %3")
                .arg(key, shown(now->second), shown(value));
        after.erase(now);
    }
    if (!after.empty())
        return tr("a key \"%1\" would appear").arg(after.begin()->first);
    return std::nullopt;
}

// The file as read with our texts in place, judged by the settings reader.
SettingsFileEdit edit(const Read &before, const std::vector<SettingText> &texts)
{
    std::map<QString, std::vector<IniEdit::Assignment>> bySection;
    std::map<QString, QString> ours; // section/key, new text
    for (const SettingText &t : texts) {
        bySection[t.section].push_back({t.key, t.text.toUtf8()});
        ours[t.section + u'/' + t.key] = t.text;
    }
    SettingsFileEdit e{before.content, {}};
    QStringList changedLines;
    for (const auto &[section, values] : bySection) {
        IniEdit::Document::Edit edit = IniEdit::Document(e.content).assign(section, values);
        if (edit.problem) {
            e.refusal = say(CannotEdit, before.target, *edit.problem);
            return e;
        }
        e.content = std::move(edit.content);
        for (const int line : edit.changedLines)
            changedLines << QString::number(line);
    }
    if (e.content.size() > kLargestFile) {
        e.refusal = say(WouldGrow, before.target, QString::number(kLargestFile >> 10));
        return e;
    }
    Values after;
    changedLines.removeDuplicates();
    if (auto failure = readValues(e.content, after, before.target)) {
        e.refusal = failure;
        return e;
    }
    if (const auto wrong = misread(before.values, after, ours))
        e.refusal = say(Misread, before.target,
                        tr("after our change of line %1, %2")
                            .arg(changedLines.join(QStringLiteral(", ")), *wrong));
    return e;
}

// Makes a missing settings folder as the XDG base directory rules ask: 0700.
std::optional<QString> makeFolder(const QString &folder)
{
    struct stat st;
    if (::stat(encoded(folder).constData(), &st) == 0)
        return std::nullopt;
    if (folderOf(folder) != folder)
        if (auto failure = makeFolder(folderOf(folder)))
            return failure;
    if (::mkdir(encoded(folder).constData(), 0700) != 0 && errno != EEXIST)
        return say(FolderNotMade, folder, qt_error_string());
    return std::nullopt;
}

// Removes a lock file that names no holder (empty, as a save killed between
// making and filling it leaves it, garbled, or too large to be a lock), but only
// while nobody holds it: QLockFile holds flock on its lock from just after making
// it, before it writes its name, and so may another tool. A second's grace
// covers the instant between the two. It is removed only while we hold it, and
// only if it is still the file at the path.
bool removeUnheld(const QByteArray &lockPath, const struct stat &st)
{
    if (std::abs(std::time(nullptr) - st.st_mtime) < 2)
        return false;
    const int fd = ::open(lockPath.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    const auto closeLock = qScopeGuard([fd] { ::close(fd); });
    struct stat held, now;
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 &&
           ::lstat(lockPath.constData(), &now) == 0 && held.st_ino == now.st_ino &&
           held.st_ino == st.st_ino && held.st_dev == now.st_dev &&
           ::unlink(lockPath.constData()) == 0;
}

// Other QSettings writers of the same file take this lock too. A lock held by
// someone else is waited for briefly, never for good; QLockFile itself takes
// over the lock of a holder that died, since it was told that age alone makes
// no lock stale.
std::optional<QString> takeLock(QLockFile &lock, const QString &lockPath, int waitMs)
{
    lock.setStaleLockTime(0);
    const QByteArray name = encoded(lockPath);
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        // Looked at before every try: QLockFile opens the lock to read its holder,
        // and a FIFO put there would block that for good.
        bool mayTry = true;
        struct stat st;
        if (::lstat(name.constData(), &st) == 0) {
            if (!S_ISREG(st.st_mode))
                return say(LockUnusable, lockPath, kindOf(st.st_mode));
            const bool small = st.st_size <= kLargestLock;
            if (!small || !lock.getLockInfo(nullptr, nullptr, nullptr))
                mayTry = removeUnheld(name, st) || small;
        } else if (errno != ENOENT) {
            return say(Unreachable, lockPath, qt_error_string());
        }
        errno = 0;
        if (mayTry && lock.tryLock(0))
            return std::nullopt;
        const int error = errno;
        if (mayTry && lock.error() != QLockFile::LockFailedError)
            return say(LockNotMade, lockPath,
                       error ? qt_error_string(error) : tr("the system gave no reason"));
        if (waited.elapsed() > waitMs)
            return say(LockHeld, lockPath);
        QThread::msleep(50);
    }
}

// When root saves, nothing of another user's is written to or through, and no
// folder is made in one (as git refuses a repository that someone else owns):
// the nearest part of `path` that exists is looked at, as a link and as what
// it leads to.
std::optional<QString> othersAsRoot(QString path)
{
    if (::geteuid() != 0)
        return std::nullopt;
    struct stat link, st;
    while (::lstat(encoded(path).constData(), &link) != 0 && folderOf(path) != path)
        path = folderOf(path);
    if (S_ISLNK(link.st_mode) && link.st_uid != 0)
        return say(RootThroughLink, path, ownerName(link.st_uid));
    if (::stat(encoded(path).constData(), &st) == 0 && st.st_uid != 0)
        return say(NotRootsFolder, path, ownerName(st.st_uid));
    return std::nullopt;
}

// Whether a save may replace the file it read: not what its mode or its
// attributes forbid, whoever runs it, and when root runs it, nothing that belongs
// to another user (as git refuses a repository that someone else owns).
std::optional<QString> mayReplace(const Read &r)
{
    if (r.exists &&
        ((r.info.st_mode & 0222) == 0 || ::access(encoded(r.target).constData(), W_OK) != 0))
        return say(ReadOnly, r.target);
    const QString folder = folderOf(r.target);
    if (const QString how = frozen(r.target); !how.isEmpty())
        return say(Frozen, r.target, how);
    if (const QString how = frozen(folder); !how.isEmpty())
        return say(Frozen, tr("the folder %1").arg(folder), how);
    return othersAsRoot(folder);
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
        static const QRegularExpression sixLettersOrDigits(QStringLiteral("^[A-Za-z0-9]{6}$"));
        struct stat st;
        const QByteArray path = encoded(dir.filePath(entry));
        if (sixLettersOrDigits.match(entry.sliced(prefix.size())).hasMatch() &&
            ::lstat(path.constData(), &st) == 0 && S_ISREG(st.st_mode) &&
            st.st_uid == ::geteuid() && st.st_mtime + kOlderThan < std::time(nullptr))
            ::unlink(path.constData());
    }
}

// Our new file beside the one it replaces, removed unless it was swapped in.
struct NewFile {
    QByteArray name;
    ino_t inode = 0;
    bool swappedIn = false;
    ~NewFile()
    {
        if (!name.isEmpty() && !swappedIn)
            ::unlink(name.constData());
    }
};

// Writes the new file in the folder of the file it replaces, so that the swap
// is atomic, with that file's mode, owner and group (a new store gets what the
// umask gives), and on disk before it takes the old one's place.
std::optional<QString> writeNew(const Read &before, const QByteArray &content, NewFile &file)
{
    const QString folder = folderOf(before.target);
    const QString name = before.target.sliced(folder.size() + 1);
    removeLeftovers(folder, name);
    // Created with mode 0600, so that nobody reads it before it has its mode.
    QByteArray made =
        encoded(inFolder(folder, u'.' + name + QLatin1String(kNewFileTag))) + "XXXXXX";
    const int fd = ::mkostemp(made.data(), O_CLOEXEC);
    if (fd < 0)
        return say(NotWritten, before.target,
                   tr("no new file can be made beside it: %1").arg(qt_error_string()));
    file.name = made;
    const auto closeFile = qScopeGuard([fd] { ::close(fd); });
    struct stat ours;
    file.inode = ::fstat(fd, &ours) == 0 ? ours.st_ino : 0;
    mode_t mode = before.info.st_mode & 07777;
    if (before.exists) {
        // Owner and group first: changing them may clear the set-id bits. Where
        // this user may set neither, the new file is ours, as with any editor.
        if (::fchown(fd, before.info.st_uid, before.info.st_gid) != 0)
            (void)!::fchown(fd, uid_t(-1), before.info.st_gid);
    } else {
        mode = ::umask(0); // read by setting it
        ::umask(mode);
        mode = 0666 & ~mode;
    }
    if (::fchmod(fd, mode) != 0)
        return say(NotWritten, before.target,
                   tr("its mode %1 cannot be kept: %2")
                       .arg(uint(mode), 4, 8, QChar(u'0'))
                       .arg(qt_error_string()));
    QFile out;
    if (!out.open(fd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle) ||
        out.write(content) != content.size() || !out.flush() || ::fsync(fd) != 0)
        return say(NotWritten, before.target, out.error() ? out.errorString() : qt_error_string());
    return std::nullopt;
}

bool sameFile(const Read &a, const Read &b)
{
    return a.exists == b.exists &&
           (!a.exists || (a.info.st_dev == b.info.st_dev && a.info.st_ino == b.info.st_ino &&
                          a.content == b.content));
}

// Puts the new file in the old one's place. A writer that does not take the lock
// (an editor, sed -i, a sync tool, a script's >>) may have changed the file
// since it was read; `changed` then says so, and the file is as that writer
// left it. On Linux the two are swapped in one step and what was at the path
// comes back to be looked at; where the file system cannot swap, the file is
// looked at once more just before a plain rename.
std::optional<QString> swapIn(const Read &before, NewFile &file, bool &changed)
{
    const QByteArray target = encoded(before.target);
    // A cheap look first: once our file is at the path, a writer that replaces the
    // file may read it and build on it before ours is swapped back out.
    struct stat at;
    const auto differs = [&before](const struct stat &st) {
        return st.st_ino != before.info.st_ino || st.st_size != before.info.st_size ||
               st.st_mtim.tv_nsec != before.info.st_mtim.tv_nsec ||
               st.st_mtim.tv_sec != before.info.st_mtim.tv_sec;
    };
    changed = ::lstat(target.constData(), &at) == 0 ? !before.exists || differs(at) : before.exists;
    if (changed)
        return std::nullopt;
    const unsigned how = before.exists ? RENAME_EXCHANGE : RENAME_NOREPLACE;
    if (::renameat2(AT_FDCWD, file.name.constData(), AT_FDCWD, target.constData(), how) == 0) {
        file.swappedIn = !before.exists;
        if (!before.exists)
            return std::nullopt;
        // What was at the path is under our new file's name now: the old file
        // goes with that name, unless it is not the one we read.
        Read back{.target = QFile::decodeName(file.name)};
        changed = ::lstat(file.name.constData(), &at) != 0 || differs(at) ||
                  load(back).has_value() || !sameFile(before, back);
        if (!changed)
            return std::nullopt;
        // Swapped back, so that the other writer's file stands. Whatever is under our
        // name then, if it is not our new file, is another writer's: it is kept.
        const bool restored = ::renameat2(AT_FDCWD, file.name.constData(), AT_FDCWD,
                                          target.constData(), RENAME_EXCHANGE) == 0 &&
                              ::lstat(file.name.constData(), &at) == 0 && at.st_ino == file.inode;
        if (restored)
            return std::nullopt;
        QByteArray kept = file.name;
        kept.replace(kNewFileTag, ".velmora-kept-");
        file.swappedIn = true;
        if (::renameat2(AT_FDCWD, file.name.constData(), AT_FDCWD, kept.constData(),
                        RENAME_NOREPLACE) != 0)
            kept = file.name;
        return say(Collided, before.target, QFile::decodeName(kept));
    }
    if (errno == EEXIST || errno == ENOENT) { // made or removed by another writer since
        changed = true;
        return std::nullopt;
    }
    if (errno != EINVAL && errno != ENOSYS)
        return say(NotReplaced, before.target, qt_error_string());
    Read now;
    if (auto failure = readFile(before.path, now))
        return failure;
    changed = !sameFile(before, now) || now.target != before.target;
    if (changed)
        return std::nullopt;
    if (::rename(file.name.constData(), target.constData()) != 0)
        return say(NotReplaced, before.target, qt_error_string());
    file.swappedIn = true;
    return std::nullopt;
}

} // namespace

struct SettingsStore::Private {
    struct Opened {
        std::optional<QString> failure;
        Read read;
        std::optional<IniEdit::Document> document; // the file as read, for what QSettings hides
    };
    std::map<QString, Opened> open;

    void adopt(const QString &application, Read read, std::optional<QString> failure = {})
    {
        open[application] = {failure, read, IniEdit::Document(read.content)};
    }
};

SettingsStore::SettingsStore(QString root) : m_root(std::move(root)), d(std::make_unique<Private>())
{
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::defaultRoot()
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

QString SettingsStore::location(const QString &application) const
{
    const QString file = application + QStringLiteral(".conf");
    return m_root.isEmpty() ? QStringLiteral("$HOME/.config/") + file : QDir(m_root).filePath(file);
}

std::optional<QString> SettingsStore::open(const QString &application)
{
    if (const auto it = d->open.find(application); it != d->open.end())
        return it->second.failure;
    if (m_root.isEmpty())
        return d->open[application].failure = say(NoFolder);
    Read read;
    const auto failure = readFile(location(application), read);
    d->adopt(application, read, failure);
    return failure;
}

StoredText SettingsStore::GetSetting(const QString &application, const QString &section,
                                     const QString &key, qint16 defaultValue)
{
    const StoredText fallback = StoredText::defaultOf(defaultValue);
    if (open(application))
        return fallback;
    const Private::Opened &opened = d->open.at(application);
    const auto it = opened.read.values.find(section + u'/' + key);
    if (it == opened.read.values.end()) {
        StoredText missing = fallback;
        // The file may hold the key where QSettings cannot see it; the defaults
        // would then hide the user's choice, and the next save overwrite it.
        if (const auto problem = opened.document->whyUnseen(section, key))
            missing.unreadable = tr("the key \"%1\" is in the file, but %2. Mend that line by "
                                    "hand, then start again")
                                     .arg(key, *problem);
        return missing;
    }
    // Messages quote the file, not QSettings' decoding of it ("@String(1)", "\x41").
    const auto raw = opened.document->rawValue(section, key);
    const QVariant &value = it->second;
    const bool plain = value.typeId() == QMetaType::QString &&
                       !value.toString().startsWith(QLatin1String("@Variant-as-text("));
    const QString asStored = raw ? QString::fromUtf8(*raw) : value.toString();
    return {
        .text = plain ? value.toString() : asStored, .isPlainText = plain, .asStored = asStored};
}

SettingsFileEdit EditSettingsFile(const QByteArray &content, const std::vector<SettingText> &texts,
                                  const QString &file)
{
    Read before{.path = file, .target = file, .exists = true, .content = content};
    if (auto failure = readValues(content, before.values, file))
        return {content, failure};
    return edit(before, texts);
}

std::optional<QString> SettingsStore::commit(const QString &application, const Decision &decide)
{
    d->open.erase(application); // whatever happens, the next read looks at the disk again
    const auto forget = qScopeGuard([&] { d->open.erase(application); });
    if (m_root.isEmpty())
        return say(NoFolder);
    const QString path = location(application);
    // Before any folder is made: a path that cannot be used leads nowhere else either.
    if (auto bad = undecodable(path))
        return bad;
    if (auto refusal = othersAsRoot(m_root))
        return refusal;
    if (auto failure = makeFolder(m_root))
        return failure;
    // In a folder where nothing can be removed, a lock could be made but never removed.
    if (const QString how = frozen(m_root); !how.isEmpty())
        return say(Frozen, tr("the folder %1").arg(m_root), how);

    // 1. The lock, for the whole save: no other save of ours, nor any QSettings
    // writer, comes between our read and our write.
    const QString lockPath = path + QStringLiteral(".lock");
    QLockFile lock(lockPath);
    if (auto failure = takeLock(lock, lockPath, m_lockWaitMs))
        return failure;

    for (int attempt = 0; attempt < kSaveAttempts; ++attempt) {
        // 2. Read.
        Read before;
        if (auto failure = readFile(path, before))
            return failure;
        if (auto refusal = mayReplace(before))
            return refusal;
        d->adopt(application, before);
        const std::optional<std::vector<SettingText>> texts = decide();
        if (!texts)
            return std::nullopt;
        // 3. and 4. Edit, and judge the result with the settings reader.
        const SettingsFileEdit edited = edit(before, *texts);
        if (edited.refusal)
            return edited.refusal;
        // 5. Write the new file.
        NewFile file;
        if (auto failure = writeNew(before, edited.content, file))
            return failure;
        // 6. Swap it in, and look at what came back.
        bool changed = false;
        if (auto failure = swapIn(before, file, changed))
            return failure;
        if (changed)
            continue;
        // 7. Sync the folder: after a power cut ext4 and xfs may bring the old file
        // back unless the folder is on disk, and Ok has then told the user that the
        // save stands.
        const int folder = ::open(encoded(folderOf(before.target)).constData(),
                                  O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::fsync(folder); // neither matters for a folder that could not be opened
        ::close(folder);
        return std::nullopt;
    }
    return say(KeptChanging, path, QString::number(kSaveAttempts));
}
