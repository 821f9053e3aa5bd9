#include "RepositoryReader.h"

#include "BoundedXml.h"
#include "XmlUtil.h"

#include <QDateTime>
#include <QDomDocument>
#include <QDomNodeList>
#include <QLocale>
#include <QSet>
#include <QXmlStreamReader>

#include <limits>

using namespace util::xml;

namespace {

// Replies nest a few levels; the document reader recurses per level and would exhaust the
// stack on a hostile body long before the size bound.
constexpr int maxDepth = 64;

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
uint dateSeconds(const QDomElement& element)
{
    const QString text = getString(element, QStringLiteral("date"));
    if (text.isNull())
        return uint(missingNumber);
    return text.toUInt();
}

// The server puts a line feed before each description.
QString description(const QDomElement& element)
{
    QString text = getStringFromCData(element, QStringLiteral("description"));
    if (text.startsWith(QLatin1Char('\n')))
        text.remove(0, 1);
    return text;
}

template <typename Read>
bool readEntries(const QByteArray& data, const QString& rootName, const QString& entryName,
                 Read read)
{
    QDomDocument document;
    const QDomElement root = rootOf(document, data, rootName);
    if (root.isNull())
        return false;
    const QDomNodeList entries = root.elementsByTagName(entryName);
    for (int i = 0; i < entries.size(); ++i)
        read(entries.item(i).toElement());
    return true;
}

} // namespace

bool RepositoryReader::readPatches(const QByteArray& data, RepositoryPatches& out)
{
    RepositoryPatches list;
    const bool ok = readEntries(data, QStringLiteral("patches"), QStringLiteral("patch"),
                                [&list](const QDomElement& e) {
                                    RepositoryPatch p;
                                    p.id = getInt(e, QStringLiteral("id"));
                                    p.uid = getInt(e, QStringLiteral("uid"));
                                    p.name = getString(e, QStringLiteral("pname"));
                                    p.user = getString(e, QStringLiteral("uname"));
                                    p.filename = getString(e, QStringLiteral("filename"));
                                    p.description = description(e);
                                    p.date = listDate(dateSeconds(e));
                                    list << p;
                                });
    if (ok)
        out = list;
    return ok;
}

bool RepositoryReader::readBlocks(const QByteArray& data, RepositoryBlocks& out)
{
    RepositoryBlocks list;
    const bool ok = readEntries(data, QStringLiteral("blocks"), QStringLiteral("block"),
                                [&list](const QDomElement& e) {
                                    RepositoryBlock b;
                                    b.hash = getString(e, QStringLiteral("hash"));
                                    b.id = getInt(e, QStringLiteral("id"));
                                    b.uid = getInt(e, QStringLiteral("uid"));
                                    b.name = getString(e, QStringLiteral("bname"));
                                    b.title = getString(e, QStringLiteral("title"));
                                    b.user = getString(e, QStringLiteral("uname"));
                                    b.filename = getString(e, QStringLiteral("filename"));
                                    b.category = getString(e, QStringLiteral("category"));
                                    b.description = description(e);
                                    b.date = listDate(dateSeconds(e));
                                    list << b;
                                });
    if (ok)
        out = list;
    return ok;
}

bool RepositoryReader::readComments(const QByteArray& data, RepositoryComments& out)
{
    RepositoryComments list;
    const bool ok = readEntries(data, QStringLiteral("comments"), QStringLiteral("comment"),
                                [&list](const QDomElement& e) {
                                    RepositoryComment c;
                                    c.date = commentDate(dateSeconds(e));
                                    c.id = getInt(e, QStringLiteral("id"));
                                    c.uid = getInt(e, QStringLiteral("uid"));
                                    c.user = getString(e, QStringLiteral("uname"));
                                    c.content = getStringFromCData(e, QStringLiteral("content"));
                                    list << c;
                                });
    if (ok)
        out = list;
    return ok;
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

bool RepositoryReader::readUserId(const QByteArray& data, int& uid)
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
    if (pos == end)
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
