#include "file_exists.h"

#include <QDateTime>
#include <QFileInfo>

#include <cerrno>

bool FileExists(const QString &path)
{
    // An embedded NUL would cut the name short at the system call and probe another file.
    if (path.isEmpty() || path.contains(QChar(u'\0')))
        return false;

    // Callers treat this as a pure question: a failed probe must not leave errno behind.
    const int savedErrno = errno;
    const QFileInfo info(path);
    const bool exists = info.isFile() && info.lastModified().isValid();
    errno = savedErrno;
    return exists;
}
