#include "PastePlan.h"

#include "BinaryPacker.h"
#include "BlockManager.h"
#include "ClipboardPayload.h"
#include "PatchInfo.h"
#include "RecordFit.h"

#include <QCoreApplication>
#include <QHash>
#include <QtDebug>
#include <algorithm>
#include <limits>
#include <numeric>

const int PastePlan::maxTextSize = 16 * 1024 * 1024;

namespace {

void warnTooLarge()
{
    qWarning("%s", qUtf8Printable(QCoreApplication::translate(
                       "PastePlan", "The clipboard holds too much data to paste.")));
}

void addOnce(QStringList& names, const QString& name)
{
    if (!names.contains(name))
        names.append(name);
}

// The click as whole scene units, truncated toward zero; far-off or undefined points are held
// to a range in which no position can overflow.
qint32 truncatedCoordinate(double value)
{
    constexpr double bound = 1e9;
    if (!(value > -bound))
        return value != value ? 0 : -qint32(bound);
    if (value > bound)
        return qint32(bound);
    return qint32(value);
}

} // namespace

void PastePlan::refuse(qint64 blocks, qint64 comments)
{
    RecordFit::Tally tally;
    tally.blocks = blocks;
    tally.comments = comments;
    refusal = RecordFit::problem(tally, PatchInfo());
    descriptions.clear();
    instances.clear();
    cables.clear();
    this->comments.clear();
    notFound.clear();
    different.clear();
}

QList<qint32> PastePlan::freshIds(const QList<qint32>& stored, const QSet<qint32>& used,
                                  qint32 limit)
{
    QList<qint32> out;
    if (stored.isEmpty())
        return out;
    qint64 highest = 0;
    for (const qint32 id : used)
        highest = std::max<qint64>(highest, id);

    const qint32 lowest = *std::min_element(stored.cbegin(), stored.cend());
    const qint32 largest = *std::max_element(stored.cbegin(), stored.cend());
    auto shifted = [&](qint64 offset) {
        if (lowest + offset < 1 || largest + offset > limit)
            return false;
        QSet<qint64> seen;
        seen.reserve(stored.size());
        for (const qint32 id : stored) {
            const qint64 fresh = qint64(id) + offset;
            if (used.contains(qint32(fresh)) || seen.contains(fresh))
                return false;
            seen.insert(fresh);
        }
        for (const qint32 id : stored)
            out.append(qint32(qint64(id) + offset));
        return true;
    };
    if (shifted(highest))
        return out;
    // A stored id 0 lands on the highest id in use: keep the spacing, one step higher. Ids
    // that would pass the limit are numbered compactly instead, so repeated pastes of the
    // newest block do not double the highest id.
    if (largest + highest <= limit && shifted(highest + 1 - lowest))
        return out;

    // Ids repeat, or would pass the limit: number them one after another in stored-id order,
    // above the highest id in use if they fit there, else in the lowest free ids (0 last). None
    // passes the limit: with too few free ids there is no numbering.
    QVector<int> order(stored.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&stored](int a, int b) { return stored.at(a) < stored.at(b); });
    QVector<qint64> fresh(stored.size());
    if (highest + stored.size() <= limit) {
        for (int i = 0; i < order.size(); ++i)
            fresh[order.at(i)] = highest + 1 + i;
    } else {
        qint64 next = 1;
        for (const int at : order) {
            while (next <= limit && used.contains(qint32(next)))
                ++next;
            if (next <= limit) {
                fresh[at] = next++;
            } else if (next == limit + 1 && !used.contains(0)) {
                fresh[at] = 0;
                ++next;
            } else {
                return {};
            }
        }
    }
    for (const qint64 id : fresh)
        out.append(qint32(id));
    return out;
}

PastePlan PastePlan::fromText(const QString& text, const Target& target)
{
    if (text.size() > maxTextSize) {
        warnTooLarge();
        return PastePlan();
    }
    return fromPayload(QByteArray::fromBase64(text.toLatin1()), target);
}

PastePlan PastePlan::fromPayload(const QByteArray& payload, const Target& target)
{
    PastePlan plan;
    const QList<QByteArray> parts = util::unpackClipboardPayload(payload);
    if (parts.size() - 1 > maxItems) {
        warnTooLarge();
        return plan;
    }

    QHash<QString, int> firstCarried;
    for (int i = 1; i < parts.size(); ++i) {
        BlockDescription carried =
            BlockManager::loadBlock(parts.at(i), BlockDescription::OriginPatch);
        const BlockDescription* library =
            target.libraryDescription ? target.libraryDescription(carried.name) : nullptr;
        if (library && !library->name.isEmpty() && library->hash == carried.hash)
            carried.origin = BlockDescription::OriginUser;
        if (!firstCarried.contains(carried.name))
            firstCarried.insert(carried.name, plan.descriptions.size());
        plan.descriptions.append(std::move(carried));
    }

    // Fewer than two bytes hold no version: nothing to paste, and nothing to warn about.
    const QByteArray& record = parts.first();
    if (record.size() < 2)
        return plan;
    const PackedPatch patch = BinaryPacker().load(record);
    if (patch.blocks.isEmpty() && patch.comments.isEmpty())
        return plan;
    if (patch.blocks.size() > maxItems || patch.comments.size() > maxItems) {
        warnTooLarge();
        return plan;
    }
    plan.recordEmpty = false;

    // As the document will find them once it holds the carried descriptions.
    auto describe = [&](const QString& name) -> const BlockDescription* {
        if (target.documentDescription) {
            if (const BlockDescription* own = target.documentDescription(name))
                return own;
        }
        const auto carried = firstCarried.constFind(name);
        if (carried != firstCarried.constEnd())
            return &plan.descriptions.at(*carried);
        return target.libraryDescription ? target.libraryDescription(name) : nullptr;
    };

    const qint32 dx = truncatedCoordinate(target.click.x()) - patch.x;
    const qint32 dy = truncatedCoordinate(target.click.y()) - patch.y;

    // Blocks without a description are left out; they are named in the not-found report.
    QList<int> kept;
    QList<const BlockDescription*> keptDescriptions;
    QList<qint32> storedIds;
    for (int i = 0; i < patch.blocks.size(); ++i) {
        const PackedInstance& packed = patch.blocks.at(i);
        const BlockDescription* description = describe(packed.name);
        if (!description || description->name.isEmpty()) {
            addOnce(plan.notFound, packed.name);
            continue;
        }
        if (description->hash != packed.hash)
            addOnce(plan.different, packed.name);
        kept.append(i);
        keptDescriptions.append(description);
        storedIds.append(packed.id);
    }

    const QList<qint32> ids = freshIds(storedIds, target.instanceIds);
    if (ids.size() != storedIds.size()) {
        plan.refuse(target.instanceIds.size() + storedIds.size(), 0);
        return plan;
    }
    // A cable names its target by stored id; with repeated ids the first block of it is meant.
    QHash<qint32, int> byStoredId;
    for (int k = kept.size() - 1; k >= 0; --k)
        byStoredId.insert(storedIds.at(k), k);

    for (int k = 0; k < kept.size(); ++k) {
        const PackedInstance& packed = patch.blocks.at(kept.at(k));
        const BlockDescription* description = keptDescriptions.at(k);
        Instance instance;
        instance.name = packed.name;
        instance.id = ids.at(k);
        instance.nodeId = packed.nodeValue;
        instance.x = packed.x + dx;
        instance.y = packed.y + dy;
        instance.values = packed.values;
        for (size_t v = size_t(instance.values.size()); v < description->variables.size(); ++v)
            instance.values.append(initialValue(description->variables[v]));
        plan.instances.append(instance);
    }

    if (!plan.notFound.isEmpty())
        return plan;

    qint64 cableId = qint64(std::max(0, target.highestConnectionId)) + 1;
    for (int k = 0; k < kept.size(); ++k) {
        const PackedInstance& packed = patch.blocks.at(kept.at(k));
        const BlockDescription* from = keptDescriptions.at(k);
        for (const QList<qint32>& stored : packed.connections) {
            if (stored.size() != 3)
                continue;
            const auto to = byStoredId.constFind(stored.at(1));
            if (to == byStoredId.constEnd())
                continue;
            const qint32 outSocket = stored.at(0);
            const qint32 inSocket = stored.at(2);
            if (outSocket < 0 || outSocket >= from->outputs.size() || inSocket < 0 ||
                inSocket >= keptDescriptions.at(*to)->inputs.size())
                continue;
            if (cableId > std::numeric_limits<qint32>::max())
                break;
            Cable cable;
            cable.id = qint32(cableId++);
            cable.outBlock = ids.at(k);
            cable.outSocket = outSocket;
            cable.inBlock = ids.at(*to);
            cable.inSocket = inSocket;
            plan.cables.append(cable);
        }
    }

    QList<qint32> storedCommentIds;
    for (const Comment& comment : patch.comments)
        storedCommentIds.append(comment.id);
    const QList<qint32> commentIds = freshIds(storedCommentIds, target.commentIds, maxCommentId);
    if (commentIds.size() != storedCommentIds.size()) {
        plan.refuse(0, target.commentIds.size() + storedCommentIds.size());
        return plan;
    }
    for (int i = 0; i < patch.comments.size(); ++i) {
        Comment comment = patch.comments.at(i);
        comment.id = commentIds.at(i);
        comment.x += dx;
        comment.y += dy;
        plan.comments.append(comment);
    }
    return plan;
}
