#include "tab_strip.h"

#include "image_list.h"

#include <QPainter>
#include <QStyleOptionTabWidgetFrame>
#include <QWheelEvent>

#include <algorithm>

TabStripTab *TabStripTabs::Item(short position) const
{
    if (position < 1 || position > Count())
        return nullptr;
    return m_tabs[position - 1].get();
}

TabStrip::TabStrip(QWidget *parent) : QTabBar(parent)
{
    setDrawBase(false); // the pane below the tabs is drawn by paintEvent
    setExpanding(false);
    setUsesScrollButtons(false);
    setMouseTracking(true);
    connect(this, &QTabBar::currentChanged, this, [this](int) { emit Click(); });
}

TabStripTab *TabStrip::Add(const QString &key, const QString &caption, const QString &toolTip)
{
    auto tab = std::make_unique<TabStripTab>();
    tab->m_index = short(m_tabs.m_tabs.size() + 1);
    m_tabs.m_tabs.push_back(std::move(tab));

    const QSignalBlocker quiet(this); // adding the first tab selects it: that is no change
    const int at = addTab(caption);
    setTabToolTip(at, toolTip);
    setTabData(at, key);
    if (m_images && m_images->count() > at)
        setTabIcon(at, m_images->image(at + 1));
    return m_tabs.m_tabs.back().get();
}

TabStripTab *TabStrip::SelectedItem() const
{
    return m_tabs.Item(short(currentIndex() + 1));
}

void TabStrip::setSelectedItem(TabStripTab *tab)
{
    if (tab && tab->Index() >= 1 && tab->Index() <= m_tabs.Count())
        setCurrentIndex(tab->Index() - 1); // emits only when the index changes
}

void TabStrip::setBackgroundColor(const QColor &color)
{
    m_background = color;
    update();
}

void TabStrip::setImageList(const ImageList *images)
{
    m_images = images;
    if (!images)
        return;
    setIconSize(images->imageSize());
    for (int i = 0; i < count() && i < images->count(); ++i)
        setTabIcon(i, images->image(i + 1));
}

QSize TabStrip::tabSizeHint(int index) const
{
    // Low enough that the pane's top edge shows above the pages, which start
    // a fixed distance below the strip's top.
    QSize size = QTabBar::tabSizeHint(index);
    size.setHeight(std::min(size.height(), 24));
    return size;
}

void TabStrip::initStyleOption(QStyleOptionTab *option, int tabIndex) const
{
    QTabBar::initStyleOption(option, tabIndex);
    option->palette.setBrush(QPalette::WindowText, option->palette.buttonText());
}

void TabStrip::paintEvent(QPaintEvent *event)
{
    {
        QPainter p(this);
        if (m_background.isValid())
            p.fillRect(rect(), m_background);
        // The pane the pages lie on, joined to the row of tabs.
        QStyleOptionTabWidgetFrame pane;
        pane.initFrom(this);
        pane.shape = shape();
        pane.tabBarSize = sizeHint();
        const int top = count() > 0 ? tabRect(0).bottom() : 0;
        pane.rect = QRect(0, top, width(), height() - top);
        style()->drawPrimitive(QStyle::PE_FrameTabWidget, &pane, &p, this);
    }
    QTabBar::paintEvent(event);
}

void TabStrip::mouseMoveEvent(QMouseEvent *event)
{
    emit MouseMove();
    QTabBar::mouseMoveEvent(event);
}

void TabStrip::wheelEvent(QWheelEvent *event)
{
    // Only a click on a tab or the window's shortcut changes the page, not a wheel turned
    // in passing.
    event->ignore();
}
