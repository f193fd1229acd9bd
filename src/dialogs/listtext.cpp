#include "dialogs/listtext.h"

#include <QList>

namespace qb {

QString listTextFromLines(const Lines &lines, bool endsWithLineBreak)
{
    QString text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text += u'\n';
        text += bytesToText(lines[i]);
    }
    if (endsWithLineBreak && !lines.empty())
        text += u'\n';
    return text;
}

ListText listTextToLines(const QString &text)
{
    ListText result;
    const std::string bytes = textToBytes(text);
    if (bytes.empty())
        return result;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = bytes.find('\n', start);
        if (end == std::string::npos) {
            result.lines.emplace_back(bytes, start);
            break;
        }
        result.lines.emplace_back(bytes, start, end - start);
        start = end + 1;
        if (start == bytes.size()) {
            result.endsWithLineBreak = true;
            break;
        }
    }
    return result;
}

QString withoutEmptyLines(const QString &text)
{
    if (text.isEmpty())
        return text;
    const bool endsWithLineBreak = text.endsWith(u'\n');
    QStringView rest(text);
    if (endsWithLineBreak)
        rest.chop(1);
    QString result;
    result.reserve(text.size());
    bool any = false;
    for (const QStringView line : rest.split(u'\n')) {
        if (line.isEmpty())
            continue;
        if (any)
            result += u'\n';
        result += line;
        any = true;
    }
    if (any && endsWithLineBreak)
        result += u'\n';
    return result;
}

} // namespace qb
