#include "RepositoryReader.h"

#include "BoundedXml.h"
#include "XmlUtil.h"

#include <QDateTime>
#include <QDomDocument>
#include <QDomNodeList>
#include <QHash>
#include <QLocale>
#include <QSet>
#include <QXmlStreamReader>

#include <limits>
#include <utility>

using namespace util::xml;

namespace {

// Replies nest a few levels; the document reader recurses per level and would exhaust the
// stack on a hostile body long before the size bound.
constexpr int maxDepth = 64;

// Characters handed to the list reader at a time.
constexpr int feedPiece = 64 * 1024;

bool shallow(const QString& text)
{
    QXmlStreamReader reader(text);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement && ++depth > maxDepth)
            return false;
        if (token == QXmlStreamReader::EndElement)
            --depth;
    }
    return true;
}

// The root element of the body when it has the expected name; a null element otherwise, also
// when the body is not XML. The document must outlive the element: node lists of an element
// whose document is gone are rebuilt at every access.
QDomElement rootOf(QDomDocument& document, const QByteArray& data, const QString& expected)
{
    QString text;
    if (!BoundedXml::decode(data, text) || !shallow(text))
        return QDomElement();
    document.setContent(text);
    QDomElement root = document.documentElement();
    if (root.tagName() != expected)
        return QDomElement();
    return root;
}

// Dates travel as Unix seconds, read as unsigned; an absent one reads as the missing number.
uint dateSeconds(const QXmlStreamAttributes& attributes)
{
    const QLatin1String name("date");
    if (!attributes.hasAttribute(name))
        return uint(missingNumber);
    return attributes.value(name).toUInt();
}

// Formats each date once per list: local time is slow to work out, and a hostile list sends
// the same date many thousand times.
class Dates
{
public:
    explicit Dates(QString (*format)(uint)) : format(format) {}
    QString text(uint seconds)
    {
        const auto known = texts.constFind(seconds);
        if (known != texts.cend())
            return *known;
        return *texts.insert(seconds, format(seconds));
    }

private:
    QString (*format)(uint);
    QHash<uint, QString> texts;
};

// The server puts a line feed before each description.
QString description(QString text)
{
    if (text.startsWith(QLatin1Char('\n')))
        text.remove(0, 1);
    return text;
}

// Reads the entries of a list in one pass: each `entryName` element below the root, at any
// depth and in document order, starts an entry with its attributes (`begin`); the CDATA that
// opens its first `textName` child is its long text (`setText`), sections that follow each
// other joined. As with a document reader, blank text counts as no node, and what was read
// before a fault of the XML stands. A body with a document type declaration is refused: no
// server sends one, and its entities are how a hostile body grows.
template <typename Begin, typename SetText>
bool readEntries(const QByteArray& data, QLatin1String rootName, QLatin1String entryName,
                 QLatin1String textName, Begin begin, SetText setText)
{
    enum TextState
    {
        NoText,   // no long-text child yet
        Awaiting, // inside the first one, before its first node
        Reading,  // reading the sections that open it
        Done
    };
    struct Open
    {
        int depth;
        int index;
        TextState state;
        QString text;
    };
    // The bounded check sees every tag before the reader does; the reader is then fed in
    // pieces, so a list refused early is never read to its end.
    QString body;
    if (!BoundedXml::decode(data, body))
        return false;
    QXmlStreamReader reader;
    int fed = 0;
    auto feed = [&reader, &body, &fed] {
        if (fed >= body.size())
            return false;
        int size = qMin(feedPiece, body.size() - fed);
        // Each piece is converted on its own: a surrogate pair cut in two would read as two
        // replacement characters.
        if (fed + size < body.size() && body.at(fed + size - 1).isHighSurrogate())
            --size;
        reader.addData(body.mid(fed, size));
        fed += size;
        return true;
    };
    feed();
    QVector<Open> open;
    int depth = 0;
    int entries = 0;
    bool rooted = false;
    auto inText = [&open, &depth] {
        return !open.isEmpty() && depth == open.last().depth + 1 &&
               (open.last().state == Awaiting || open.last().state == Reading);
    };
    auto finishText = [&open, &setText] {
        Open& top = open.last();
        if (top.state == Reading)
            setText(top.index, top.text);
        top.state = Done;
        top.text.clear();
    };
    for (;;) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (reader.error() == QXmlStreamReader::PrematureEndOfDocumentError && feed())
            continue;
        if (reader.atEnd())
            break;
        switch (token) {
        case QXmlStreamReader::DTD:
            return false;
        case QXmlStreamReader::StartElement: {
            // An element inside the long text ends the sections that open it.
            if (inText())
                finishText();
            if (++depth > maxDepth)
                return false;
            const QStringRef name = reader.name();
            if (depth == 1) {
                if (name != rootName)
                    return false;
                rooted = true;
                break;
            }
            if (!open.isEmpty() && open.last().state == NoText && depth == open.last().depth + 1 &&
                name == textName)
                open.last().state = Awaiting;
            if (name == entryName) {
                if (entries == RepositoryReader::maxEntries)
                    return false;
                begin(reader.attributes());
                open.append({depth, entries++, NoText, QString()});
            }
            break;
        }
        case QXmlStreamReader::EndElement:
            if (inText())
                finishText();
            if (!open.isEmpty() && open.last().depth == depth)
                open.removeLast();
            --depth;
            break;
        case QXmlStreamReader::Characters:
            if (!inText() || (reader.isWhitespace() && !reader.isCDATA()))
                break;
            if (reader.isCDATA()) {
                open.last().state = Reading;
                open.last().text += reader.text();
            } else {
                finishText();
            }
            break;
        case QXmlStreamReader::Comment:
        case QXmlStreamReader::ProcessingInstruction:
        case QXmlStreamReader::EntityReference:
            if (inText())
                finishText();
            break;
        default:
            break;
        }
    }
    // A body that broke off keeps the long text read so far, as the document reader kept its
    // nodes.
    while (!open.isEmpty()) {
        if (open.last().state == Reading)
            setText(open.last().index, open.last().text);
        open.removeLast();
    }
    return rooted;
}

// The names of a list's elements and how its dates are shown.
struct ListShape
{
    const char* root;
    const char* entry;
    const char* text;
    QString (*format)(uint);
};

// A list read by readEntries into `out`, which changes only when the whole body was read:
// `make` turns an entry's attributes into its record, whose date is then filled in, and
// `setText` gives it its long text.
template <typename List, typename Make, typename SetText>
bool readList(const QByteArray& data, const ListShape& shape, List& out, Make make, SetText setText)
{
    List list;
    Dates dates(shape.format);
    const bool ok = readEntries(
        data, QLatin1String(shape.root), QLatin1String(shape.entry), QLatin1String(shape.text),
        [&list, &dates, &make](const QXmlStreamAttributes& a) {
            auto entry = make(a);
            entry.date = dates.text(dateSeconds(a));
            list << std::move(entry);
        },
        [&list, &setText](int index, const QString& t) { setText(list[index], t); });
    if (ok)
        out = list;
    return ok;
}

} // namespace

bool RepositoryReader::readPatches(const QByteArray& data, RepositoryPatches& out)
{
    return readList(
        data, {"patches", "patch", "description", &RepositoryReader::listDate}, out,
        [](const QXmlStreamAttributes& a) {
            RepositoryPatch p;
            p.id = getInt(a, "id");
            p.uid = getInt(a, "uid");
            p.name = getString(a, "pname");
            p.user = getString(a, "uname");
            p.filename = getString(a, "filename");
            return p;
        },
        [](RepositoryPatch& p, const QString& t) { p.description = description(t); });
}

bool RepositoryReader::readBlocks(const QByteArray& data, RepositoryBlocks& out)
{
    return readList(
        data, {"blocks", "block", "description", &RepositoryReader::listDate}, out,
        [](const QXmlStreamAttributes& a) {
            RepositoryBlock b;
            b.hash = getString(a, "hash");
            b.id = getInt(a, "id");
            b.uid = getInt(a, "uid");
            b.name = getString(a, "bname");
            b.title = getString(a, "title");
            b.user = getString(a, "uname");
            b.filename = getString(a, "filename");
            b.category = getString(a, "category");
            return b;
        },
        [](RepositoryBlock& b, const QString& t) { b.description = description(t); });
}

bool RepositoryReader::readComments(const QByteArray& data, RepositoryComments& out)
{
    return readList(
        data, {"comments", "comment", "content", &RepositoryReader::commentDate}, out,
        [](const QXmlStreamAttributes& a) {
            RepositoryComment c;
            c.id = getInt(a, "id");
            c.uid = getInt(a, "uid");
            c.user = getString(a, "uname");
            return c;
        },
        [](RepositoryComment& c, const QString& t) { c.content = t; });
}

bool RepositoryReader::readVersion(const QByteArray& data, Version& out)
{
    QDomDocument document;
    const QDomElement root = rootOf(document, data, QStringLiteral("version"));
    if (root.isNull())
        return false;
    for (const char* name : {"major", "sub", "build"}) {
        if (!root.hasAttribute(QLatin1String(name)))
            return false;
    }
    out.major = getInt(root, QStringLiteral("major"));
    out.sub = getInt(root, QStringLiteral("sub"));
    out.build = getInt(root, QStringLiteral("build"));
    return true;
}

bool RepositoryReader::isNewer(const Version& offered, const Version& running)
{
    if (offered.major != running.major)
        return offered.major > running.major;
    if (offered.sub != running.sub)
        return offered.sub > running.sub;
    return offered.build > running.build;
}

RepositoryBlocks RepositoryReader::matchMissing(const RepositoryBlocks& server,
                                                const RepositoryBlocks& missing)
{
    QSet<QString> names;
    for (const RepositoryBlock& block : missing)
        names.insert(block.name);
    RepositoryBlocks matched;
    for (const RepositoryBlock& entry : server) {
        if (names.contains(entry.name))
            matched << entry;
    }
    return matched;
}

QString RepositoryReader::listDate(uint seconds)
{
    return QDateTime::fromSecsSinceEpoch(qint64(seconds)).toString(QStringLiteral("yyyy.MM.dd"));
}

QString RepositoryReader::commentDate(uint seconds)
{
    return QLocale::system().toString(QDateTime::fromSecsSinceEpoch(qint64(seconds)).date(),
                                      QLocale::ShortFormat);
}

namespace {

// What a plain answer says between blanks or tabs and at most one line break at the very end;
// false when it is nothing.
bool plainAnswer(const QByteArray& data, int& from, int& to)
{
    int end = data.size();
    if (end > 0 && data.at(end - 1) == '\n') {
        --end;
        if (end > 0 && data.at(end - 1) == '\r')
            --end;
    }
    auto blank = [&data](int i) { return data.at(i) == ' ' || data.at(i) == '\t'; };
    int pos = 0;
    while (pos < end && blank(pos))
        ++pos;
    while (end > pos && blank(end - 1))
        --end;
    from = pos;
    to = end;
    return pos < end;
}

} // namespace

bool RepositoryReader::readUserId(const QByteArray& data, int& uid)
{
    int pos = 0;
    int end = 0;
    if (!plainAnswer(data, pos, end))
        return false;
    qint64 value = 0;
    for (int i = pos; i < end; ++i) {
        const char c = data.at(i);
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
        if (value > std::numeric_limits<int>::max())
            return false;
    }
    uid = int(value);
    return true;
}

bool RepositoryReader::readAcceptance(const QByteArray& data)
{
    int pos = 0;
    int end = 0;
    return plainAnswer(data, pos, end) && end - pos == 1 && data.at(pos) == '1';
}
