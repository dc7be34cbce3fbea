#pragma once

class QWidget;

// A window as CenterOnScreen sees it: sizes and position in twips, screen size of the
// primary screen in twips. Lets the centring be checked without a real screen.
class TwipsWindow
{
public:
    virtual ~TwipsWindow() = default;
    virtual float Width() const = 0;
    virtual float Height() const = 0;
    virtual float ScreenWidth() const = 0;
    virtual float ScreenHeight() const = 0;
    virtual void SetLeft(float left) = 0;
    virtual void SetTop(float top) = 0;
};

// Centres the window on the full primary screen: horizontally first, then vertically, as two
// separate moves. No clamping: a window larger than the screen gets a negative position.
void CenterOnScreen(TwipsWindow &window);

// Same for a top-level widget; does nothing when there is no primary screen.
void CenterOnScreen(QWidget &window);
