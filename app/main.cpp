// Velmora: the options window of the Excel add-in. The run ends when the
// window unloads.

#include "frmOptions.h"
#include "settings_store.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Without a display Qt's X11 plugin aborts; say so plainly instead, before Qt
// is asked for a connection.
static bool lacksDisplay()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    auto set = [](const char *name) {
        const char *value = std::getenv(name);
        return value && *value;
    };
    const char *platform = std::getenv("QT_QPA_PLATFORM");
    const bool chosen = platform && *platform;
    if (chosen && std::strncmp(platform, "xcb", 3) != 0)
        return false; // offscreen, wayland, vnc and the like need no X display
    if (set("DISPLAY"))
        return false;
    return chosen || !set("WAYLAND_DISPLAY");
#else
    return false;
#endif
}

int main(int argc, char *argv[])
{
    if (lacksDisplay()) {
        std::fprintf(stderr, "velmora: no display: DISPLAY is not set; start it in a desktop "
                             "session or under xvfb-run\n");
        return 2;
    }
    QApplication app(argc, argv);
    SettingsStore store;
    frmOptions form(store);
    if (const auto error = form.StartUp()) {
        // A stored value that cannot be used: say what and where, write nothing.
        const QString text = error->message();
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        QMessageBox::critical(nullptr, QString::fromLatin1(kSection), text);
        return 1;
    }
    form.show();
    return app.exec();
}
