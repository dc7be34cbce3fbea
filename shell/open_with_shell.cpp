#include "open_with_shell.h"

#include <QCoreApplication>
#include <QDir>

#ifdef Q_OS_WIN
#include "shell_execute_win.h"
#else
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#endif

#ifndef Q_OS_WIN
namespace
{

// "http:", "mailto:" and the like. A drive letter ("C:") also matches; on Unix handing that
// to xdg-open is harmless.
bool hasUrlScheme(const QString &target)
{
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*:"));
    return scheme.match(target).hasMatch();
}

} // namespace
#endif

void OpenWithShell(WId owner, const QString &target)
{
    // A NUL would silently shorten the target to something else.
    if (target.isEmpty() || target.contains(QChar(u'\0')))
        return;
    const QString folder = QCoreApplication::applicationDirPath();

#ifdef Q_OS_WIN
    ShellExecuteOpen(reinterpret_cast<void *>(owner), target.toStdWString().c_str(),
                     QDir::toNativeSeparators(folder).toStdWString().c_str());
#else
    Q_UNUSED(owner);
    // Relative names are looked up where the opener will run, the program folder. Folders
    // count too: the file manager opens them.
    if (hasUrlScheme(target) || QFileInfo(QDir(folder), target).exists()) {
        // QDesktopServices cannot set the working directory, so start the opener ourselves.
        QProcess::startDetached(QStringLiteral("xdg-open"), {target}, folder);
        return;
    }
    const QString program = QStandardPaths::findExecutable(target);
    if (!program.isEmpty())
        QProcess::startDetached(program, {}, folder);
#endif
}
