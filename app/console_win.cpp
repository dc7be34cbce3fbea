#include "console.h"

#include "command_line.h"
#include "windows_console_win.h"

QStringList ProgramArguments(int, char *[])
{
    // From the wide command line: no character is lost to the ANSI code page.
    QStringList arguments;
    for (const std::wstring &argument : ProgramArgumentsWin())
        arguments << QString::fromStdWString(argument);
    return arguments;
}

void PrintError(const QString &message)
{
    WriteStandard(StandardStream::Error, (VisibleOnTerminal(message) + u'\n').toStdWString(),
                  false);
}

// Unless it was given handles, the program answers in the console it was started from.
Console::Console() : m_out(&m_answer), m_err(&m_complaints), m_attached(AttachStarterConsole()) {}

QString Console::sendAnswer()
{
    m_out.flush();
    if (const unsigned long error =
            WriteStandard(StandardStream::Output, m_answer.toStdWString(), m_attached))
        return qt_error_string(int(error));
    return {};
}

void Console::sendComplaints()
{
    m_err.flush();
    WriteStandard(StandardStream::Error, m_complaints.toStdWString(), m_attached);
}
