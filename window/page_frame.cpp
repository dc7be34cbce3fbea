#include "page_frame.h"

#include "form_layout.h"

#include <QPainter>

PageFrame::PageFrame(QWidget *parent) : QWidget(parent)
{
    paintWhite(this);
    setFocusPolicy(Qt::NoFocus);
}

static QPointF toPixels(const QPointF &twips)
{
    return {twipsToPixels(twips.x()), twipsToPixels(twips.y())};
}

void PageFrame::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    for (const auto &shape : m_shapes) {
        if (const auto *line = std::get_if<LineShape>(&shape)) {
            const LineShape &l = *line;
            p.setPen(QPen(l.color, l.width, Qt::SolidLine, Qt::FlatCap));
            // A pen of width w covers w whole pixel rows from the line's row down.
            const QPointF offset(0, l.width / 2.0);
            p.drawLine(toPixels(l.twips.p1()) + offset, toPixels(l.twips.p2()) + offset);
        } else {
            const RectShape &r = std::get<RectShape>(shape);
            p.setPen(QPen(palette().color(r.color), r.width));
            p.setBrush(Qt::NoBrush);
            const QRect px = twipsRect(r.twips.x(), r.twips.y(), r.twips.width(), r.twips.height());
            p.drawRect(px.adjusted(0, 0, -1, -1));
        }
    }
}
