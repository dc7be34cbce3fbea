#include "native_window.h"

#include <QGuiApplication>
#include <QWidget>

#if defined(Q_OS_WIN)
#include "native_window_win.h"

#include <QAbstractNativeEventFilter>
#include <QPointer>

namespace
{

// Hides the window from the taskbar again at every show. Lives as long as the window,
// so it leaves the application with it.
class OwnerKeeper : public QObject, public QAbstractNativeEventFilter
{
public:
    explicit OwnerKeeper(QWidget &window) : QObject(&window), m_window(&window) {}
    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override
    {
        if (m_window && type == "windows_generic_MSG")
            HideFromTaskbarOnShowWin(reinterpret_cast<void *>(m_window->internalWinId()), message);
        return false;
    }

private:
    QPointer<QWidget> m_window;
};

// Centres the window, frame and all, at its first show, as it was centred once when it
// loaded. Lives until then, or as long as the window.
class FrameCentrer : public QObject, public QAbstractNativeEventFilter
{
public:
    explicit FrameCentrer(QWidget &window) : QObject(&window), m_window(&window) {}
    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override
    {
        if (!m_window || type != "windows_generic_MSG")
            return false;
        void *hwnd = reinterpret_cast<void *>(m_window->internalWinId());
        if (IsShowMessageWin(hwnd, message)) {
            const QSize client = m_window->size() * m_window->devicePixelRatio();
            CentreFrameWin(hwnd, client.width(), client.height());
            qApp->removeNativeEventFilter(this);
            deleteLater();
        }
        return false;
    }

private:
    QPointer<QWidget> m_window;
};

} // namespace
#elif defined(VELMORA_HAVE_XCB)
#include <QAbstractNativeEventFilter>
#include <QIcon>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstring>

namespace
{

xcb_connection_t *connection()
{
    auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    auto cookie = xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return result;
}

// The window was centred before a window manager put its frame around it. When
// the manager first says how large that frame is (_NET_FRAME_EXTENTS), the
// window is centred once more, frame and all. Lives until then, or as long as
// the window.
class FrameCentrer : public QObject, public QAbstractNativeEventFilter
{
public:
    FrameCentrer(QWidget &window, xcb_atom_t extents)
        : QObject(&window), m_window(&window), m_extents(extents)
    {
    }
    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override
    {
        const auto *event = static_cast<const xcb_generic_event_t *>(message);
        if (!m_window || type != "xcb_generic_event_t" ||
            (event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
            return false;
        const auto *notify = reinterpret_cast<const xcb_property_notify_event_t *>(event);
        if (notify->window != xcb_window_t(m_window->internalWinId()) || notify->atom != m_extents)
            return false;
        xcb_connection_t *c = connection();
        const auto cookie =
            xcb_get_property(c, 0, notify->window, m_extents, XCB_ATOM_CARDINAL, 0, 4);
        xcb_get_property_reply_t *reply = xcb_get_property_reply(c, cookie, nullptr);
        if (reply && xcb_get_property_value_length(reply) == 16) {
            const auto *v = static_cast<const uint32_t *>(xcb_get_property_value(reply));
            const QMargins frame{int(v[0]), int(v[2]), int(v[1]), int(v[3])}; // l, t, r, b
            QMetaObject::invokeMethod(
                m_window, [window = m_window, frame] { centreWithFrame(window, frame); },
                Qt::QueuedConnection);
            qApp->removeNativeEventFilter(this);
            deleteLater();
        }
        free(reply);
        return false;
    }

private:
    static void centreWithFrame(QWidget *window, const QMargins &frame)
    {
        const QScreen *screen = window ? window->screen() : nullptr;
        if (!screen || !window->windowHandle())
            return;
        // The extents are device pixels; the window's size and the screen are in Qt's
        // scaled pixels, of which a device pixel is 1 / ratio (QT_SCALE_FACTOR).
        const qreal ratio = window->devicePixelRatio();
        const QRect area = screen->geometry();
        const QSizeF outer = QSizeF(window->size()) * ratio +
                             QSizeF(frame.left() + frame.right(), frame.top() + frame.bottom());
        const QPointF client((area.width() * ratio - outer.width()) / 2 + frame.left(),
                             (area.height() * ratio - outer.height()) / 2 + frame.top());
        window->windowHandle()->setPosition(area.topLeft() + (client / ratio).toPoint());
    }

    QPointer<QWidget> m_window;
    xcb_atom_t m_extents;
};

} // namespace
#endif

void HideFromTaskbar(QWidget &window)
{
#if defined(Q_OS_WIN)
    HideFromTaskbarWin(reinterpret_cast<void *>(window.winId()));
    qApp->installNativeEventFilter(new OwnerKeeper(window));
#elif defined(VELMORA_HAVE_XCB)
    xcb_connection_t *c = connection();
    if (!c)
        return; // not on X11 (offscreen, Wayland): nothing to do here
    // Qt keeps states it finds on the unmapped window when it maps it.
    const xcb_atom_t skip = atom(c, "_NET_WM_STATE_SKIP_TASKBAR");
    xcb_change_property(c, XCB_PROP_MODE_APPEND, xcb_window_t(window.winId()),
                        atom(c, "_NET_WM_STATE"), XCB_ATOM_ATOM, 32, 1, &skip);
    xcb_flush(c);
#else
    Q_UNUSED(window);
#endif
}

void ShowNoIcon(QWidget &window)
{
#if defined(VELMORA_HAVE_XCB)
    QPixmap clear(16, 16);
    clear.fill(Qt::transparent);
    window.setWindowIcon(QIcon(clear));
#else
    Q_UNUSED(window);
#endif
}

void CentreOnceFramed(QWidget &window)
{
#if defined(Q_OS_WIN)
    qApp->installNativeEventFilter(new FrameCentrer(window));
#elif defined(VELMORA_HAVE_XCB)
    if (xcb_connection_t *c = connection())
        qApp->installNativeEventFilter(new FrameCentrer(window, atom(c, "_NET_FRAME_EXTENTS")));
#else
    Q_UNUSED(window);
#endif
}
