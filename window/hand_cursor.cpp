#include "hand_cursor.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPixmap>

#include <algorithm>

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

} // namespace

void HandCursor::read(const QString &path)
{
    QFile file(path);
    m_bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    m_decoded = false;
    m_cursor.reset();
}

const std::optional<QCursor> &HandCursor::cursor() const
{
    if (!m_decoded) {
        m_cursor = decode(m_bytes);
        m_decoded = true;
    }
    return m_cursor;
}
