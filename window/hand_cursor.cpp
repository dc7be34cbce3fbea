#include "hand_cursor.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPixmap>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace
{

std::optional<QCursor> decode(const QByteArray &bytes)
{
    // Type 2 is a cursor directory (type 1 would be an icon, whose bytes 10 and 12
    // mean something else); one image at least, and the first entry complete.
    if (bytes.size() < 22 || bytes[0] != 0 || bytes[1] != 0 || bytes[2] != 2 || bytes[3] != 0 ||
        (bytes[4] == 0 && bytes[5] == 0))
        return std::nullopt;
    auto word = [&](int at) { return int(uchar(bytes[at])) | int(uchar(bytes[at + 1])) << 8; };

    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, "cur");
    const QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    const int x = std::min(word(10), image.width() - 1);
    const int y = std::min(word(12), image.height() - 1);
    return QCursor(QPixmap::fromImage(image), x, y);
}

// The whole file when it is a regular file of a cursor's size, else nothing. A
// FIFO, a device or a /proc file (whose size reads as 0 while a read may wait
// forever) is never read from, and opening cannot wait either.
QByteArray readSmallFile(const QString &path)
{
    QFile file;
#ifdef Q_OS_UNIX
    const QByteArray name = QFile::encodeName(path);
    struct stat before, opened;
    if (::stat(name.constData(), &before) != 0 || !S_ISREG(before.st_mode))
        return {}; // not even opened: opening a device can have effects of its own
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {};
    // The file may have been swapped for another between the two looks.
    if (::fstat(fd, &opened) != 0 || opened.st_dev != before.st_dev ||
        opened.st_ino != before.st_ino ||
        !file.open(fd, QIODevice::ReadOnly, QFile::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
#else
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
#endif
    if (file.isSequential() || file.size() <= 0 || file.size() > HandCursor::MaxFileSize)
        return {};
    // One byte more than allowed tells a file that grew since its size was read.
    const QByteArray bytes = file.read(HandCursor::MaxFileSize + 1);
    return bytes.size() > HandCursor::MaxFileSize ? QByteArray() : bytes;
}

} // namespace

void HandCursor::read(const QString &path)
{
    m_bytes = readSmallFile(path);
    m_decoded = false;
    m_cursor.reset();
}

void HandCursor::decodeNow() const
{
    if (!m_decoded) {
        m_cursor = decode(m_bytes);
        m_decoded = true;
    }
}

const std::optional<QCursor> &HandCursor::cursor() const
{
    decodeNow();
    return m_cursor;
}
