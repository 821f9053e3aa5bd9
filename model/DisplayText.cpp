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

QString displayName(const QString& text, int limit)
{
    const bool cut = text.size() > limit;
    QString shown = cut ? text.left(qMax(1, limit - 20)) : text;
    // Half a surrogate pair would show as a stray box.
    if (cut && shown.size() > 0 && shown.at(shown.size() - 1).isHighSurrogate())
        shown.chop(1);
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

} // namespace util
