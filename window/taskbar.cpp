#include "taskbar.h"

#include <QGuiApplication>
#include <QWidget>

#if defined(Q_OS_WIN)
#include "taskbar_win.h"

#include <QAbstractNativeEventFilter>
#include <QPointer>

namespace
{

// Lives as long as the window, so it leaves the application with it.
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

} // namespace
#elif defined(VELMORA_HAVE_XCB)
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
