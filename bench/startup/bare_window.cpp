// The baseline for the start-up benchmark: the least a Qt Widgets program does to show a
// window like Velmora's (same title, same fixed size, one line of text in the same font, so
// that it pays for the font system too). What velmora takes beyond this is velmora's own.
//
//   bench_bare_window [--title TITLE]

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QWidget>

#include <cstring>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);

    QString title = QStringLiteral("Velmora");
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--title") == 0)
            title = QString::fromLocal8Bit(argv[i + 1]);
    }

    QWidget window;
    window.setWindowTitle(title);
    window.setFixedSize(410, 335);

    auto *label = new QLabel(QStringLiteral("Show the classic menu and toolbars"), &window);
    QFont font(QStringLiteral("Arial"), 9);
    font.setBold(true);
    label->setFont(font);
    label->move(12, 12);
    label->adjustSize();

    window.show();
    return app.exec();
}
