#pragma once

// The tab strip's image list: two small pictures of our own drawing, one per tab.

#include <QList>
#include <QPixmap>
#include <QSize>

class ImageList
{
public:
    ImageList();
    QSize imageSize() const { return {17, 17}; }
    int count() const { return int(m_images.size()); }
    // 1-based, like the tabs that use it.
    QPixmap image(int index) const { return m_images.value(index - 1); }

private:
    QList<QPixmap> m_images;
};
