#include "BoundedXml.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTextCodec>
#include <QVector>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("BoundedXml", text);
}

// The codec the stream reader picks from the first four bytes; null for "not shown there".
QTextCodec* codecByFirstBytes(const QByteArray& data)
{
    if (data.size() < 4)
        return nullptr;
    const auto b = [&data](int i) { return uchar(data.at(i)); };
    int mib = 0;
    if ((b(0) == 0 && b(1) == 0 && b(2) == 0xFE && b(3) == 0xFF) ||
        (b(0) == 0xFF && b(1) == 0xFE && b(2) == 0 && b(3) == 0))
        mib = 1017; // UTF-32 with a byte order mark
    else if (b(0) == 0x3C && b(1) == 0 && b(2) == 0 && b(3) == 0)
        mib = 1019; // UTF-32LE
    else if (b(0) == 0 && b(1) == 0 && b(2) == 0 && b(3) == 0x3C)
        mib = 1018; // UTF-32BE
    else if ((b(0) == 0xFE && b(1) == 0xFF) || (b(0) == 0xFF && b(1) == 0xFE))
        mib = 1015; // UTF-16 with a byte order mark
    else if (b(0) == 0x3C && b(1) == 0)
        mib = 1014; // UTF-16LE
    else if (b(0) == 0 && b(1) == 0x3C)
        mib = 1013; // UTF-16BE
    return mib ? QTextCodec::codecForMib(mib) : nullptr;
}

// The encoding an XML declaration at the start of `text` names; empty when there is none.
QString declaredEncoding(const QString& text)
{
    if (!text.startsWith(QLatin1String("<?xml")))
        return QString();
    const int end = text.indexOf(QLatin1String("?>"));
    static const QRegularExpression encoding(
        QStringLiteral("\\sencoding\\s*=\\s*([\"'])([A-Za-z][A-Za-z0-9._-]*)\\1"));
    const QRegularExpressionMatch match =
        encoding.match(end < 0 ? text : text.left(end), 0, QRegularExpression::NormalMatch);
    return match.hasMatch() ? match.captured(2) : QString();
}

bool isSpace(QChar c)
{
    const ushort u = c.unicode();
    return u == 0x20 || u == 0x09 || u == 0x0D || u == 0x0A;
}

// Everything an XML name can hold, and more: the check may count too much, never too little.
bool isNameChar(QChar c)
{
    const ushort u = c.unicode();
    return !isSpace(c) && u != '<' && u != '>' && u != '/' && u != '=' && u != '"' && u != '\'';
}

// Walks the text as the reader does where attributes can arise: start tags, and the markup that
// hides a '<' from it (comments, character data sections, processing instructions and the
// document type). Where the text is malformed the reader stops with an error, so what the walk
// makes of the rest does not matter.
class TagWalk
{
public:
    TagWalk(const QString& text, const BoundedXml::Limits& limits) : text(text), limits(limits) {}

    bool run(QString* error)
    {
        const int size = text.size();
        int pos = 0;
        while ((pos = text.indexOf(QLatin1Char('<'), pos)) >= 0) {
            if (at(pos, "<!--")) {
                pos = skipPast(pos + 4, "-->");
            } else if (at(pos, "<![CDATA[")) {
                pos = skipPast(pos + 9, "]]>");
            } else if (at(pos, "<?")) {
                pos = skipPast(pos + 2, "?>");
            } else if (at(pos, "<!DOCTYPE")) {
                pos = documentType(pos + 9);
                if (pos < 0 && !firstElementOnly())
                    return fail(error, failedAt,
                                tr("a document type that declares entities or "
                                   "attributes of its own"));
                if (pos < 0) {
                    pos = declarationsEnd(failedAt + 1);
                    dropped.append({failedAt, pos - failedAt});
                }
            } else if (pos + 1 < size && (text.at(pos + 1) == QLatin1Char('!') ||
                                          text.at(pos + 1) == QLatin1Char('/'))) {
                pos += 2;
            } else {
                const int start = pos;
                int count = 0;
                pos = startTag(pos + 1, count);
                total += count;
                if (count > limits.attributesPerTag)
                    return fail(
                        error, start,
                        tr("a start tag of more than %1 attributes").arg(limits.attributesPerTag));
                if (firstElementOnly()) {
                    end = pos < 0 ? size : pos;
                    return true;
                }
                if (limits.attributes >= 0 && total > limits.attributes)
                    return fail(error, start, tr("more than %1 attributes").arg(limits.attributes));
            }
            if (pos < 0)
                break;
        }
        return true;
    }

    // The stretches of text to leave out, in order: start and length. And where it ends.
    QVector<QPair<int, int>> dropped;
    int end = -1;

private:
    bool firstElementOnly() const { return !limits.firstElementAttribute.isNull(); }

    bool at(int pos, const char* literal) const
    {
        return QStringRef(&text, pos, qMin(text.size() - pos, int(qstrlen(literal)))) ==
               QLatin1String(literal);
    }

    // Past the end of `literal` from `pos` on; -1 when it does not come (the rest is inside).
    int skipPast(int pos, const char* literal) const
    {
        const int found = text.indexOf(QLatin1String(literal), pos);
        return found < 0 ? -1 : found + int(qstrlen(literal));
    }

    // From after "<!DOCTYPE" to after its '>', quoted identifiers skipped. -1 at a '[' that opens
    // declarations of its own (failedAt set), or when the text ends first.
    int documentType(int pos)
    {
        const int size = text.size();
        while (pos < size) {
            const QChar c = text.at(pos);
            if (c == QLatin1Char('>'))
                return pos + 1;
            if (c == QLatin1Char('[')) {
                failedAt = pos;
                return -1;
            }
            if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
                const int close = text.indexOf(c, pos + 1);
                if (close < 0)
                    return size;
                pos = close + 1;
                continue;
            }
            ++pos;
        }
        return size;
    }

    // After the ']' that closes a document type's declarations, from `pos` inside them: quoted
    // texts, comments and processing instructions are passed over. The text is the end when
    // nothing closes them. What the reader is given no longer holds this stretch, so reading it
    // differently from the reader does no harm.
    int declarationsEnd(int pos) const
    {
        const int size = text.size();
        while (pos < size) {
            const QChar c = text.at(pos);
            if (c == QLatin1Char(']'))
                return pos + 1;
            int next = pos + 1;
            if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
                const int close = text.indexOf(c, pos + 1);
                next = close < 0 ? size : close + 1;
            } else if (at(pos, "<!--")) {
                next = skipPast(pos + 4, "-->");
            } else if (at(pos, "<?")) {
                next = skipPast(pos + 2, "?>");
            }
            pos = next < 0 ? size : next;
        }
        return size;
    }

    // Counts the attributes of the start tag whose name begins at `pos`; returns where the walk
    // goes on. Each attribute is a name, '=' and a quoted value; whatever breaks that pattern
    // ends the tag (for the reader it is the end or an error).
    int startTag(int pos, int& count)
    {
        const int size = text.size();
        auto skipName = [&] {
            while (pos < size && isNameChar(text.at(pos)))
                ++pos;
        };
        auto skipSpace = [&] {
            while (pos < size && isSpace(text.at(pos)))
                ++pos;
        };
        skipName();
        while (pos < size) {
            skipSpace();
            if (pos >= size)
                break;
            const QChar c = text.at(pos);
            if (c == QLatin1Char('>'))
                return pos + 1;
            if (c == QLatin1Char('/')) {
                ++pos;
                continue;
            }
            if (!isNameChar(c))
                return pos;
            const int attribute = pos;
            skipName();
            const bool kept =
                !firstElementOnly() ||
                QStringRef(&text, attribute, pos - attribute) == limits.firstElementAttribute;
            skipSpace();
            if (pos >= size || text.at(pos) != QLatin1Char('='))
                return pos;
            ++pos;
            skipSpace();
            if (pos >= size)
                break;
            const QChar quote = text.at(pos);
            if (quote != QLatin1Char('"') && quote != QLatin1Char('\''))
                return pos;
            ++pos;
            while (pos < size && text.at(pos) != quote && text.at(pos) != QLatin1Char('<'))
                ++pos;
            if (kept)
                ++count;
            if (pos >= size || text.at(pos) == QLatin1Char('<'))
                return pos;
            ++pos;
            if (!kept)
                dropped.append({attribute, pos - attribute});
        }
        return -1;
    }

    bool fail(QString* error, int pos, const QString& reason) const
    {
        if (error) {
            const int line = text.leftRef(pos).count(QLatin1Char('\n')) + 1;
            *error = tr("line %1: %2").arg(line).arg(reason);
        }
        return false;
    }

    const QString& text;
    const BoundedXml::Limits& limits;
    qint64 total = 0;
    int failedAt = 0;
};

} // namespace

bool BoundedXml::decode(const QByteArray& data, QString& text, QString* error, const Limits& limits)
{
    text.clear();
    QTextCodec* const utf8 = QTextCodec::codecForMib(106);
    QTextCodec* codec = codecByFirstBytes(data);
    QString decoded = (codec ? codec : utf8)->toUnicode(data);
    if (!codec) {
        const QString declared = declaredEncoding(decoded);
        if (!declared.isEmpty()) {
            codec = QTextCodec::codecForName(declared.toLatin1());
            if (!codec) {
                if (error)
                    *error = tr("line 1: the encoding %1 is unknown").arg(declared);
                return false;
            }
            if (codec != utf8)
                decoded = codec->toUnicode(data);
        }
    }
    TagWalk walk(decoded, limits);
    if (!walk.run(error))
        return false;
    if (walk.dropped.isEmpty() && walk.end < 0) {
        text = std::move(decoded);
        return true;
    }
    // In one pass: a tag may lose millions of attributes.
    const int end = walk.end < 0 ? decoded.size() : walk.end;
    int from = 0;
    for (const QPair<int, int>& span : qAsConst(walk.dropped)) {
        text += decoded.midRef(from, span.first - from);
        from = span.first + span.second;
    }
    text += decoded.midRef(from, qMax(0, end - from));
    return true;
}

bool BoundedXml::decode(const QByteArray& data, QString& text, QString* error)
{
    return decode(data, text, error, Limits());
}
