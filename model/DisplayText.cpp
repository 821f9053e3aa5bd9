#include "DisplayText.h"

#include <QCoreApplication>

namespace util {

namespace {

// Line breaks, tabs and the rest of C0 and C1, and the marks and embeddings that turn the
// direction of the text after them.
bool forges(QChar c)
{
    const char16_t u = c.unicode();
    return c.category() == QChar::Other_Control || (u >= 0x200E && u <= 0x200F) ||
           (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069) || u == 0x061C ||
           u == 0x2028 || u == 0x2029;
}

} // namespace

QString startOf(const QString& text, int length)
{
    QString start = text.left(length);
    if (!start.isEmpty() && start.at(start.size() - 1).isHighSurrogate())
        start.chop(1);
    return start;
}

QString displayName(const QString& text, int limit)
{
    const bool cut = text.size() > limit;
    QString shown = cut ? startOf(text, qMax(1, limit - 20)) : text;
    for (QChar& c : shown) {
        if (forges(c))
            c = QChar(0xFFFD);
    }
    if (cut) {
        shown += QChar(0x2026) +
                 QCoreApplication::translate("util", " (%1 characters)").arg(text.size());
    }
    return shown;
}

QString boxText(const QString& text, int limit, int lineLimit)
{
    QString shown = text;
    QString note;
    int lines = 1;
    for (int i = 0; i < shown.size(); ++i) {
        if (shown.at(i) != QLatin1Char('\n'))
            continue;
        if (++lines > lineLimit) {
            note = QCoreApplication::translate("util", " (%1 lines)").arg(text.count('\n') + 1);
            shown.truncate(i);
            break;
        }
    }
    if (shown.size() > limit) {
        shown = startOf(shown, limit);
        note = QCoreApplication::translate("util", " (%1 characters)").arg(text.size());
    }
    for (QChar& c : shown) {
        if (forges(c) && c != QLatin1Char('\n') && c != QLatin1Char('\t'))
            c = QChar(0xFFFD);
    }
    if (!note.isEmpty())
        shown += QChar(0x2026) + note;
    return shown;
}

QString toolTipText(const QString& text, int limit)
{
    if (text.isEmpty())
        return text;
    // Kept as typed: spaces and line breaks as a plain tool tip keeps them, lines still wrapped
    // to the tip's width.
    return QStringLiteral("<p style=\"white-space:pre-wrap\">") +
           boxText(text, limit, 20).toHtmlEscaped() + QStringLiteral("</p>");
}

} // namespace util
