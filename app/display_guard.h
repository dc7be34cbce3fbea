#pragma once

// Reaching the window system, said plainly. Without a display Qt aborts, and a
// display that accepts a connection but never answers keeps it waiting for ever;
// either ends the run with one line on stderr and exit status 2 instead.

#include <QByteArray>

class DisplayGuard
{
public:
    // Reads Qt's own options -platform and -display once, as Qt takes them:
    // before QT_QPA_PLATFORM and DISPLAY.
    DisplayGuard(int argc, char *argv[]);

    // No display to connect to at all (an X11 platform and no DISPLAY): the line
    // that says so is printed.
    bool reportMissing() const;

    // From here until answered(), Qt's warnings are held back, a fatal message
    // becomes one line, and a display that does not answer in time ends the run.
    void watch();
    void answered();

private:
    QByteArray m_platform; // empty: Qt's choice
    QByteArray m_display;  // -display, if given
    QByteArray m_named;    // the display as the user named it, for messages
    bool m_x11Display;     // DISPLAY or -display names one
};
