#pragma once

#include <QString>

// True when path names an existing file whose modification time can be read. Folders, empty
// or malformed text and anything that cannot be probed count as absent. Never throws.
bool FileExists(const QString &path);
