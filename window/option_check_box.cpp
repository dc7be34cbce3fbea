#include "option_check_box.h"

#include <QApplication>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOptionButton>

namespace
{

// The square where Windows draws it: 13 px, centred in the box's height (Qt's styles
// centre the indicator they are given). Fusion draws 14 px from 5 px into a 25 px box,
// and a box stacked over the one below (Review over Data) hid that square's top edge.
class WindowsSquareStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;

    int pixelMetric(PixelMetric metric, const QStyleOption *option,
                    const QWidget *widget) const override
    {
        if (metric == PM_IndicatorWidth || metric == PM_IndicatorHeight)
            return 13;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

// One for all boxes, over a style of the application's kind (a proxy owns its base).
QStyle *windowsSquareStyle()
{
    static QPointer<QStyle> style;
    if (!style) {
        style = new WindowsSquareStyle(QStyleFactory::create(QApplication::style()->name()));
        style->setParent(qApp);
    }
    return style;
}

} // namespace

OptionCheckBox::OptionCheckBox(int index, const QString &caption, QWidget *parent)
    : QCheckBox(caption, parent), m_index(index)
{
    setStyle(windowsSquareStyle());
}

OptionValue OptionCheckBox::Value() const
{
    switch (checkState()) {
    case Qt::Unchecked:
        return 0;
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    }
    return 0;
}

void OptionCheckBox::setValue(OptionValue value)
{
    setCheckState(value == 0 ? Qt::Unchecked : value == 1 ? Qt::Checked : Qt::PartiallyChecked);
}

void OptionCheckBox::nextCheckState()
{
    // Qt would cycle through partially checked once the box has shown it.
    setValue(Value() == 0 ? 1 : 0);
}

void OptionCheckBox::initStyleOption(QStyleOptionButton *option) const
{
    QCheckBox::initStyleOption(option);
    option->palette.setBrush(QPalette::WindowText, option->palette.buttonText());
}

bool OptionCheckBox::hitButton(const QPoint &pos) const
{
    return rect().contains(pos);
}
