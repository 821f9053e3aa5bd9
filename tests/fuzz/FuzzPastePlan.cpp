#include "FuzzPastePlan.h"

#include "BlockConnection.h"
#include "BlockInstance.h"
#include "BlockManager.h"
#include "ClipboardPayload.h"
#include "PastePlan.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <limits>
#include <map>
#include <tuple>

namespace {

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "paste plan property broken: %s\n", what);
        std::abort();
    }
}

QByteArray xml(const char* name, int inputs, int outputs, const char* extra = "")
{
    QByteArray vars;
    for (int i = 0; i < inputs; ++i)
        vars += "<var socket=\"in\"/>";
    for (int i = 0; i < outputs; ++i)
        vars += "<var socket=\"out\"/>";
    return QByteArray("<block name=\"") + name + "\"><category>Math</category><data name=\"d\">" +
           vars + extra + "</data><function name=\"f\"/></block>\n";
}

// The editor's library, a carried user block and another file of the same name.
struct Blocks
{
    std::map<QString, BlockDescription> library;
    BlockDescription echo;
    BlockDescription otherEcho;
    QList<const BlockDescription*> placeable;

    Blocks()
    {
        for (const QByteArray& file :
             {xml("Osc", 1, 1,
                  "<var name=\"freq\" value=\"2.000000\"/><var name=\"t[4]\" value=\"1,2,3,4\"/>"),
              xml("Mix", 2, 1), xml("Audio Output", 2, 0), xml("Zero", 0, 0)}) {
            BlockDescription d = BlockManager::loadBlock(file, BlockDescription::OriginLibrary);
            const QString name = d.name;
            library[name] = d;
        }
        echo = BlockManager::loadBlock(xml("Echo", 1, 2), BlockDescription::OriginPatch);
        otherEcho = BlockManager::loadBlock(xml("Echo", 3, 1), BlockDescription::OriginPatch);
        for (const auto& entry : library)
            placeable << &entry.second;
        placeable << &echo;
    }
    const BlockDescription* find(const QString& name) const
    {
        const auto it = library.find(name);
        return it == library.end() ? nullptr : &it->second;
    }
};

const Blocks& blocks()
{
    static const Blocks b;
    return b;
}

// Hands out the input's bytes as values; zeros once they run out.
class Bytes
{
public:
    explicit Bytes(const QByteArray& data) : data(data) {}
    quint32 u8() { return pos < data.size() ? quint8(data[pos++]) : 0; }
    quint32 u16() { return (u8() << 8) | u8(); }
    quint32 u32() { return (u16() << 16) | u16(); }
    quint32 below(quint32 n) { return n ? u8() % n : 0; }

    qint32 id()
    {
        switch (u8() % 5) {
        case 0:
            return qint32(1 + below(6)); // small, often repeated
        case 1:
            return qint32(u16());
        case 2:
            return qint32(65536 + u16());
        case 3:
            return 0;
        default:
            return qint32(65535 - below(4));
        }
    }
    qint32 coordinate()
    {
        switch (u8() % 6) {
        case 0:
            return -qint32(below(200));
        case 1:
            return qint32(60000 + u16());
        case 2:
            return qint32(u16()) - 32768;
        default:
            return qint32(u16() % 4000);
        }
    }
    double clickCoordinate()
    {
        switch (u8() % 8) {
        case 0:
            return std::nan("");
        case 1:
            return (u8() & 1 ? -1 : 1) * 1e300;
        case 2:
            return -double(u16()) - u8() / 256.0;
        default:
            return double(u16() % 4000) + u8() / 256.0;
        }
    }
    QString text(bool forValues)
    {
        static const QString alphabet = QStringLiteral("aZ09 ,.<>\"&;\u00e9\u20ac");
        QString out;
        const quint32 length = below(7);
        for (quint32 i = 0; i < length; ++i) {
            QChar c = alphabet.at(int(below(quint32(alphabet.size()))));
            if (forValues && c == QLatin1Char(';'))
                c = QLatin1Char(',');
            out += c;
        }
        return out;
    }

private:
    QByteArray data;
    int pos = 0;
};

// What the document pasted into holds, as the plan sees it.
struct Document
{
    QSet<qint32> instanceIds;
    QSet<qint32> commentIds;
    qint32 highestConnectionId = 0;
    QPointF click;
    bool ownsEcho = false;

    PastePlan::Target target() const
    {
        PastePlan::Target t;
        const bool own = ownsEcho;
        t.documentDescription = [own](const QString& name) -> const BlockDescription* {
            return own && name == QLatin1String("Echo") ? &blocks().otherEcho : nullptr;
        };
        t.libraryDescription = [](const QString& name) { return blocks().find(name); };
        t.instanceIds = instanceIds;
        t.commentIds = commentIds;
        t.highestConnectionId = highestConnectionId;
        t.click = click;
        return t;
    }
};

qint32 truncated(double v)
{
    if (v != v)
        return 0;
    return qint32(std::max(-1e9, std::min(1e9, v)));
}

bool freshIds(const QList<qint32>& ids, const QSet<qint32>& used, qint32 limit)
{
    QSet<qint32> seen;
    for (const qint32 id : ids) {
        if (id < 1 || id > limit || used.contains(id) || seen.contains(id))
            return false;
        seen.insert(id);
    }
    return true;
}

// What every plan must keep, whatever the input.
void checkPlan(const PastePlan& plan, const Document& doc)
{
    const PastePlan::Target target = doc.target();
    auto describe = [&](const QString& name) -> const BlockDescription* {
        if (const BlockDescription* own = target.documentDescription(name))
            return own;
        for (const BlockDescription& carried : plan.descriptions) {
            if (carried.name == name)
                return &carried;
        }
        return target.libraryDescription(name);
    };

    auto once = [](const QStringList& names) {
        return QSet<QString>(names.cbegin(), names.cend()).size() == names.size();
    };
    check(once(plan.notFound), "not-found names once each");
    check(once(plan.different), "different names once each");
    if (plan.recordEmpty)
        check(plan.instances.isEmpty() && plan.comments.isEmpty(), "an empty record adds nothing");
    if (!plan.notFound.isEmpty())
        check(plan.cables.isEmpty() && plan.comments.isEmpty(), "a lacking patch is not assembled");

    QList<qint32> ids;
    QHash<qint32, const BlockDescription*> byId;
    for (const PastePlan::Instance& instance : plan.instances) {
        const BlockDescription* d = describe(instance.name);
        check(d && !d->name.isEmpty(), "every pasted block has a description");
        check(size_t(instance.values.size()) >= d->variables.size(), "values are padded");
        check(!plan.notFound.contains(instance.name), "a pasted block was found");
        ids << instance.id;
        byId.insert(instance.id, d);
    }
    check(freshIds(ids, doc.instanceIds, PastePlan::maxId), "block ids are fresh and fit 16 bits");

    qint64 next = qint64(std::max(0, doc.highestConnectionId)) + 1;
    for (const PastePlan::Cable& cable : plan.cables) {
        check(cable.id == next++, "cable ids run on from the highest");
        const BlockDescription* from = byId.value(cable.outBlock);
        const BlockDescription* to = byId.value(cable.inBlock);
        check(from && to, "cables join pasted blocks");
        check(cable.outSocket >= 0 && cable.outSocket < from->outputs.size(),
              "cables leave an output the block has");
        check(cable.inSocket >= 0 && cable.inSocket < to->inputs.size(),
              "cables enter an input the block has");
    }

    QList<qint32> commentIds;
    for (const Comment& comment : plan.comments)
        commentIds << comment.id;
    check(freshIds(commentIds, doc.commentIds, PastePlan::maxCommentId),
          "comment ids are fresh and fit 16 bits");
}

Document makeDocument(Bytes& in)
{
    Document doc;
    const quint32 blocksUsed = in.below(6);
    for (quint32 i = 0; i < blocksUsed; ++i)
        doc.instanceIds.insert(std::max(1, in.id()));
    const quint32 commentsUsed = in.below(4);
    for (quint32 i = 0; i < commentsUsed; ++i)
        doc.commentIds.insert(std::max(1, in.id()));
    doc.highestConnectionId = in.u8() & 1 ? qint32(in.u16()) : 0;
    const double x = in.clickCoordinate();
    doc.click = QPointF(x, in.clickCoordinate());
    doc.ownsEcho = in.u8() % 4 == 0;
    return doc;
}

QString base64(const QByteArray& payload, bool wrapped)
{
    const QString text = QString::fromLatin1(payload.toBase64());
    if (!wrapped)
        return text;
    QString out;
    for (int i = 0; i < text.size(); i += 76)
        out += text.mid(i, 76) + QStringLiteral("\r\n");
    return out;
}

using CableKey = std::tuple<qint32, qint32, qint32, qint32>;

std::vector<CableKey> cableKeys(const PastePlan& plan)
{
    std::vector<CableKey> keys;
    for (const PastePlan::Cable& c : plan.cables)
        keys.emplace_back(c.outBlock, c.outSocket, c.inBlock, c.inSocket);
    std::sort(keys.begin(), keys.end());
    return keys;
}

// The bytes as a payload from anywhere: raw, and as the Base64 text another program wrapped.
void pasteRaw(const QByteArray& bytes)
{
    Document doc;
    doc.instanceIds = {1, 2, 7};
    doc.commentIds = {3};
    doc.highestConnectionId = 4;
    doc.click = QPointF(120.5, 80.25);
    const PastePlan plan = PastePlan::fromPayload(bytes, doc.target());
    checkPlan(plan, doc);

    const PastePlan fromText = PastePlan::fromText(base64(bytes, true), doc.target());
    check(fromText.instances.size() == plan.instances.size() &&
              fromText.comments.size() == plan.comments.size() &&
              fromText.descriptions.size() == plan.descriptions.size() &&
              cableKeys(fromText) == cableKeys(plan) && fromText.notFound == plan.notFound,
          "wrapped Base64 text pastes like the bytes");
}

// A selection made from the bytes, copied and pasted: it comes back whole, placed from the
// click, under fresh ids.
void copyThenPaste(Bytes& in)
{
    const Document doc = makeDocument(in);
    const Blocks& b = blocks();

    std::deque<BlockInstance> instances;
    std::deque<BlockConnection> cables;
    std::deque<Comment> notes;
    const quint32 count = in.below(7);
    for (quint32 i = 0; i < count; ++i) {
        instances.emplace_back();
        BlockInstance& block = instances.back();
        block.description = b.placeable.at(int(in.below(quint32(b.placeable.size()))));
        block.id = in.id();
        block.nodeId = in.u8() % 3 ? 0 : qint32(in.u32());
        block.x = in.coordinate();
        block.y = in.coordinate();
        for (size_t v = 0; v < block.description->variables.size(); ++v)
            block.values << in.text(true);
    }
    // One block outside the selection, as a cable's far end.
    BlockInstance outside;
    outside.id = 1;
    outside.description = b.find("Mix");
    for (BlockInstance& from : instances) {
        const quint32 n = in.below(3);
        for (quint32 c = 0; c < n; ++c) {
            cables.emplace_back();
            BlockConnection& cable = cables.back();
            const quint32 to = in.below(quint32(instances.size()) + 1);
            cable.outBlock = &from;
            cable.inBlock = to < instances.size() ? &instances[to] : &outside;
            cable.outBlockSocketId = qint32(in.below(4));
            cable.inBlockSocketId = qint32(in.below(4));
            from.outputs.insert(cable.outBlockSocketId, &cable);
        }
    }
    const quint32 commentCount = in.below(4);
    for (quint32 i = 0; i < commentCount; ++i)
        notes.push_back(Comment{in.id(), in.coordinate(), in.coordinate(), in.text(false)});

    InstanceList selection;
    QHash<const BlockInstance*, int> index;
    qint64 left = notes.empty() && instances.empty() ? 0 : std::numeric_limits<qint64>::max();
    qint64 top = left;
    qint64 right = std::numeric_limits<qint64>::min();
    qint64 bottom = right;
    for (const BlockInstance& block : instances) {
        index.insert(&block, selection.size());
        selection << &block;
        left = std::min<qint64>(left, block.x);
        top = std::min<qint64>(top, block.y);
        right = std::max<qint64>(right, block.x);
        bottom = std::max<qint64>(bottom, block.y);
    }
    QList<const Comment*> comments;
    for (const Comment& note : notes) {
        comments << &note;
        left = std::min<qint64>(left, note.x);
        top = std::min<qint64>(top, note.y);
        right = std::max<qint64>(right, note.x);
        bottom = std::max<qint64>(bottom, note.y);
    }

    bool fits = true;
    const QByteArray record = util::selectionRecord(selection, comments, &fits);
    const bool spanFits = selection.isEmpty() && comments.isEmpty()
                              ? true
                              : right - left <= 0xFFFF && bottom - top <= 0xFFFF;
    check(fits == spanFits, "a selection is refused exactly when it spans more than 16 bits");
    if (!fits) {
        check(record.isEmpty(), "a refused selection gives no record");
        return;
    }
    const QByteArray payload = util::clipboardPayload(record, util::selectionBlockFiles(selection));
    const PastePlan plan = PastePlan::fromText(base64(payload, in.u8() & 1), doc.target());
    checkPlan(plan, doc);

    check(plan.recordEmpty == (selection.isEmpty() && comments.isEmpty()),
          "only an empty selection pastes nothing");
    check(plan.notFound.isEmpty(), "every copied block is found");
    const bool echoDiffers = doc.ownsEcho && std::any_of(selection.cbegin(), selection.cend(),
                                                         [&b](const BlockInstance* i) {
                                                             return i->description == &b.echo;
                                                         });
    check(plan.different == (echoDiffers ? QStringList{"Echo"} : QStringList{}),
          "only a block the document holds otherwise differs");
    check(plan.instances.size() == selection.size(), "every copied block is pasted");
    check(plan.comments.size() == comments.size(), "every copied comment is pasted");

    const qint64 dx = truncated(doc.click.x()) - left;
    const qint64 dy = truncated(doc.click.y()) - top;
    qint64 highest = 0;
    for (const qint32 id : doc.instanceIds)
        highest = std::max<qint64>(highest, id);
    QSet<qint32> storedIds;
    qint32 largest = 0;
    bool storedAsIs = true;
    for (const BlockInstance* block : selection) {
        storedAsIs =
            storedAsIs && block->id >= 1 && block->id <= 0xFFFF && !storedIds.contains(block->id);
        storedIds.insert(block->id);
        largest = std::max(largest, block->id);
    }
    const bool plainOffset = storedAsIs && largest + highest <= 0xFFFF;

    // The document's own Echo stands in for the copied one.
    auto pastedAs = [&](const BlockInstance* block) {
        return doc.ownsEcho && block->description == &b.echo ? &b.otherEcho : block->description;
    };
    for (int i = 0; i < selection.size(); ++i) {
        const BlockInstance* block = selection.at(i);
        const PastePlan::Instance& pasted = plan.instances.at(i);
        check(pasted.name == block->description->name, "the name comes back");
        check(pasted.nodeId == block->nodeId, "the node id comes back");
        check(pasted.values.mid(0, block->values.size()) == block->values, "the values come back");
        const std::vector<Variable>& variables = pastedAs(block)->variables;
        for (size_t v = size_t(block->values.size()); v < variables.size(); ++v)
            check(pasted.values.at(int(v)) == initialValue(variables[v]),
                  "missing values are the description's");
        check(pasted.x == block->x + dx && pasted.y == block->y + dy,
              "the top-left lands on the click");
        if (plainOffset)
            check(pasted.id == block->id + highest, "ids are stored id + highest id");
    }
    for (int i = 0; i < comments.size(); ++i) {
        check(plan.comments.at(i).text == comments.at(i)->text, "the comment text comes back");
        check(plan.comments.at(i).x == comments.at(i)->x + dx &&
                  plan.comments.at(i).y == comments.at(i)->y + dy,
              "comments keep their place to the blocks");
    }

    std::vector<CableKey> expected;
    for (int i = 0; i < selection.size(); ++i) {
        const BlockInstance* from = selection.at(i);
        for (const BlockConnection* cable : from->outputs) {
            const auto to = index.constFind(cable->inBlock);
            if (to == index.constEnd() ||
                cable->outBlockSocketId >= pastedAs(from)->outputs.size() ||
                cable->inBlockSocketId >= pastedAs(cable->inBlock)->inputs.size())
                continue;
            expected.emplace_back(plan.instances.at(i).id, cable->outBlockSocketId,
                                  plan.instances.at(*to).id, cable->inBlockSocketId);
        }
    }
    std::sort(expected.begin(), expected.end());
    check(cableKeys(plan) == expected, "exactly the cables between copied blocks come back");
}

} // namespace

void fuzzPastePlan(const QByteArray& bytes)
{
    pasteRaw(bytes);
    Bytes in(bytes);
    copyThenPaste(in);
}
