#include "page_frame.h"

#include "twips.h"

#include <QPainter>

PageFrame::PageFrame(QWidget *parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setFocusPolicy(Qt::NoFocus);
}

LineShape *PageFrame::addLine(const LineShape &line)
{
    m_lines.push_back(std::make_unique<LineShape>(line));
    m_order.emplace_back(m_lines.back().get());
    return m_lines.back().get();
}

RectShape *PageFrame::addRect(const RectShape &rect)
{
    m_rects.push_back(std::make_unique<RectShape>(rect));
    m_order.emplace_back(m_rects.back().get());
    return m_rects.back().get();
}

static QPointF toPixels(const QPointF &twips)
{
    return {twipsToPixels(twips.x()), twipsToPixels(twips.y())};
}

void PageFrame::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    for (const auto &shape : m_order) {
        if (const auto line = std::get_if<LineShape *>(&shape)) {
            const LineShape &l = **line;
            p.setPen(QPen(l.color, l.width, Qt::SolidLine, Qt::FlatCap));
            // A pen of width w covers w whole pixel rows from the line's row down.
            const QPointF offset(0, l.width / 2.0);
            p.drawLine(toPixels(l.twips.p1()) + offset, toPixels(l.twips.p2()) + offset);
        } else {
            const RectShape &r = *std::get<RectShape *>(shape);
            p.setPen(QPen(palette().color(r.color), r.width));
            p.setBrush(Qt::NoBrush);
            const QRect px = twipsRect(r.twips.x(), r.twips.y(), r.twips.width(), r.twips.height());
            p.drawRect(px.adjusted(0, 0, -1, -1));
        }
    }
}
