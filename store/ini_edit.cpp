#include "ini_edit.h"

#include "store_error.h"

#include <QHash>

#include <algorithm>

namespace IniEdit
{
namespace
{

// How QSettings spells one of our keys, or our section, in the file ("Page%20Layout"):
// they hold letters, digits, '-' and blanks, and only a blank needs escaping. Any
// other spelling would read as another key, which the check of every save sees.
QByteArray escapedKey(const QString &key)
{
    return key.toLatin1().replace(' ', "%20");
}

const QByteArray kBom = QByteArrayLiteral("\xef\xbb\xbf");

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// What one line holds outside double quotes: its first '=', a ';' that starts a
// comment, and whether a quote or a final backslash runs on past its end.
struct Marks {
    qsizetype equals = -1;
    qsizetype comment = -1;
    bool inQuote = false;
    bool finalBackslash = false;
};

Marks markLine(const QByteArray &text, qsizetype from, qsizetype to, bool inQuote)
{
    Marks marks;
    for (qsizetype i = from; i < to; ++i) {
        const char c = text.at(i);
        if (c == '\\') // the next character is plain
            marks.finalBackslash = ++i == to;
        else if (c == '"')
            inQuote = !inQuote;
        else if (c == '=' && !inQuote && marks.equals < 0)
            marks.equals = i;
        else if (c == ';' && !inQuote) { // the rest is the comment
            marks.comment = i;
            break;
        }
    }
    marks.inQuote = inQuote;
    return marks;
}

QString decodedKey(const QByteArray &spelling)
{
    const QString text = QString::fromUtf8(spelling);
    QString key;
    for (qsizetype i = 0; i < text.size(); ++i) {
        // A code is read as the settings reader reads it, with Qt's own number
        // parsing, which also takes a sign or blanks there ("%U+020View").
        const bool wide = text.at(i) == u'%' && i + 1 < text.size() && text.at(i + 1) == u'U';
        const qsizetype from = i + (wide ? 2 : 1), digits = wide ? 4 : 2;
        bool ok = false;
        const ushort code = text.at(i) == u'%' && from + digits <= text.size()
                                ? text.sliced(from, digits).toUShort(&ok, 16)
                                : 0;
        key += ok ? QChar(code) : text.at(i) == u'\\' ? QChar(u'/') : text.at(i);
        i = ok ? from + digits - 1 : i;
    }
    return key;
}

} // namespace

Document::Document(QByteArray content) : m_content(std::move(content))
{
    const QByteArray &text = m_content;
    const qsizetype size = text.size();
    qsizetype pos = text.startsWith(kBom) ? kBom.size() : 0;
    int group = -1;
    while (pos < size) {
        Line line;
        line.begin = pos;
        line.end = pos;
        while (line.end < size && text.at(line.end) != '\n' && text.at(line.end) != '\r')
            ++line.end;

        // What the line is when read on its own.
        qsizetype first = line.begin;
        while (first < line.end && isBlank(text.at(first)))
            ++first;
        const Marks own = markLine(text, first, line.end, false);
        const int index = int(m_lines.size());
        if (first == line.end) {
            line.kind = Line::Blank;
        } else if (text.at(first) == ';') {
            line.kind = Line::Comment;
        } else if (text.at(first) == '[') {
            line.kind = Line::Header;
            // Searched within the line only: a file of lines that are only "[" is
            // then read in linear time.
            const qsizetype close =
                std::find(text.begin() + first, text.begin() + line.end, ']') - text.begin();
            line.name = decodedKey(text.sliced(first + 1, close - first - 1).trimmed());
            if (line.name.compare(u"General", Qt::CaseInsensitive) == 0)
                line.name.clear();
            group = index;
        } else if (own.equals >= 0) {
            line.kind = Line::Entry;
            line.name = decodedKey(text.sliced(first, own.equals - first).trimmed());
            line.valueBegin = own.equals + 1;
            line.valueEnd = own.comment >= 0 ? own.comment : line.end;
            while (line.valueBegin < line.valueEnd && isBlank(text.at(line.valueBegin)))
                ++line.valueBegin;
            while (line.valueEnd > line.valueBegin && isBlank(text.at(line.valueEnd - 1)))
                --line.valueEnd;
        }
        line.group = group;

        // How it is read after the lines before it: on its own, or as part of them.
        Marks read = own;
        if (!m_lines.empty() && m_lines.back().leaves != Line::Closed) {
            const Line &previous = m_lines.back();
            line.runStart = previous.runStart >= 0 ? previous.runStart : index - 1;
            read = markLine(text, line.begin, line.end, previous.leaves == Line::Quote);
        }
        line.leaves = read.inQuote          ? Line::Quote
                      : read.finalBackslash ? Line::Backslash
                                            : Line::Closed;
        // "\r\n" ends a line; after a final backslash the reader takes "\n\r" as one
        // line end too.
        line.next = line.end;
        if (line.next < size) {
            const char after = line.next + 1 < size ? text.at(line.next + 1) : 0;
            const bool pair =
                (text.at(line.next) == '\r' && after == '\n') ||
                (line.leaves == Line::Backslash && text.at(line.next) == '\n' && after == '\r');
            line.next += pair ? 2 : 1;
            if (m_lineEnd.isEmpty() && line.leaves != Line::Backslash)
                m_lineEnd = text.sliced(line.end, line.next - line.end);
        }
        m_lines.push_back(line);
        pos = line.next;
    }
    if (m_lineEnd.isEmpty())
        m_lineEnd = "\n";
}

QString Document::quote(int index) const
{
    const Line &line = m_lines[size_t(index)];
    const QString text = QString::fromUtf8(m_content.sliced(line.begin, line.end - line.begin));
    return QStringLiteral("line %1 (%2)").arg(index + 1).arg(ShortenedText(text));
}

QString Document::runOpenedBy(int index) const
{
    return m_lines[size_t(index)].leaves == Line::Quote
               ? QStringLiteral("opens a double quote that it does not close")
               : QStringLiteral("ends in a backslash, which joins the next line to it");
}

std::optional<Problem> Document::blockedBy(int index, const QString &consequence) const
{
    const int start = m_lines[size_t(index)].runStart;
    if (start < 0)
        return std::nullopt;
    return QStringLiteral("%1 %2, so %3 is read as part of it%4")
        .arg(quote(start), runOpenedBy(start), quote(index),
             consequence.isEmpty() ? QString() : QStringLiteral(", ") + consequence);
}

std::optional<Problem> Document::leavesRunOpen(int index, const QString &consequence) const
{
    if (m_lines[size_t(index)].leaves == Line::Closed)
        return std::nullopt;
    const int start = m_lines[size_t(index)].runStart;
    if (start >= 0) // a run that began earlier and does not end here
        return blockedBy(index, consequence);
    return QStringLiteral("%1 %2, so %3").arg(quote(index), runOpenedBy(index), consequence);
}

Document::Edit Document::assign(const QString &section, const std::vector<Assignment> &values) const
{
    QHash<QString, size_t> wanted;
    for (size_t v = 0; v < values.size(); ++v)
        wanted.insert(values[v].first, v);
    std::vector<bool> found(values.size(), false);

    struct Change {
        qsizetype from, to;
        QByteArray text;
    };
    std::vector<Change> changes;
    Edit edit;

    int header = -1; // of the section's last group so far
    int anchor = -1; // its last line that is not blank or a comment
    for (int i = 0; i < int(m_lines.size()); ++i) {
        const Line &line = m_lines[size_t(i)];
        if (line.group < 0 || m_lines[size_t(line.group)].name != section)
            continue;
        if (line.group == i)
            header = i;
        if ((line.kind != Line::Blank && line.kind != Line::Comment) || line.runStart >= 0)
            anchor = i;
        if (line.kind != Line::Entry)
            continue;
        const auto it = wanted.constFind(line.name);
        if (it == wanted.constEnd())
            continue;
        if (auto problem = blockedBy(i, {}))
            return {.problem = problem};
        if (auto problem = blockedBy(line.group, {}))
            return {.problem = problem};
        if (auto problem = leavesRunOpen(
                i, QStringLiteral("a new value there would change how the lines after it read")))
            return {.problem = problem};
        changes.push_back({line.valueBegin, line.valueEnd, values[*it].second});
        found[*it] = true;
        edit.changedLines.push_back(i + 1);
    }

    QByteArray added;
    for (size_t v = 0; v < values.size(); ++v)
        if (!found[v])
            added += escapedKey(values[v].first) + '=' + values[v].second + m_lineEnd;
    if (!added.isEmpty()) {
        const QString swallowed = QStringLiteral("keys added after it would be read as part of it");
        if (header >= 0) {
            if (auto problem = blockedBy(header, {}))
                return {.problem = problem};
            if (auto problem = leavesRunOpen(anchor, swallowed))
                return {.problem = problem};
            const Line &last = m_lines[size_t(anchor)];
            if (last.next == last.end) // the file's last line, without a line end
                added.prepend(m_lineEnd);
            changes.push_back({last.next, last.next, added});
            edit.changedLines.push_back(anchor + 1);
        } else {
            if (auto problem = m_lines.empty() ? std::nullopt
                                               : leavesRunOpen(int(m_lines.size()) - 1, swallowed))
                return {.problem = problem};
            QByteArray group = '[' + escapedKey(section) + ']' + m_lineEnd + added;
            if (!m_lines.empty()) // a blank line between the last group and ours
                group.prepend(m_lines.back().next == m_lines.back().end ? m_lineEnd + m_lineEnd
                                                                        : m_lineEnd);
            changes.push_back({m_content.size(), m_content.size(), group});
            edit.changedLines.push_back(int(m_lines.size()));
        }
    }

    // The changes are in file order: one pass copies the bytes between them.
    qsizetype copied = 0;
    for (const Change &change : changes) {
        edit.content += m_content.sliced(copied, change.from - copied) + change.text;
        copied = change.to;
    }
    edit.content += m_content.sliced(copied);
    return edit;
}

std::optional<QByteArray> Document::rawValue(const QString &section, const QString &key) const
{
    // A line of the section's own groups wins over a "Section\Key" line at the top.
    const QString topLevelName = section + u'/' + key;
    const Line *inGroup = nullptr;
    const Line *topLevel = nullptr;
    for (const Line &line : m_lines) {
        if (line.kind != Line::Entry || line.runStart >= 0)
            continue;
        const Line *header = line.group >= 0 ? &m_lines[size_t(line.group)] : nullptr;
        if (header && header->runStart >= 0)
            continue;
        const QString group = header ? header->name : QString();
        if (group == section && line.name == key)
            inGroup = &line;
        else if (group.isEmpty() && line.name == topLevelName)
            topLevel = &line;
    }
    const Line *line = inGroup ? inGroup : topLevel;
    if (!line)
        return std::nullopt;
    // A value that runs on into the next lines is quoted with them, as it is read.
    qsizetype end = line->valueEnd;
    const int start = int(line - m_lines.data());
    for (size_t i = size_t(start) + 1; i < m_lines.size() && m_lines[i].runStart == start; ++i)
        end = m_lines[i].end;
    return m_content.sliced(line->valueBegin, end - line->valueBegin);
}

std::optional<Problem> Document::whyUnseen(const QString &section, const QString &key) const
{
    for (int i = int(m_lines.size()) - 1; i >= 0; --i) {
        const Line &line = m_lines[size_t(i)];
        if (line.kind != Line::Entry || line.name != key || line.group < 0 ||
            m_lines[size_t(line.group)].name != section)
            continue;
        if (auto problem = blockedBy(i, {}))
            return problem;
        if (auto problem = blockedBy(line.group, {}))
            return problem;
        return QStringLiteral("%1 holds the key, yet the settings reader does not see it there")
            .arg(quote(i));
    }
    return std::nullopt;
}

} // namespace IniEdit
