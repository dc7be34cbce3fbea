#include "outside_world.h"

#include "option_table.h"

#include <QCoreApplication>
#include <QMessageBox>

void OutsideWorld::showMessage(QWidget *window, const QString &text)
{
    QMessageBox::warning(window, QString::fromLatin1(kSection), text);
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
