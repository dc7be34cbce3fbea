#pragma once

// tbsOptions: a tab strip offering what the window needs and nothing more.
// Tabs are addressed by a 1-based Index; every change of the selection, by a
// click or by assigning SelectedItem, raises Click() once.

#include <QColor>
#include <QTabBar>

#include <memory>
#include <vector>

class ImageList;

// A tab as the window addresses it; its caption, key (tabData) and tool tip are
// the strip's own.
class TabStripTab
{
public:
    short Index() const { return m_index; }

private:
    friend class TabStrip;
    short m_index = 0;
};

class TabStrip;

class TabStripTabs
{
public:
    short Count() const { return short(m_tabs.size()); }
    // The tab at a 1-based position, or null when there is none.
    TabStripTab *Item(short position) const;

private:
    friend class TabStrip;
    std::vector<std::unique_ptr<TabStripTab>> m_tabs;
};

class TabStrip : public QTabBar
{
    Q_OBJECT

public:
    explicit TabStrip(QWidget *parent = nullptr);

    TabStripTab *Add(const QString &key, const QString &caption, const QString &toolTip);
    const TabStripTabs &Tabs() const { return m_tabs; }

    TabStripTab *SelectedItem() const;
    // Changing the selection raises Click(); the same tab, or null, changes nothing.
    void setSelectedItem(TabStripTab *tab);

    // What the window's start-up asks of the control as a background colour message.
    void setBackgroundColor(const QColor &color);

    // Each tab shows the image of its own position, when the list has one.
    void setImageList(const ImageList *images);

signals:
    void Click();
    void MouseMove();

protected:
    QSize tabSizeHint(int index) const override;
    // The captions in button text, as the buttons' (a tab would take window text).
    void initStyleOption(QStyleOptionTab *option, int tabIndex) const override;
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    TabStripTabs m_tabs;
    QColor m_background;
    const ImageList *m_images = nullptr;
};
