#include "console.h"

#include "command_line.h"

#include <QIODevice>

#include <cerrno>
#include <cstdio>
#include <cstring>

QStringList ProgramArguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

void PrintError(const QString &message)
{
    std::fprintf(stderr, "%s\n", VisibleOnTerminal(message).toUtf8().constData());
}

Console::Console() : m_out(stdout), m_err(stderr) {}

QString Console::sendAnswer()
{
    errno = 0;
    m_out.flush();
    if (m_out.status() == QTextStream::Ok && std::fflush(stdout) == 0 && !std::ferror(stdout))
        return {};
    return errno ? QString::fromLocal8Bit(std::strerror(errno)) : m_out.device()->errorString();
}

void Console::sendComplaints()
{
    m_err.flush();
}
