#pragma once

// fraSample1: the frame that fills a page. It shows nothing of its own but
// paints the page's lines and rectangle on its surface, behind its children,
// so that moves over them reach the frame.

#include <QColor>
#include <QLineF>
#include <QPalette>
#include <QRectF>
#include <QWidget>

#include <memory>
#include <variant>
#include <vector>

// Line1: a line in twips with a width in pixels.
struct LineShape {
    QLineF twips;
    QColor color;
    int width = 1;
};

// Shape1: a rectangle outline in twips, transparent inside, in a palette colour.
struct RectShape {
    QRectF twips;
    QPalette::ColorRole color = QPalette::WindowText;
    int width = 1;
};

class PageFrame : public QWidget
{
    Q_OBJECT

public:
    explicit PageFrame(QWidget *parent = nullptr);
    // Painted back to front in the order they are added.
    LineShape *addLine(const LineShape &line);
    RectShape *addRect(const RectShape &rect);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::vector<std::unique_ptr<LineShape>> m_lines;
    std::vector<std::unique_ptr<RectShape>> m_rects;
    std::vector<std::variant<LineShape *, RectShape *>> m_order;
};
