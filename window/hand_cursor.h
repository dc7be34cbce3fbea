#pragma once

// The window's custom pointer, read from a Windows .cur file. Qt reads the
// image; the hotspot is two 16-bit little-endian numbers at bytes 10 and 12.

#include <QByteArray>
#include <QCursor>
#include <QString>

#include <optional>

// The file is read when the window loads, and made into a pointer only when first
// asked for: the image plugin is not needed before the window first shows.
class HandCursor
{
public:
    // Reads the file; a file that cannot be read counts as no cursor.
    void read(const QString &path);
    // The cursor, or nothing when the file is not one (empty, truncated, not a
    // cursor at all, or never read).
    const std::optional<QCursor> &cursor() const;

private:
    QByteArray m_bytes;
    mutable bool m_decoded = false;
    mutable std::optional<QCursor> m_cursor;
};
