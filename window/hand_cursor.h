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
    // The largest file read: a few images of 256 x 256 pixels in 32 bits. A larger
    // one is no cursor of ours, and reading it would only cost time and memory.
    static constexpr qint64 MaxFileSize = 1024 * 1024;

    // Reads the file; a file that cannot be read at once, or is no regular file of
    // at most MaxFileSize bytes, counts as no cursor.
    void read(const QString &path);
    // Makes the pointer from the file read, unless that is done already.
    void decodeNow() const;
    // The cursor, made at the first call, or nothing when the file is not one (empty, truncated,
    // not a cursor at all, or never read).
    const std::optional<QCursor> &cursor() const;

private:
    QByteArray m_bytes;
    mutable bool m_decoded = false;
    mutable std::optional<QCursor> m_cursor;
};
