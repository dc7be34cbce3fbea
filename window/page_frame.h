#pragma once

// fraSample1: the frame that fills a page. It shows nothing of its own but
// paints the page's lines and rectangle on its surface, behind its children,
// so that moves over them reach the frame.

#include <QColor>
#include <QLineF>
#include <QPalette>
#include <QRectF>
#include <QWidget>

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
    void addLine(const LineShape &line) { m_shapes.emplace_back(line); }
    void addRect(const RectShape &rect) { m_shapes.emplace_back(rect); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::vector<std::variant<LineShape, RectShape>> m_shapes;
};
