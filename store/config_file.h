#pragma once

// The user's settings file on Unix, handled with care because it is shared:
// other tools keep their groups in it and people edit it by hand. Nothing here
// opens what is not a regular file, so a FIFO or a device in its place can
// neither block the program nor be overwritten, and a read creates nothing.

#include <QByteArray>
#include <QString>

#include <optional>
#include <sys/stat.h>

namespace ConfigFile
{

// The folder of the user's settings files: $XDG_CONFIG_HOME when it is an
// absolute path, otherwise $HOME/.config when HOME is one; empty when neither.
QString userFolder();

// The file at a path as found at one moment: where its links lead, and what it holds.
struct Snapshot {
    enum State { Missing, Regular, Refused } state = Missing;
    QString path;       // as asked for
    QString target;     // the file the kernel finds at the end of any links: the one to replace
    QString reason;     // for Refused: what is wrong, naming the path
    QByteArray content; // for Regular
    struct stat info {
    }; // for Regular: identity, mode, owner

    // Whether `now` is still the file this snapshot was taken of, byte for byte.
    bool sameFileAs(const Snapshot &now) const;
};
// Why a path cannot be used, if so: its bytes are not UTF-8, and it would name another file.
std::optional<QString> undecodable(const QString &path);

// Follows the links of `path` and reads the regular file at their end, without
// blocking: a FIFO or a device swapped in at any moment is refused, not opened.
Snapshot take(const QString &path);

// Why no lock can ever be taken at `lockPath` (a folder, a FIFO, a device, a
// link), if so; a missing or regular file is for the lock itself to judge.
std::optional<QString> lockProblem(const QString &lockPath);

// Replaces the file of `read` with `content` atomically: a new file in the same
// folder, with the old file's mode, owner and group where the process may set
// them (a new store gets what the umask gives), renamed over the old one only
// while the file at the path is still the one `read` saw. `changed` tells when
// it was not: someone wrote the file meanwhile, and nothing was replaced.
std::optional<QString> replace(const Snapshot &read, const QByteArray &content, bool &changed);

} // namespace ConfigFile
