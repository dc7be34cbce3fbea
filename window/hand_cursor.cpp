#include "hand_cursor.h"

#include <QFile>
#include <QImageReader>
#include <QPixmap>

#include <algorithm>

std::optional<QCursor> LoadHandCursor(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray header = file.read(22); // directory header plus the first entry
    // Type 2 is a cursor directory (type 1 would be an icon, whose bytes 10 and 12
    // mean something else); one image at least.
    if (header.size() < 22 || header[0] != 0 || header[1] != 0 || header[2] != 2 ||
        header[3] != 0 || (header[4] == 0 && header[5] == 0))
        return std::nullopt;
    auto word = [&](int at) { return int(uchar(header[at])) | int(uchar(header[at + 1])) << 8; };

    file.seek(0);
    QImageReader reader(&file, "cur");
    const QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    const int x = std::min(word(10), image.width() - 1);
    const int y = std::min(word(12), image.height() - 1);
    return QCursor(QPixmap::fromImage(image), x, y);
}
