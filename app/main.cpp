// Velmora: the options window of the Excel add-in. The run ends when the
// window unloads.

#include "frmOptions.h"
#include "settings_store.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

int main(int argc, char *argv[])
{
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
