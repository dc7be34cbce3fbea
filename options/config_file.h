#pragma once

// The user's settings file on Unix, handled with care because it is shared:
// other tools keep their groups in it and people edit it by hand. Nothing here
// opens what is not a regular file, so a FIFO or a device in its place can
// neither block the program nor be overwritten.

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace ConfigFile
{

// The folder of the user's settings files: $XDG_CONFIG_HOME when it is an
// absolute path, otherwise $HOME/.config when HOME is one; empty when neither.
QString userFolder();

struct Probe {
    enum State { Missing, Regular, Refused } state = Missing;
    QString target; // the file the kernel finds at the end of any links: the one to replace
    QString reason; // for Refused: what is wrong, naming the path
};
// Looks at `path` and the links it leads through, without opening anything.
// Relative links are resolved from the folder the link really is in, as the
// kernel does, not by editing the path as text.
Probe probe(const QString &path);

// Why no lock can ever be taken at `lockPath` (a folder, a FIFO, a device, a
// link), if so; a missing or regular file is for the lock itself to judge.
std::optional<QString> lockProblem(const QString &lockPath);

// The contents of a regular file; the reason otherwise.
std::optional<QString> read(const QString &target, QByteArray &content);

// Puts `content` in a file of our own beside `beside` that no one else sees and
// hands its path to `look`, then removes it. The path is fresh to any cache
// keyed by path and time, such as QSettings' own.
std::optional<QString> inspect(const QString &beside, const QByteArray &content,
                               const std::function<void(const QString &)> &look);

// Replaces `target` atomically with `content`: a new file in the same folder,
// with the old file's mode, owner and group where the process may set them,
// checked by `verify` (given a path to it, fresh as for `inspect`) before it is
// renamed over the old one. `verify` returns why the new file must not be used.
std::optional<QString>
replace(const QString &target, const QByteArray &content,
        const std::function<std::optional<QString>(const QString &)> &verify);

} // namespace ConfigFile
