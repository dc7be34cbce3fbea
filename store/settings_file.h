#pragma once

// The steps of a save of the settings file, each in a file of its own, in the
// order a save takes them: where the file is and who may write it
// (settings_place.cpp), the lock (settings_lock.cpp), what the file says and
// what an edit makes of it (settings_content.cpp), the new file and its swap
// (settings_replace.cpp). settings_file.cpp puts them together.

#include "settings_file_edit.h"

#include <QCoreApplication>
#include <QFile>
#include <QScopeGuard>
#include <QThread>
#include <QVariant>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

class QLockFile;

namespace SettingsFile
{

// The largest settings file read or written: a desktop program's settings are
// a few kilobytes, and at this size the worst file costs --show and --set well
// under a second (docs/settings-file.md has the figures).
constexpr qint64 kLargestFile = 128 << 10;

inline QString tr(const char *text)
{
    return QCoreApplication::translate("SettingsFile", text);
}
QString kindOf(mode_t mode); // "a folder", "a FIFO", …

// Where the file is: the folder that holds it, open, and its name there. Every
// part of the path was opened without following links; links were read and
// followed by hand.
struct Place {
    QString file;    // the path with links followed, for messages
    int folder = -1; // none: a folder on the way does not exist (reading only)
    QByteArray name;
    ~Place();
};
// Finds the file of `path`. Root follows no link and enters no folder that is
// not root's. To save (`toSave`), missing folders are made, and a file or folder
// whose mode or attributes forbid the replacement is refused.
std::optional<QString> findFile(const QString &path, Place &place, bool toSave);

// Takes `lock` (the lock QSettings writers take, beside the file), waiting
// `waitMs` at most for another holder.
std::optional<QString> takeLock(QLockFile &lock, const QString &lockPath, int waitMs);

using Values = std::map<QString, QVariant>;
// The file as read at one moment.
struct Read {
    bool exists = false;
    struct stat info {
    };                    // identity, mode, owner
    QByteArray content{}; // the bytes
    Values values{};      // what QSettings reads there
};
// The bytes alone, or what QSettings reads in them too.
std::optional<QString> readBytes(const Place &place, Read &r);
std::optional<QString> readFile(const Place &place, Read &r);
SettingsFileEdit edit(const Read &before, const std::vector<SettingText> &texts,
                      const QString &file);

// A read lease on the file at the place (fcntl(2)), taken before it is read:
// while it is held, a program that opens the file to write it in place (an
// editor, a script's >>) waits, and the save sees that it wants to. None where
// the system gives none (another user's file, some file systems).
struct Lease {
    explicit Lease(const Place &place);
    ~Lease();
    bool busy = false;   // the file is open for writing in another program now
    bool wanted() const; // another program has asked to write it since
    int fd = -1;
    ino_t inode = 0;
    struct sigaction sigio; // as it was: a wanted lease sends SIGIO, which is ignored meanwhile
};

// Puts `content` at the place of the file `before` read, in one rename; `changed`
// says that another writer changed the file since, or wants to, and nothing was
// replaced.
std::optional<QString> replaceFile(const Place &place, const Read &before, const Lease &lease,
                                   const QByteArray &content, bool &changed);

} // namespace SettingsFile
