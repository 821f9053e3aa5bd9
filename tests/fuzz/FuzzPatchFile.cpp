// The packed-record reader and the patch-file splitter. The first byte picks what the rest is
// fed to: a record, a patch file, a body of a given version, or bytes made into a patch that is
// packed and read back.
#include "FuzzTarget.h"

#include "BinaryPacker.h"
#include "BinaryUtil.h"
#include "BlockConnection.h"
#include "BlockDescription.h"
#include "BlockInstance.h"
#include "ClipboardPayload.h"
#include "FuzzPastePlan.h"
#include "PatchFile.h"
#include "PatchRecord.h"
#include "ReferenceReader.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>

namespace {

void fail(const char* what)
{
    std::fprintf(stderr, "fuzz property broken: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what)
{
    if (!ok)
        fail(what);
}

// Hands out the input's bytes as values; zeros once they run out.
class Bytes
{
public:
    Bytes(const uint8_t* data, size_t size) : data(data), size(size) {}
    quint32 u8() { return pos < size ? data[pos++] : 0; }
    quint32 u16() { return (u8() << 8) | u8(); }
    quint32 u32() { return (u16() << 16) | u16(); }
    quint32 below(quint32 n) { return n ? u8() % n : 0; }

    // No zero byte (it ends a stored text) and, for values, no ";" (it splits them).
    QString text(bool forValues)
    {
        static const QString alphabet =
            QStringLiteral("aZ09 ;,.<>\"&\u00e9\u00ff\u20ac") + QString::fromUcs4(U"\U0001F600");
        QString out;
        const quint32 length = below(9);
        for (quint32 i = 0; i < length; ++i) {
            const int at = int(below(quint32(alphabet.size())));
            QChar c = alphabet.at(at);
            if (c.isHighSurrogate() || c.isLowSurrogate()) {
                out += QString::fromUcs4(U"\U0001F600");
                continue;
            }
            if (forValues && c == QLatin1Char(';'))
                c = QLatin1Char(',');
            out += c;
        }
        return out;
    }

private:
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
};

// Mostly 16-bit ids, some of them 65535; now and then one that does not fit 16 bits.
qint32 anyId(Bytes& in)
{
    switch (in.below(8)) {
    case 0:
        return qint32(in.u32());
    case 1:
        return 0xFFFF;
    default:
        return qint32(in.u16());
    }
}

// The ids a record stores for `ids` must keep every id inside 0..highest and give the others
// distinct free ids inside it; `stored` are the ids read back. Returns them.
QList<qint32> checkRenumbered(const QList<qint32>& ids, const QList<qint32>& stored, qint32 highest)
{
    check(ids.size() == stored.size(), "every item comes back");
    QSet<qint32> fitting;
    for (const qint32 id : ids) {
        if (id >= 0 && id <= highest)
            fitting.insert(id);
    }
    QSet<qint32> given;
    for (int i = 0; i < ids.size(); ++i) {
        if (ids[i] >= 0 && ids[i] <= highest) {
            check(stored[i] == ids[i], "an id that fits is kept");
            continue;
        }
        check(stored[i] >= 0 && stored[i] <= highest, "a new id fits");
        check(!fitting.contains(stored[i]) && !given.contains(stored[i]), "a new id is free");
        given.insert(stored[i]);
    }
    return stored;
}

QList<QList<qint32>> sorted(QList<QList<qint32>> cables)
{
    std::sort(cables.begin(), cables.end());
    return cables;
}

// Empty when the two agree; otherwise names the first field that differs.
QString difference(const PackedPatch& a, const PackedPatch& b)
{
    auto field = [](const char* name, const auto& x, const auto& y) {
        return x == y ? QString()
                      : QStringLiteral("%1: %2 / %3").arg(QLatin1String(name)).arg(x).arg(y);
    };
    QString d;
    auto first = [&d](const QString& next) {
        if (d.isEmpty())
            d = next;
    };
    first(field("name", a.name, b.name));
    first(field("x", a.x, b.x));
    first(field("y", a.y, b.y));
    first(field("zoomLevel", a.zoomLevel, b.zoomLevel));
    first(field("date", a.date, b.date));
    first(field("saved", a.saved, b.saved));
    first(field("lang", a.lang, b.lang));
    first(field("includeBlocks", int(a.includeBlocks), int(b.includeBlocks)));
    first(field("comments", a.comments.size(), b.comments.size()));
    first(field("blocks", a.blocks.size(), b.blocks.size()));
    if (!d.isEmpty())
        return d;
    for (int i = 0; i < a.comments.size(); ++i) {
        const Comment& x = a.comments[i];
        const Comment& y = b.comments[i];
        first(field("comment id", x.id, y.id));
        first(field("comment x", x.x, y.x));
        first(field("comment y", x.y, y.y));
        first(field("comment text", x.text, y.text));
    }
    for (int i = 0; i < a.blocks.size(); ++i) {
        const PackedInstance& x = a.blocks[i];
        const PackedInstance& y = b.blocks[i];
        first(field("block name", x.name, y.name));
        first(field("block hash", x.hash, y.hash));
        first(field("block id", x.id, y.id));
        first(field("block node", x.nodeValue, y.nodeValue));
        first(field("block x", x.x, y.x));
        first(field("block y", x.y, y.y));
        first(field("block values", x.values.join(QLatin1Char('|')),
                    y.values.join(QLatin1Char('|'))));
        first(field("block cables", int(x.connections.size()), int(y.connections.size())));
        if (d.isEmpty() && sorted(x.connections) != sorted(y.connections))
            d = QStringLiteral("block cables differ");
    }
    return d;
}

void checkSame(const PackedPatch& a, const PackedPatch& b, const char* what)
{
    const QString d = difference(a, b);
    if (!d.isEmpty()) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(d));
        fail(what);
    }
}

void readerOf(int version, const QByteArray& body, PackedPatch& out)
{
    BinaryPacker packer;
    switch (version) {
    case 1:
        out = packer.loadV1(body);
        break;
    case 2:
        out = packer.loadV2(body);
        break;
    case 3:
        out = packer.loadV3(body);
        break;
    case 6:
        out = packer.loadV6(body);
        break;
    default:
        out = packer.loadV4(body);
        break;
    }
}

// Where the plain reading gets a body right, ours must read it the same.
void compareWithReference(const QByteArray& body, int version)
{
    bool wellFormed = false;
    const PackedPatch reference = referenceRead(body, version, wellFormed);
    PackedPatch ours;
    readerOf(version, body, ours);
    if (!wellFormed)
        return;
    checkSame(ours, reference, "reads a well-formed body like the plain reading");
    QByteArray record;
    record.append(char(0)).append(char(version));
    record.append(qCompress(body, 1));
    check(BinaryPacker::isWellFormed(record), "a body the plain reading gets right is whole");
}

void checkPartition(const QList<QByteArray>& parts, const QByteArray& sep, const QByteArray& whole)
{
    check(!parts.isEmpty(), "a split gives at least one part");
    QByteArray joined = parts.first();
    for (int i = 1; i < parts.size(); ++i)
        joined += sep + parts[i];
    check(joined == whole, "the parts and separators make up the input");
}

void splitFile(const QByteArray& file)
{
    const QList<QByteArray> parts = util::unpackPatch(file);
    const bool current = file.size() >= 2 && util::bin::readBE16(file.constData()) >= 5;
    checkPartition(parts,
                   current || file.size() < 2 ? util::bin::createSeparator()
                                              : util::bin::createOldSeparator(),
                   file);
    const util::PatchFileContents contents = util::readPatchFile(file);
    check(contents.blockFiles.size() == parts.size() - 1, "one block file per part");
    checkPartition(util::unpackClipboardPayload(file), util::bin::createSeparator(), file);
}

// A patch made from the input, packed and read back: every field must survive.
void roundTrip(Bytes& in)
{
    std::deque<BlockDescription> descriptions;
    std::deque<BlockInstance> instances;
    std::deque<BlockConnection> cables;
    std::deque<Comment> comments;

    QHash<QString, QString> info;
    info.insert(QStringLiteral("name"), in.text(false));
    info.insert(QStringLiteral("x"), QString::number(in.u16()));
    info.insert(QStringLiteral("y"), QString::number(in.u16()));
    const qint32 magnitude = qint32(in.u16());
    const qint32 zoom = in.u8() & 1 ? -magnitude : magnitude;
    info.insert(QStringLiteral("zoomLevel"), QString::number(zoom));
    const quint32 date = in.u32();
    info.insert(QStringLiteral("date"), QString::number(date));
    const quint32 saved = in.u16();
    info.insert(QStringLiteral("saved"), QString::number(saved));
    const quint32 lang = in.u8();
    info.insert(QStringLiteral("lang"), QString::number(lang));
    const bool include = in.u8() & 1;
    info.insert(QStringLiteral("includeBlocks"), QString::number(include ? 1 : 0));

    const quint32 commentCount = in.below(5);
    for (quint32 i = 0; i < commentCount; ++i) {
        const qint32 id = anyId(in);
        const qint32 x = qint32(in.u16());
        const qint32 y = qint32(in.u16());
        comments.push_back(Comment{id, x, y, in.text(false)});
    }

    qint32 nodes[4];
    for (qint32& node : nodes)
        node = qint32(in.u32());
    const quint32 blockCount = in.below(6);
    for (quint32 i = 0; i < blockCount; ++i) {
        descriptions.emplace_back();
        descriptions.back().name = in.text(false);
        descriptions.back().hash = in.text(false);
        instances.emplace_back();
        BlockInstance& b = instances.back();
        b.description = &descriptions.back();
        b.id = anyId(in);
        b.nodeId = nodes[in.below(4)];
        b.x = qint32(in.u16());
        b.y = qint32(in.u16());
        const quint32 valueCount = 1 + in.below(6);
        for (quint32 v = 0; v < valueCount; ++v)
            b.values << in.text(true);
    }
    for (BlockInstance& from : instances) {
        const quint32 cableCount = in.below(4);
        for (quint32 c = 0; c < cableCount; ++c) {
            cables.emplace_back();
            BlockConnection& cable = cables.back();
            cable.outBlock = &from;
            cable.inBlock = &instances[in.below(quint32(instances.size()))];
            cable.outBlockSocketId = qint32(in.u8());
            cable.inBlockSocketId = qint32(in.u8());
            from.outputs.insert(cable.outBlockSocketId, &cable);
        }
    }

    QList<const BlockInstance*> instanceList;
    for (const BlockInstance& b : instances)
        instanceList << &b;
    QList<const Comment*> commentList;
    for (const Comment& c : comments)
        commentList << &c;
    const QByteArray record = BinaryPacker().pack(instanceList, commentList, info);

    const PackedPatch read = BinaryPacker().load(record);
    QList<qint32> commentIds;
    QList<qint32> readCommentIds;
    for (const Comment& c : comments)
        commentIds << c.id;
    for (const Comment& c : read.comments)
        readCommentIds << c.id;
    QList<qint32> blockIds;
    QList<qint32> readBlockIds;
    for (const BlockInstance& b : instances)
        blockIds << b.id;
    for (const PackedInstance& b : read.blocks)
        readBlockIds << b.id;
    commentIds = checkRenumbered(commentIds, readCommentIds, 0xFFFE);
    blockIds = checkRenumbered(blockIds, readBlockIds, 0xFFFF);
    QHash<const BlockInstance*, qint32> storedId;
    for (int i = 0; i < int(instances.size()); ++i)
        storedId.insert(&instances[size_t(i)], blockIds[i]);

    PackedPatch expected;
    expected.name = info.value(QStringLiteral("name"));
    expected.x = info.value(QStringLiteral("x")).toInt();
    expected.y = info.value(QStringLiteral("y")).toInt();
    expected.zoomLevel = zoom;
    expected.date = date;
    expected.saved = qint32(saved);
    expected.lang = qint32(lang);
    expected.includeBlocks = include;
    for (int i = 0; i < int(comments.size()); ++i) {
        expected.comments << comments[size_t(i)];
        expected.comments.last().id = commentIds[i];
    }
    for (const BlockInstance& b : instances) {
        PackedInstance p;
        p.name = b.description->name;
        p.hash = b.description->hash;
        p.id = storedId.value(&b);
        p.nodeValue = b.nodeId;
        p.x = b.x;
        p.y = b.y;
        p.values = b.values;
        for (const BlockConnection* c : b.outputs)
            p.connections.append(
                {c->outBlockSocketId, storedId.value(c->inBlock), c->inBlockSocketId});
        expected.blocks << p;
    }

    checkSame(read, expected, "pack then load keeps every item, its cables following its id");
    check(BinaryPacker::isWellFormed(record), "a packed record is whole");
    QByteArray withNode = record;
    util::bin::appendBE32(withNode, quint32(nodes[0]));
    check(util::readPatchRecord(withNode).nodeId == nodes[0], "the node id comes back");
    compareWithReference(util::bin::uncompress(record.mid(2)), 6);
}

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

void fuzzSetUp(int*, char***)
{
    // The readers warn about every bad input.
    qInstallMessageHandler(quiet);
}

int fuzzOne(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray rest(reinterpret_cast<const char*>(data + 1), int(size - 1));
    switch (data[0] % 4) {
    case 0:
        util::readPatchRecord(rest);
        util::isPatchRecord(rest);
        BinaryPacker().load(rest);
        break;
    case 1:
        splitFile(rest);
        fuzzPastePlan(rest);
        break;
    case 2:
        if (!rest.isEmpty())
            compareWithReference(rest.mid(1), 1 + uchar(rest[0]) % 6);
        break;
    default: {
        Bytes in(data + 1, size - 1);
        roundTrip(in);
        break;
    }
    }
    return 0;
}
