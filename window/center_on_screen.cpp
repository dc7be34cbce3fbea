#include "center_on_screen.h"

#include "twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace
{

float centredOffset(float screenSize, float windowSize)
{
    // In double, so extreme sizes cannot overflow before the halving; the half twip stays.
    return static_cast<float>((double(screenSize) - double(windowSize)) / 2.0);
}

class WidgetWindow : public TwipsWindow
{
public:
    WidgetWindow(QWidget &widget, const QRect &screen) : m_widget(widget), m_screen(screen) {}

    float Width() const override { return float(pixelsToTwips(outerSize().width())); }
    float Height() const override { return float(pixelsToTwips(outerSize().height())); }
    float ScreenWidth() const override { return float(pixelsToTwips(m_screen.width())); }
    float ScreenHeight() const override { return float(pixelsToTwips(m_screen.height())); }
    // move() on a top-level widget places its frame, matching frameGeometry() above.
    void SetLeft(float left) override
    {
        m_widget.move(twipsToWholePixels(left), m_widget.pos().y());
    }
    void SetTop(float top) override { m_widget.move(m_widget.pos().x(), twipsToWholePixels(top)); }

private:
    // The window with its frame. Before the first show the widget knows no frame,
    // but its native window does where the platform tells it (Windows).
    QSize outerSize() const
    {
        if (m_widget.isVisible() || !m_widget.windowHandle())
            return m_widget.frameGeometry().size();
        return m_widget.size().grownBy(m_widget.windowHandle()->frameMargins());
    }

    QWidget &m_widget;
    QRect m_screen;
};

} // namespace

void CenterOnScreen(TwipsWindow &window)
{
    const float width = window.Width();
    const float screenWidth = window.ScreenWidth();
    window.SetLeft(centredOffset(screenWidth, width));

    const float height = window.Height();
    const float screenHeight = window.ScreenHeight();
    window.SetTop(centredOffset(screenHeight, height));
}

void CenterOnScreen(QWidget &window)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    WidgetWindow adapted(window, screen->geometry());
    CenterOnScreen(adapted);
}
