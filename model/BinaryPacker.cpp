#include "BinaryPacker.h"

#include "BinaryUtil.h"
#include "BlockDescription.h"
#include "BlockInstance.h"

#include <QDataStream>
#include <QDateTime>
#include <QLocale>
#include <QVector>
#include <array>
#include <cstring>
#include <vector>

namespace {

const char breakBytes[3] = {'\xFF', '\xFF', '\x00'};
constexpr int breakSize = 3;
constexpr int formatVersion = 6;
constexpr qint32 sceneCentre = 2000;
constexpr qint64 max16 = 0xFFFF;
constexpr int maxCables = BinaryPacker::maxBlockCables;
constexpr int maxRecords = BinaryPacker::maxRecords;
constexpr qint64 maxValuesOrCables = BinaryPacker::maxValuesOrCables;

struct Budget
{
    qint64 values = maxValuesOrCables;
    qint64 cables = maxValuesOrCables;
    bool exceeded = false;

    bool take(qint64& left, qint64 count)
    {
        if (count > left) {
            exceeded = true;
            return false;
        }
        left -= count;
        return true;
    }
};

// How far a body was read.
enum class Outcome
{
    Complete,
    // Cut short, or holding more than its records: what could be read was kept.
    Partial,
    // More records than ids, or more values or cables than the budget: nothing was kept.
    TooMany
};

// What a version stores besides the fields that every version 1 to 6 has.
struct Layout
{
    bool zoom = false;
    bool includeBlocks = false;
    bool commentFlag = false;
};

Layout layoutOf(int version)
{
    switch (version) {
    case 1:
        return {false, false, false};
    case 2:
        return {false, false, true};
    case 3:
        return {true, false, true};
    case 6:
        return {true, true, false};
    default: // 4 and 5
        return {true, false, false};
    }
}

// The header values of a record that does not carry them: those of a new document.
PackedPatch newPatch()
{
    PackedPatch patch;
    patch.x = sceneCentre;
    patch.y = sceneCentre;
    patch.date = quint32(QDateTime::currentSecsSinceEpoch());
    patch.lang = qint32(QLocale::system().language());
    patch.includeBlocks = true;
    return patch;
}

QString decodeText(const char* data, qsizetype size)
{
    const void* zero = std::memchr(data, 0, size_t(size));
    if (zero)
        size = static_cast<const char*>(zero) - data;
    return QString::fromUtf8(data, int(size));
}

// A cursor over raw bytes that never reads past the end. A read that does not fit moves to
// the end, marks the data as cut short and fails.
class Reader
{
public:
    Reader(const char* data, qsizetype size) : data(data), size(size) {}
    explicit Reader(const QByteArray& bytes) : Reader(bytes.constData(), bytes.size()) {}

    qsizetype left() const { return size - pos; }
    bool atEnd() const { return pos >= size; }
    bool cutShort() const { return shortRead; }

    // A section break as earlier readers found it: FF FF and the byte after it.
    bool atBreak() const
    {
        return left() >= 2 && uchar(data[pos]) == 0xFF && uchar(data[pos + 1]) == 0xFF;
    }
    void skipBreak() { pos += qMin<qsizetype>(breakSize, left()); }

    bool u8(quint32& value) { return number(1, value); }
    bool u16(quint32& value) { return number(2, value); }
    bool u32(quint32& value) { return number(4, value); }

    // A 16-bit count and that many bytes. When fewer are left, the bytes that are there are
    // decoded and the data counts as cut short. False only when the count itself is missing.
    bool text(QString& out)
    {
        quint32 count = 0;
        if (!u16(count))
            return false;
        out = bytes(count);
        return true;
    }

    // A 32-bit count and that many bytes, as a stream of the first release wrote strings.
    // A count beyond the data reads as an empty text, as such a stream does.
    bool counted(QString& out)
    {
        quint32 count = 0;
        if (!u32(count))
            return false;
        out.clear();
        if (count == 0xFFFFFFFFu || count == 0)
            return true;
        if (qint64(count) > left()) {
            pos = size;
            shortRead = true;
            return true;
        }
        out = bytes(count);
        return true;
    }

private:
    bool number(int width, quint32& value)
    {
        if (left() < width) {
            pos = size;
            shortRead = true;
            return false;
        }
        value = 0;
        for (int i = 0; i < width; ++i)
            value = (value << 8) | uchar(data[pos + i]);
        pos += width;
        return true;
    }

    QString bytes(quint32 count)
    {
        const qsizetype take = qMin<qsizetype>(count, left());
        const QString text = decodeText(data + pos, take);
        pos += take;
        if (take < qsizetype(count))
            shortRead = true;
        return text;
    }

    const char* data;
    qsizetype size;
    qsizetype pos = 0;
    bool shortRead = false;
};

using NodeDictionary = QHash<quint32, qint32>;

void readHeader(Reader& in, const Layout& layout, PackedPatch& patch)
{
    quint32 value = 0;
    in.text(patch.name);
    if (in.u16(value))
        patch.x = qint32(value);
    if (in.u16(value))
        patch.y = qint32(value);
    if (layout.zoom) {
        quint32 sign = 0;
        quint32 magnitude = 0;
        if (in.u8(sign) && in.u16(magnitude))
            patch.zoomLevel = sign ? -qint32(magnitude) : qint32(magnitude);
    }
    if (in.u32(value))
        patch.date = value;
    if (in.u16(value))
        patch.saved = qint32(value);
    if (in.u8(value))
        patch.lang = qint32(value);
    patch.includeBlocks = true;
    if (layout.includeBlocks && in.u16(value))
        patch.includeBlocks = value == 1;
}

Comment readComment(Reader& in, const Layout& layout)
{
    Comment comment;
    quint32 value = 0;
    if (in.u16(value))
        comment.id = qint32(value);
    if (in.u16(value))
        comment.x = qint32(value);
    if (in.u16(value))
        comment.y = qint32(value);
    in.text(comment.text);
    if (layout.commentFlag)
        in.u8(value);
    return comment;
}

void readNodeEntry(Reader& in, NodeDictionary& dictionary)
{
    quint32 index = 0;
    quint32 value = 0;
    if (in.u8(index) && in.u32(value))
        dictionary.insert(index, qint32(value));
}

QStringList splitValues(const QString& text)
{
    return text.split(QLatin1Char(';'), Qt::KeepEmptyParts);
}

// Nothing is built beyond the budget; `budget.exceeded` then tells the caller to stop.
PackedInstance readBlock(Reader& in, const NodeDictionary& dictionary, Budget& budget)
{
    PackedInstance block;
    quint32 value = 0;
    in.text(block.name);
    in.text(block.hash);
    if (in.u8(value))
        block.nodeValue = dictionary.value(value, 0);
    if (in.u16(value))
        block.id = qint32(value);
    if (in.u16(value))
        block.x = qint32(value);
    if (in.u16(value))
        block.y = qint32(value);
    QString values;
    if (in.text(values)) {
        if (!budget.take(budget.values, values.count(QLatin1Char(';')) + 1))
            return block;
        block.values = splitValues(values);
    }
    quint32 cables = 0;
    if (in.u8(cables)) {
        if (!budget.take(budget.cables, qMin<qint64>(cables, in.left() / 4)))
            return block;
        for (quint32 i = 0; i < cables; ++i) {
            quint32 out = 0;
            quint32 target = 0;
            quint32 input = 0;
            if (!(in.u8(out) && in.u16(target) && in.u8(input)))
                break;
            block.connections.append({qint32(out), qint32(target), qint32(input)});
        }
    }
    return block;
}

// Reads the sections in order, field by field, and takes a break only where a record ends.
// False when the header, the comments or the node dictionary do not end in a break; the
// blocks run to the end of the body, a record cut short there being kept as far as it goes.
bool readForward(const QByteArray& body, const Layout& layout, PackedPatch& patch, Outcome& outcome)
{
    Reader in(body);
    readHeader(in, layout, patch);
    if (in.cutShort() || !in.atBreak())
        return false;
    in.skipBreak();
    for (;;) {
        if (in.atBreak()) {
            in.skipBreak();
            break;
        }
        if (in.atEnd())
            return false;
        const Comment comment = readComment(in, layout);
        if (in.cutShort())
            return false;
        if (patch.comments.size() == maxRecords) {
            outcome = Outcome::TooMany;
            return true;
        }
        patch.comments.append(comment);
    }
    NodeDictionary dictionary;
    for (;;) {
        if (in.atBreak()) {
            in.skipBreak();
            break;
        }
        if (in.atEnd())
            return false;
        readNodeEntry(in, dictionary);
        if (in.cutShort())
            return false;
    }
    Budget budget;
    while (!in.atEnd()) {
        if (patch.blocks.size() == maxRecords) {
            outcome = Outcome::TooMany;
            return true;
        }
        patch.blocks.append(readBlock(in, dictionary, budget));
        if (budget.exceeded) {
            outcome = Outcome::TooMany;
            return true;
        }
        if (in.cutShort())
            break;
    }
    outcome = in.cutShort() ? Outcome::Partial : Outcome::Complete;
    return true;
}

// The reading of earlier releases: sections cut at every FF FF from the end, the first four
// by position read, each loop ending with its section. Missing sections are empty. Complete
// when there were exactly four sections, each holding whole records and nothing more.
Outcome readBySplitting(const QByteArray& body, const Layout& layout, PackedPatch& patch)
{
    const char* bytes = body.constData();
    const qsizetype size = body.size();
    // Only the four cuts nearest the front shape the sections that are read.
    std::array<qsizetype, 4> front{};
    int found = 0;
    for (qsizetype i = size - 2; i >= 0;) {
        if (uchar(bytes[i]) == 0xFF && uchar(bytes[i + 1]) == 0xFF) {
            for (int k = 3; k > 0; --k)
                front[size_t(k)] = front[size_t(k - 1)];
            front[0] = i;
            ++found;
            i -= 2;
        } else {
            --i;
        }
    }
    const int cuts = qMin(found, 4);
    auto section = [&](int index) {
        if (index > cuts)
            return Reader(bytes, 0);
        const qsizetype start = index == 0 ? 0 : qMin(size, front[size_t(index - 1)] + breakSize);
        const qsizetype end = index < cuts ? front[size_t(index)] : size;
        return Reader(bytes + start, qMax<qsizetype>(0, end - start));
    };

    Reader header = section(0);
    readHeader(header, layout, patch);
    Reader comments = section(1);
    while (!comments.atEnd() && !comments.cutShort()) {
        if (patch.comments.size() == maxRecords)
            return Outcome::TooMany;
        patch.comments.append(readComment(comments, layout));
    }
    NodeDictionary dictionary;
    Reader nodes = section(2);
    while (!nodes.atEnd() && !nodes.cutShort())
        readNodeEntry(nodes, dictionary);
    Reader blocks = section(3);
    Budget budget;
    while (!blocks.atEnd() && !blocks.cutShort()) {
        if (patch.blocks.size() == maxRecords)
            return Outcome::TooMany;
        patch.blocks.append(readBlock(blocks, dictionary, budget));
        if (budget.exceeded)
            return Outcome::TooMany;
    }
    const bool exact = found == 3 && !header.cutShort() && header.atEnd() && !comments.cutShort() &&
                       !nodes.cutShort() && !blocks.cutShort();
    return exact ? Outcome::Complete : Outcome::Partial;
}

// A patch with more records than ids was not written by the editor: it is refused whole.
PackedPatch refuseTooMany()
{
    qWarning("%s", qUtf8Printable(BinaryPacker::tr("Cant open patch. It holds more than %1 "
                                                   "blocks or comments, or more than %2 values "
                                                   "or cables.")
                                      .arg(maxRecords)
                                      .arg(maxValuesOrCables)));
    return newPatch();
}

PackedPatch readBody(const QByteArray& body, int version, Outcome& outcome)
{
    const Layout layout = layoutOf(version);
    PackedPatch patch = newPatch();
    if (!readForward(body, layout, patch, outcome)) {
        patch = newPatch();
        outcome = readBySplitting(body, layout, patch);
    }
    return outcome == Outcome::TooMany ? newPatch() : patch;
}

PackedPatch readVersion0(const QByteArray& data, Outcome& outcome)
{
    PackedPatch patch = newPatch();
    Reader in(data);
    Budget budget;
    while (!in.atEnd()) {
        if (patch.blocks.size() == maxRecords) {
            outcome = Outcome::TooMany;
            return newPatch();
        }
        PackedInstance block;
        quint32 value = 0;
        in.counted(block.name);
        if (in.u8(value))
            block.id = qint32(value);
        if (in.u16(value))
            block.x = qint32(value);
        if (in.u16(value))
            block.y = qint32(value);
        QString values;
        if (in.counted(values)) {
            if (!budget.take(budget.values, values.count(QLatin1Char(';')) + 1)) {
                outcome = Outcome::TooMany;
                return newPatch();
            }
            block.values = splitValues(values);
        }
        quint32 cables = 0;
        if (in.u8(cables)) {
            if (!budget.take(budget.cables, qMin<qint64>(cables, in.left() / 3))) {
                outcome = Outcome::TooMany;
                return newPatch();
            }
            for (quint32 i = 0; i < cables; ++i) {
                quint32 out = 0;
                quint32 target = 0;
                quint32 input = 0;
                if (!(in.u8(out) && in.u8(target) && in.u8(input)))
                    break;
                block.connections.append({qint32(out), qint32(target), qint32(input)});
            }
        }
        patch.blocks.append(block);
        if (in.cutShort())
            break;
    }
    outcome = in.cutShort() ? Outcome::Partial : Outcome::Complete;
    return patch;
}

PackedPatch readChecked(const QByteArray& body, int version)
{
    Outcome outcome = Outcome::Complete;
    const PackedPatch patch = readBody(body, version, outcome);
    return outcome == Outcome::TooMany ? refuseTooMany() : patch;
}

qint64 infoNumber(const QHash<QString, QString>& info, const char* key)
{
    bool ok = false;
    const qint64 value = info.value(QLatin1String(key)).toLongLong(&ok, 10);
    return ok ? value : 0;
}

// The ids to store for `ids`, in the same order: each that fits 0..highest is kept, each other
// takes the lowest free one above 0 (0 last), so no two stored ids meet where the original ids
// were distinct. A patch holds at most highest + 1 of them (RecordFit), so one is always free.
QVector<qint32> storedIds(const QVector<qint32>& ids, qint32 highest)
{
    std::vector<bool> taken(size_t(highest) + 1, false);
    bool renumber = false;
    for (const qint32 id : ids) {
        if (id >= 0 && id <= highest)
            taken[size_t(id)] = true;
        else
            renumber = true;
    }
    QVector<qint32> stored = ids;
    if (!renumber)
        return stored;
    qint32 next = 1;
    for (qint32& id : stored) {
        if (id >= 0 && id <= highest)
            continue;
        while (next <= highest && taken[size_t(next)])
            ++next;
        id = next <= highest ? next : 0;
        taken[size_t(id)] = true;
    }
    return stored;
}

// Positions outside the 16-bit field would come back far off the canvas; keep them at its
// edge instead.
qint64 position(qint64 value)
{
    return qBound<qint64>(0, value, max16);
}

} // namespace

QByteArray BinaryPacker::pack(const QList<const BlockInstance*>& instances,
                              const QList<const Comment*>& comments,
                              const QHash<QString, QString>& info) const
{
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);

    writeText(out, info.value(QStringLiteral("name")));
    write16(out, position(infoNumber(info, "x")));
    write16(out, position(infoNumber(info, "y")));
    const qint64 zoom = infoNumber(info, "zoomLevel");
    write8(out, zoom < 0 ? 1 : 0);
    write16(out, qMin(zoom < 0 ? -zoom : zoom, max16));
    write32(out, infoNumber(info, "date"));
    write16(out, infoNumber(info, "saved"));
    write8(out, infoNumber(info, "lang"));
    write16(out, infoNumber(info, "includeBlocks"));
    writeBreak(out);

    QVector<qint32> commentIds;
    for (const Comment* comment : comments) {
        if (comment)
            commentIds.append(comment->id);
    }
    commentIds = storedIds(commentIds, highestCommentId);
    int commentIndex = 0;
    for (const Comment* comment : comments) {
        if (!comment)
            continue;
        write16(out, commentIds.at(commentIndex++));
        write16(out, position(comment->x));
        write16(out, position(comment->y));
        writeText(out, comment->text);
    }
    writeBreak(out);

    QList<qint32> dictionary = createNodeDictionary(instances);
    if (dictionary.size() == maxNodeIds && !mayBeLastNodeId(dictionary.last())) {
        for (int i = maxNodeIds - 2; i >= 0; --i) {
            if (mayBeLastNodeId(dictionary.at(i))) {
                dictionary.swapItemsAt(i, maxNodeIds - 1);
                break;
            }
        }
    }
    for (int i = 0; i < dictionary.size(); ++i) {
        write8(out, i);
        write32(out, dictionary.at(i));
    }
    writeBreak(out);

    // Cables follow their target blocks to the ids these are stored under.
    QVector<qint32> blockIds;
    for (const BlockInstance* instance : instances) {
        if (instance)
            blockIds.append(instance->id);
    }
    const QVector<qint32> storedBlockIds = storedIds(blockIds, highestBlockId);
    QHash<const BlockInstance*, qint32> renumbered;
    for (int i = 0, k = 0; i < instances.size(); ++i) {
        if (!instances.at(i))
            continue;
        if (storedBlockIds.at(k) != blockIds.at(k))
            renumbered.insert(instances.at(i), storedBlockIds.at(k));
        ++k;
    }
    auto storedId = [&renumbered](const BlockInstance* instance) {
        const auto found = renumbered.constFind(instance);
        return found == renumbered.constEnd() ? instance->id : *found;
    };

    for (const BlockInstance* instance : instances) {
        if (!instance)
            continue;
        const BlockDescription* description = instance->description;
        writeText(out, description ? description->name : QString());
        writeText(out, description ? description->hash : QString());
        const int index = dictionary.indexOf(instance->nodeId);
        write8(out, index < 0 ? 0xFF : index);
        write16(out, storedId(instance));
        write16(out, position(instance->x));
        write16(out, position(instance->y));
        writeText(out, instance->values.join(QLatin1Char(';')));
        // A cable whose target block was removed has nowhere to go, nor has one to a block
        // left out of the record whose id does not fit.
        QList<const BlockConnection*> cables;
        for (const BlockConnection* cable : instance->outputs) {
            if (!cable || !cable->inBlock || cables.size() == maxCables)
                continue;
            const qint32 target = storedId(cable->inBlock);
            if (target >= 0 && target <= highestBlockId)
                cables.append(cable);
        }
        write8(out, cables.size());
        for (const BlockConnection* cable : cables) {
            write8(out, cable->outBlockSocketId);
            write16(out, storedId(cable->inBlock));
            write8(out, cable->inBlockSocketId);
        }
    }

    QByteArray record;
    record.reserve(body.size() / 2 + 16);
    record.append(char(formatVersion >> 8));
    record.append(char(formatVersion & 0xFF));
    record.append(qCompress(body, -1));
    return record;
}

QByteArray BinaryPacker::pack(const QList<const BlockInstance*>& instances,
                              const QList<const Comment*>& comments) const
{
    return pack(instances, comments, QHash<QString, QString>());
}

PackedPatch BinaryPacker::load(const QByteArray& data) const
{
    const int version = data.size() >= 2 ? int(util::bin::readBE16(data.constData())) : -1;
    if (version == 0)
        return loadV0(data);
    if (version < 1 || version > formatVersion) {
        qWarning("%s", qUtf8Printable(tr("Cant open patch. Unknown format.")));
        return newPatch();
    }

    const util::bin::Inflated body = util::bin::inflate(data.constData() + 2, data.size() - 2);
    if (body.status == util::bin::InflateStatus::TooLarge) {
        qWarning("%s", qUtf8Printable(tr("Cant open patch. The packed data is too large.")));
        return newPatch();
    }
    if (body.status != util::bin::InflateStatus::Ok) {
        qWarning("%s", qUtf8Printable(tr("Cant open patch. The packed data is damaged.")));
        return newPatch();
    }
    switch (version) {
    case 1:
        return loadV1(body.data);
    case 2:
        return loadV2(body.data);
    case 3:
        return loadV3(body.data);
    case 6:
        return loadV6(body.data);
    default:
        return loadV4(body.data);
    }
}

PackedPatch BinaryPacker::loadV0(const QByteArray& data) const
{
    Outcome outcome = Outcome::Complete;
    const PackedPatch patch = readVersion0(data, outcome);
    return outcome == Outcome::TooMany ? refuseTooMany() : patch;
}

PackedPatch BinaryPacker::loadV1(const QByteArray& body) const
{
    return readChecked(body, 1);
}

PackedPatch BinaryPacker::loadV2(const QByteArray& body) const
{
    return readChecked(body, 2);
}

PackedPatch BinaryPacker::loadV3(const QByteArray& body) const
{
    return readChecked(body, 3);
}

PackedPatch BinaryPacker::loadV4(const QByteArray& body) const
{
    return readChecked(body, 4);
}

PackedPatch BinaryPacker::loadV6(const QByteArray& body) const
{
    return readChecked(body, 6);
}

bool BinaryPacker::isWellFormed(const QByteArray& data)
{
    if (data.size() < 2)
        return false;
    const int version = int(util::bin::readBE16(data.constData()));
    Outcome outcome = Outcome::Partial;
    if (version == 0) {
        readVersion0(data, outcome);
        return outcome == Outcome::Complete;
    }
    if (version > formatVersion)
        return false;
    const util::bin::Inflated body = util::bin::inflate(data.constData() + 2, data.size() - 2);
    if (body.status != util::bin::InflateStatus::Ok || body.consumed != data.size() - 2)
        return false;
    readBody(body.data, version, outcome);
    return outcome == Outcome::Complete;
}

QList<qint32> BinaryPacker::createNodeDictionary(const QList<const BlockInstance*>& instances)
{
    QList<qint32> dictionary;
    for (const BlockInstance* instance : instances) {
        if (instance && !dictionary.contains(instance->nodeId))
            dictionary.append(instance->nodeId);
    }
    return dictionary;
}

void BinaryPacker::writeText(QDataStream& stream, const QString& text)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.size() > maxTextBytes) {
        // A longer count would not fit its field and would spoil every field after it; cut
        // at a character boundary.
        int cut = maxTextBytes;
        while (cut > 0 && (uchar(bytes.at(cut)) & 0xC0) == 0x80)
            --cut;
        qWarning("%s", qUtf8Printable(tr("A text of %1 bytes is too long for a patch; only its "
                                         "first %2 bytes are stored.")
                                          .arg(bytes.size())
                                          .arg(cut)));
        bytes.truncate(cut);
    }
    write16(stream, bytes.size());
    stream.writeRawData(bytes.constData(), bytes.size());
}

QString BinaryPacker::readText(QDataStream& stream)
{
    const quint32 count = read16(stream);
    QByteArray bytes(int(count), '\0');
    const int got = stream.readRawData(bytes.data(), int(count));
    return decodeText(bytes.constData(), qMax(0, got));
}

void BinaryPacker::write8(QDataStream& stream, qint64 value)
{
    const char byte = char(value & 0xFF);
    stream.writeRawData(&byte, 1);
}

void BinaryPacker::write16(QDataStream& stream, qint64 value)
{
    const char bytes[2] = {char((value >> 8) & 0xFF), char(value & 0xFF)};
    stream.writeRawData(bytes, 2);
}

void BinaryPacker::write32(QDataStream& stream, qint64 value)
{
    const char bytes[4] = {char((value >> 24) & 0xFF), char((value >> 16) & 0xFF),
                           char((value >> 8) & 0xFF), char(value & 0xFF)};
    stream.writeRawData(bytes, 4);
}

namespace {

quint32 readNumber(QDataStream& stream, int width)
{
    char bytes[4] = {0, 0, 0, 0};
    const int got = stream.readRawData(bytes, width);
    quint32 value = 0;
    for (int i = 0; i < width; ++i)
        value = (value << 8) | (i < got ? uchar(bytes[i]) : 0u);
    return value;
}

} // namespace

quint32 BinaryPacker::read8(QDataStream& stream)
{
    return readNumber(stream, 1);
}

quint32 BinaryPacker::read16(QDataStream& stream)
{
    return readNumber(stream, 2);
}

quint32 BinaryPacker::read32(QDataStream& stream)
{
    return readNumber(stream, 4);
}

void BinaryPacker::writeBreak(QDataStream& stream)
{
    stream.writeRawData(breakBytes, breakSize);
}
