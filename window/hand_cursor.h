#pragma once

// The window's custom pointer, read from a Windows .cur file. Qt reads the
// image; the hotspot is two 16-bit little-endian numbers at bytes 10 and 12.

#include <QCursor>
#include <QString>

#include <optional>

// The cursor, or nothing when the file cannot be read as one (empty,
// truncated or not a cursor at all).
std::optional<QCursor> LoadHandCursor(const QString &path);
