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
            // Each edge filled inside the rectangle: a pen would straddle the outline
            // and, at fractional scales, show a sliver outside what covers it.
            const QColor ink = palette().color(r.color);
            const QRect px = twipsRect(r.twips.x(), r.twips.y(), r.twips.width(), r.twips.height());
            const int w = r.width;
            p.fillRect(QRect(px.left(), px.top(), px.width(), w), ink);
            p.fillRect(QRect(px.left(), px.bottom() - w + 1, px.width(), w), ink);
            p.fillRect(QRect(px.left(), px.top(), w, px.height()), ink);
            p.fillRect(QRect(px.right() - w + 1, px.top(), w, px.height()), ink);
        }
    }
}
