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
// absolute path, otherwise $HOME/.config; empty when neither can be told.
QString userFolder();

struct Probe {
    enum State { Missing, Regular, Refused } state = Missing;
    QString target; // the path at the end of any links, the file to read and replace
    QString reason; // for Refused: what is wrong, naming the path
};
// Looks at `path` and the links it leads through, without opening anything.
Probe probe(const QString &path);

// The contents of a regular file; the reason otherwise.
std::optional<QString> read(const QString &target, QByteArray &content);

// Replaces `target` atomically: a new file in the same folder, with the old
// file's mode, owner and group where the process may set them, checked by
// `verify` (given its path) before it is renamed over the old one.
std::optional<QString> replace(const QString &target, const QByteArray &content,
                               const std::function<bool(const QString &)> &verify);

} // namespace ConfigFile
