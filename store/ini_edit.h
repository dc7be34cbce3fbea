#pragma once

// A small line editor for the settings file, in the manner of `git config`: it
// changes the value text on the lines that hold our keys, adds the keys that are
// missing, and leaves every other byte of the file as it was.
//
// It does not try to be a full INI reader. QSettings reads the file for real, and
// the store checks every edited file with it before anything is replaced. What
// the editor knows of the format is just enough to find our lines and to notice
// when a line cannot be changed safely:
//
// - Physical lines end at "\r\n", "\n" or "\r". A byte-order mark before the
//   first line is kept and otherwise ignored.
// - A line whose first non-blank character is ';' is a comment; a line of blanks
//   is blank. Both are never touched.
// - A line whose first non-blank character is '[' is a group header. The group's
//   name is the text up to the first ']' (or the end of the line), blanks around
//   it dropped, decoded as a key is. "General", in any case, is the top level.
// - Any other line with an '=' outside double quotes is a key line: the key is
//   the text before that '=', the value runs from after it to the end of the line
//   or to a ';' outside quotes, which starts a comment. Blanks around both are not
//   part of them. Lines of any other shape are kept as they are.
// - A key's text is decoded: "%XX" is the character with that hexadecimal code,
//   "%UXXXX" likewise with four digits, and '\' stands for '/', which separates
//   groups ("Velmora\Classic" at the top level is the key "Classic" of the group
//   "Velmora"). Anything else stands for itself.
// - A backslash makes the next character plain. A backslash that ends a line
//   joins the next physical line to it, and a double quote left open at the end
//   of a line runs on into the next ones until it is closed. Such joined lines
//   are read as one, so the editor never changes or adds a line inside such a
//   run, nor one that starts a run: it refuses, naming the line to blame.
//
// Every key line in a group of the given section that holds one of the given
// keys gets its new value, the blanks and comment around the value kept. Keys
// without such a line are added, in the given order, after the last line of the
// section's last group, or in a new group at the end of the file. Added lines
// use the file's own line end.

#include <QByteArray>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace IniEdit
{

using Assignment = std::pair<QString, QByteArray>; // decoded key, new value text (digits)

// A line the editor cannot change safely, or that hides keys from the reader:
// "line 4 (bad"quote=1) opens a double quote that the line does not close, …".
using Problem = QString;

class Document
{
public:
    explicit Document(QByteArray content);

    // The edited file, or why it cannot be edited safely. `changedLines` gets the
    // 1-based numbers of the lines changed or added after, for messages.
    struct Edit {
        QByteArray content{};
        std::optional<Problem> problem{};
        std::vector<int> changedLines{};
    };
    Edit assign(const QString &section, const std::vector<Assignment> &values) const;

    // The value text of section/key as it stands on the line a reader takes it
    // from (the last one that holds it); nothing when no line holds it.
    std::optional<QByteArray> rawValue(const QString &section, const QString &key) const;

    // For a key the reader does not see: the line that holds it, and the line
    // that keeps the reader from seeing it. Nothing when no line holds the key.
    std::optional<Problem> whyUnseen(const QString &section, const QString &key) const;

private:
    struct Line {
        qsizetype begin = 0, end = 0; // the text, without its line end
        qsizetype next = 0;           // where the next line begins
        enum Kind { Blank, Comment, Header, Entry, Other } kind = Other;
        QString name;                           // Header: the group; Entry: the key
        qsizetype valueBegin = 0, valueEnd = 0; // Entry: the value text
        int group = -1; // the header of the group the line is in; -1 before the first
        enum Run { Closed, Quote, Backslash } leaves = Closed; // what runs on past its end
        int runStart = -1; // for a line read as part of earlier ones: the first of them
    };
    QByteArray m_content;
    std::vector<Line> m_lines;
    QByteArray m_lineEnd;

    QString quote(int index) const;
    QString runOpenedBy(int index) const;
    std::optional<Problem> blockedBy(int index, const QString &consequence) const;
    std::optional<Problem> leavesRunOpen(int index, const QString &consequence) const;
};

} // namespace IniEdit
