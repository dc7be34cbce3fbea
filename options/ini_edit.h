#pragma once

// Line-preserving edits of a settings file in QSettings' INI format, in the
// manner of `git config`: only the lines that hold the given keys change, and
// every other byte (comments, other groups, their order, line ends, a BOM,
// values QSettings would rewrite) stays as it is.
//
// Which lines hold a key is decided exactly as QSettings' reader decides it:
// the same logical lines (quotes, backslash continuations, `;` comments), the
// same section and key unescaping, so an edit never disagrees with what the
// add-in or any other QSettings reader will see.

#include <QByteArray>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace IniEdit
{

// `section` and `key` as QSettings names them, unescaped ("Velmora", " View").
using Assignment = std::pair<QString, QByteArray>; // key, new value text

// Sets every line QSettings would read as section/key to the new value. Keys
// without such a line are added, in the given order, at the end of the last
// group of that section; with no such group, a new one is appended. Values must
// be plain texts that need no quoting (digits).
QByteArray assign(const QByteArray &content, const QString &section,
                  const std::vector<Assignment> &values);

// The value text as it stands in the file on the line QSettings reads for
// section/key (the last one), blanks around it removed; nothing when the key
// is not in the file.
std::optional<QByteArray> rawValue(const QByteArray &content, const QString &section,
                                   const QString &key);

// How QSettings spells a key in the file ("Page%20Layout").
QByteArray escapedKey(const QString &key);

} // namespace IniEdit
