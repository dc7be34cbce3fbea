#include "ini_edit.h"

namespace IniEdit
{
namespace
{

const char kBom[] = "\xef\xbb\xbf"; // QSettings skips it; so do we, and keep it

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isSpecial(char c)
{
    return c == '\n' || c == '\r' || c == '"' || c == ';' || c == '=' || c == '\\';
}

// One logical line as QSettings' reader sees it. Comment lines are skipped
// over; a line ends at an unquoted line break or an unquoted `;`.
struct Line {
    qsizetype start = 0;
    qsizetype length = 0;
    qsizetype equals = -1; // absolute position of the first unquoted '=', or -1
    qsizetype end() const { return start + length; }
};

bool readLine(const QByteArray &data, qsizetype &pos, Line &line)
{
    const qsizetype size = data.size();
    bool inQuotes = false;
    line.equals = -1;
    line.start = pos;
    while (line.start < size && isSpace(data.at(line.start)))
        ++line.start;

    qsizetype i = line.start;
    while (i < size) {
        char ch = data.at(i);
        if (!isSpecial(ch)) {
            ++i;
            continue;
        }
        ++i;
        if (ch == '=') {
            if (!inQuotes && line.equals == -1)
                line.equals = i - 1;
        } else if (ch == '\n' || ch == '\r') {
            if (i == line.start + 1) {
                ++line.start;
            } else if (!inQuotes) {
                --i;
                break;
            }
        } else if (ch == '\\') {
            if (i < size) {
                const char escaped = data.at(i++);
                if (i < size) {
                    const char next = data.at(i);
                    if ((escaped == '\n' && next == '\r') || (escaped == '\r' && next == '\n'))
                        ++i;
                }
            }
        } else if (ch == '"') {
            inQuotes = !inQuotes;
        } else { // ';'
            if (i == line.start + 1) {
                while (i < size && data.at(i) != '\n' && data.at(i) != '\r')
                    ++i;
                while (i < size && isSpace(data.at(i)))
                    ++i;
                line.start = i;
            } else if (!inQuotes) {
                --i;
                break;
            }
        }
    }
    pos = i;
    line.length = i - line.start;
    return line.length > 0;
}

QString unescapedKey(const QByteArray &key)
{
    const QString decoded = QString::fromUtf8(key);
    const qsizetype size = decoded.size();
    QString result;
    qsizetype i = 0;
    while (i < size) {
        const QChar ch = decoded.at(i);
        if (ch == u'\\') {
            result += u'/';
            ++i;
            continue;
        }
        if (ch != u'%' || i == size - 1) {
            result += ch;
            ++i;
            continue;
        }
        int digits = 2;
        qsizetype first = i + 1;
        if (decoded.at(i + 1) == u'U') {
            ++first;
            digits = 4;
        }
        bool ok = false;
        const ushort code = first + digits > size
                                ? 0
                                : QStringView(decoded).sliced(first, digits).toUShort(&ok, 16);
        if (!ok) {
            result += u'%';
            ++i;
            continue;
        }
        result += QChar(code);
        i = first + digits;
    }
    return result;
}

// The section prefix QSettings puts before the keys that follow a header line:
// "" for [General], otherwise the unescaped name and a slash.
QString sectionPrefix(const QByteArray &data, const Line &line)
{
    QByteArray header = data.mid(line.start, line.length);
    qsizetype close = header.indexOf(']');
    if (close < 0)
        close = header.size();
    const QByteArray name = header.first(close).sliced(1).trimmed();
    if (name.compare("general", Qt::CaseInsensitive) == 0)
        return {};
    if (name.compare("%general", Qt::CaseInsensitive) == 0)
        return QString::fromLatin1(name.sliced(1)) + u'/';
    return unescapedKey(name) + u'/';
}

// A header or key line, in file order. `section` is the prefix of the group
// the line is in (or starts); `key` is a key line's full QSettings key.
struct Item {
    Line line;
    bool isHeader;
    QString section;
    QString key;
};

std::vector<Item> parse(const QByteArray &data)
{
    std::vector<Item> items;
    qsizetype pos = data.startsWith(kBom) ? 3 : 0;
    QString prefix;
    Line line;
    while (readLine(data, pos, line)) {
        if (data.at(line.start) == '[') {
            prefix = sectionPrefix(data, line);
            items.push_back({line, true, prefix, {}});
        } else if (line.equals >= 0) {
            const QByteArray key = data.mid(line.start, line.equals - line.start).trimmed();
            items.push_back({line, false, prefix, prefix + unescapedKey(key)});
        }
    }
    return items;
}

// A key QSettings finds when asked for section/key. Its lookup of a key with a
// slash reads only that section's groups, so a `Section\Key` line in the
// general group is not one of them, whatever a listing of all keys says.
bool isOurs(const Item &item, const QString &prefix, const QString &key)
{
    return !item.isHeader && item.section == prefix && item.key == prefix + key;
}

// Past the line break that ends the physical line holding `pos` (a `;` comment
// may follow a logical line on the same physical line).
qsizetype physicalLineEnd(const QByteArray &data, qsizetype pos)
{
    const qsizetype size = data.size();
    while (pos < size && data.at(pos) != '\n' && data.at(pos) != '\r')
        ++pos;
    if (pos < size) {
        const char first = data.at(pos++);
        if (pos < size && data.at(pos) != first && (data.at(pos) == '\n' || data.at(pos) == '\r'))
            ++pos;
    }
    return pos;
}

bool endsWithLineBreak(const QByteArray &data)
{
    return data.endsWith('\n') || data.endsWith('\r');
}

} // namespace

QByteArray escapedKey(const QString &key)
{
    QByteArray result;
    for (const QChar qc : key) {
        const char16_t ch = qc.unicode();
        if (ch == u'/') {
            result += '\\';
        } else if ((ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z') ||
                   (ch >= u'0' && ch <= u'9') || ch == u'_' || ch == u'-' || ch == u'.') {
            result += char(ch);
        } else if (ch <= 0xFF) {
            result += '%' + QByteArray::number(ch, 16).toUpper().rightJustified(2, '0');
        } else {
            result += "%U" + QByteArray::number(ch, 16).toUpper().rightJustified(4, '0');
        }
    }
    return result;
}

QByteArray assign(const QByteArray &content, const QString &section,
                  const std::vector<Assignment> &values)
{
    const std::vector<Item> items = parse(content);
    const QString prefix = section + u'/';

    struct Replacement {
        qsizetype from, to;
        QByteArray text;
    };
    std::vector<Replacement> replacements;
    std::vector<const Assignment *> missing;
    for (const Assignment &value : values) {
        bool found = false;
        for (const Item &k : items) {
            if (!isOurs(k, prefix, value.first))
                continue;
            found = true;
            // Keep the blanks around the value; what lies between them up to the
            // end of the logical line was the old value.
            const auto blank = [&](qsizetype at) {
                return content.at(at) == ' ' || content.at(at) == '\t';
            };
            qsizetype from = k.line.equals + 1;
            qsizetype to = k.line.end();
            while (from < to && blank(from))
                ++from;
            while (to > from && blank(to - 1))
                --to;
            replacements.push_back({from, to, value.second});
        }
        if (!found)
            missing.push_back(&value);
    }

    const QByteArray eol = content.contains("\r\n") ? "\r\n" : "\n";
    QByteArray added;
    for (const Assignment *value : missing)
        added += escapedKey(value->first) + '=' + value->second + eol;

    if (!added.isEmpty()) {
        // After the last key (or the header) of the last group of the section.
        const Line *last = nullptr;
        bool inGroup = false;
        for (const Item &item : items) {
            if (item.isHeader)
                inGroup = item.section == prefix;
            if (inGroup)
                last = &item.line;
        }
        if (last) {
            const qsizetype at = physicalLineEnd(content, last->end());
            if (at == content.size() && !endsWithLineBreak(content))
                added.prepend(eol);
            replacements.push_back({at, at, added});
        } else {
            QByteArray group = '[' + escapedKey(section) + ']' + eol + added;
            if (!content.isEmpty() && content != kBom)
                group.prepend(endsWithLineBreak(content) ? eol : eol + eol);
            replacements.push_back({content.size(), content.size(), group});
        }
    }

    std::sort(replacements.begin(), replacements.end(),
              [](const Replacement &a, const Replacement &b) { return a.from > b.from; });
    QByteArray result = content;
    for (const Replacement &r : replacements)
        result.replace(r.from, r.to - r.from, r.text);
    return result;
}

std::optional<QByteArray> rawValue(const QByteArray &content, const QString &section,
                                   const QString &key)
{
    std::optional<QByteArray> value;
    for (const Item &k : parse(content)) {
        if (isOurs(k, section + u'/', key))
            value = content.mid(k.line.equals + 1, k.line.end() - k.line.equals - 1).trimmed();
    }
    return value;
}

} // namespace IniEdit
