#pragma once

// Where a command's answer and complaints go, one type per platform. On Unix they are
// standard output and error. A Windows GUI program has no console of its own: it
// collects both and writes them to the console it was started from (cmd, PowerShell),
// if any, as UTF-16, so that the console's code page stays as it was.

#include <QString>
#include <QStringList>
#include <QTextStream>

// The arguments after the program name, as the user wrote them.
QStringList ProgramArguments(int argc, char *argv[]);

// A message of the window's start-up on stderr. Control characters quoted from the
// store are shown, not sent.
void PrintError(const QString &message);

class Console
{
public:
    Console();
    Console(const Console &) = delete;
    Console &operator=(const Console &) = delete;

    QTextStream &out() { return m_out; }
    QTextStream &err() { return m_err; }

    // Sends the answer; why it could not be written (a full disk, a closed file), or a
    // null string when it was.
    QString sendAnswer();
    // Sends the complaints, where they were collected.
    void sendComplaints();

private:
    QString m_answer, m_complaints;
    QTextStream m_out, m_err;
    bool m_attached = false;
};
