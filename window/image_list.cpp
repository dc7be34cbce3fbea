#include "image_list.h"

#include <QPainter>

namespace
{

// A small worksheet: a grid with a green header row.
QPixmap sheetImage()
{
    QPixmap pm(17, 17);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.fillRect(1, 1, 15, 4, QColor(0, 128, 0));
    p.setPen(QColor(128, 128, 128));
    p.drawRect(1, 1, 14, 14);
    for (int x = 6; x < 16; x += 5)
        p.drawLine(x, 5, x, 15);
    for (int y = 8; y < 16; y += 4)
        p.drawLine(1, y, 15, y);
    return pm;
}

// An "i" in a blue circle.
QPixmap aboutImage()
{
    QPixmap pm(17, 17);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 255));
    p.drawEllipse(QRectF(1, 1, 15, 15));
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(7.5, 3.5, 2, 2));
    p.drawRect(QRectF(7.5, 7, 2, 6.5));
    return pm;
}

} // namespace

ImageList::ImageList() : m_images{sheetImage(), aboutImage()} {}
