#include "outside_world.h"

#include "option_table.h"

#include <QCoreApplication>

void ShowPlainMessage(QWidget *window, QMessageBox::Icon icon, const QString &text)
{
    QMessageBox box(icon, QString::fromLatin1(kSection), text, QMessageBox::Ok, window);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void OutsideWorld::showMessage(QWidget *window, const QString &text)
{
    ShowPlainMessage(window, QMessageBox::Warning, text);
}

ShellOutcome OutsideWorld::openWithShell(WId owner, const QString &target, const QString &folder,
                                         const LateFailure &onLateFailure)
{
    return OpenWithShell(owner, target, folder, onLateFailure);
}

QString OutsideWorld::programFolder() const
{
    return QCoreApplication::applicationDirPath();
}

OutsideWorld &OutsideWorld::real()
{
    static OutsideWorld world;
    return world;
}
