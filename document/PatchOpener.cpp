#include "PatchOpener.h"

#include "BlockDescription.h"
#include "BlockInstance.h"
#include "BlockManager.h"
#include "PatchDocument.h"
#include "PatchScene.h"

#include <QCoreApplication>
#include <QDebug>
#include <QHash>
#include <QSet>
#include <vector>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("PatchOpener", text);
}

// An input or an output: the block's id and the socket's number.
quint64 socketKey(qint32 block, qint32 socket)
{
    return (quint64(quint32(block)) << 32) | quint32(socket);
}

const BlockDescription* descriptionOf(const PatchDocument* document, const QString& name,
                                      const PatchOpener::Library& library)
{
    const BlockDescription* found = document->getBlockDescription(name);
    return found ? found : library(name);
}

} // namespace

PatchOpener::Binding PatchOpener::bindBlocks(PatchDocument* document, const PackedPatch& patch,
                                             const QList<QByteArray>& blockFiles,
                                             const Library& library)
{
    Binding binding;
    QSet<QString> damaged;
    for (const QByteArray& bytes : blockFiles) {
        const BlockDescription carried =
            BlockManager::loadBlock(bytes, BlockDescription::OriginPatch, QString(), QString());
        if (carried.name.isEmpty()) {
            // What is left of a damaged file may still say whose it was.
            const QString name = BlockManager::blockName(bytes);
            if (name.isEmpty()) {
                ++binding.unnamed;
            } else if (!damaged.contains(name)) {
                damaged.insert(name);
                binding.damaged << name;
            }
        }
        const BlockDescription* known = library(carried.name);
        if (!known || known->hash != carried.hash)
            document->addBlockDescription(carried);
    }

    QSet<QString> notFound;
    QSet<QString> different;
    for (const PackedInstance& instance : patch.blocks) {
        const BlockDescription* found = descriptionOf(document, instance.name, library);
        if (!found || found->name.isEmpty()) {
            if (damaged.contains(instance.name) || notFound.contains(instance.name))
                continue;
            notFound.insert(instance.name);
            binding.notFound << instance.name;
            binding.notFoundHashes << instance.hash;
        } else if (found->hash != instance.hash && !instance.hash.isEmpty() &&
                   instance.name != QLatin1String("Audio Input") &&
                   instance.name != PatchDocument::audioOutputName &&
                   !different.contains(instance.name)) {
            different.insert(instance.name);
            binding.different << instance.name;
        }
    }
    return binding;
}

int PatchOpener::addBlocks(PatchDocument* document, const PackedPatch& patch,
                           const Library& library, LeftOut* leftOutReport)
{
    LeftOut report;
    QStringList& leftOutNames = report.names;
    QHash<QString, int>& leftOut = report.counts;
    int& total = report.total;
    // A second instance of an id would take the first one's place, and a Save would then write
    // fewer blocks than the file holds.
    QSet<qint32> ids;
    ids.reserve(patch.blocks.size());
    for (const PackedInstance& packed : patch.blocks) {
        if (ids.contains(packed.id)) {
            if (!report.repeatedCounts.contains(packed.name))
                report.repeatedNames << packed.name;
            ++report.repeatedCounts[packed.name];
            ++total;
            continue;
        }
        ids.insert(packed.id);
        const BlockDescription* description = descriptionOf(document, packed.name, library);
        if (!description || description->name.isEmpty()) {
            if (!leftOut.contains(packed.name))
                leftOutNames << packed.name;
            ++leftOut[packed.name];
            ++total;
            continue;
        }
        BlockInstance instance;
        instance.id = packed.id;
        instance.x = packed.x;
        instance.y = packed.y;
        instance.nodeId = packed.nodeValue != 0 ? packed.nodeValue : patch.nodeId;
        instance.description = description;
        // Stored values are all kept; an older patch may hold fewer than the description has.
        instance.values = packed.values;
        for (size_t i = size_t(instance.values.size()); i < description->variables.size(); ++i)
            instance.values << PatchDocument::initialValue(description->variables[i]);
        document->addBlock(packed.name, packed.x, packed.y, &instance);
    }
    for (const QString& name : qAsConst(leftOutNames)) {
        qDebug().noquote() << tr("%1 block(s) %2 left out: the description is missing")
                                  .arg(leftOut.value(name))
                                  .arg(name);
    }
    if (leftOutReport)
        *leftOutReport = report;
    return total;
}

int PatchOpener::addCables(PatchDocument* document, const PackedPatch& patch)
{
    struct Cable
    {
        int number;
        qint32 out;
        qint32 outSocket;
        qint32 in;
        qint32 inSocket;
        bool kept;
    };
    // The canvas's rule, played through in stored order: each cable takes its two sockets from
    // whatever cable held them.
    std::vector<Cable> cables;
    QHash<quint64, size_t> onInput;
    QHash<quint64, size_t> onOutput;
    int dropped = 0;
    auto take = [&](QHash<quint64, size_t>& sockets, quint64 key, size_t index) {
        const auto held = sockets.find(key);
        if (held == sockets.end()) {
            sockets.insert(key, index);
            return;
        }
        if (cables[*held].kept) {
            cables[*held].kept = false;
            ++dropped;
        }
        *held = index;
    };

    int number = 0;
    QSet<qint32> ids;
    ids.reserve(patch.blocks.size());
    for (const PackedInstance& packed : patch.blocks) {
        // The instance of a repeated id was left out; its cables are not the first one's.
        const bool repeated = ids.contains(packed.id);
        ids.insert(packed.id);
        for (const QList<qint32>& cable : packed.connections) {
            if (!repeated && cable.size() == 3 &&
                document->acceptsConnection(packed.id, cable.at(0), cable.at(1), cable.at(2))) {
                const size_t index = cables.size();
                cables.push_back({number, packed.id, cable.at(0), cable.at(1), cable.at(2), true});
                take(onInput, socketKey(cable.at(1), cable.at(2)), index);
                take(onOutput, socketKey(packed.id, cable.at(0)), index);
            }
            ++number;
        }
    }
    for (const Cable& cable : cables) {
        if (cable.kept)
            document->addConnection(cable.number, cable.out, cable.outSocket, cable.in,
                                    cable.inSocket);
    }
    if (dropped == 1) {
        qWarning().noquote() << tr("One cable of the patch was left out: a socket takes one "
                                   "cable, and the last one to it was kept.");
    } else if (dropped > 1) {
        qWarning().noquote() << tr("%1 cables of the patch were left out: a socket takes one "
                                   "cable, and the last one to each was kept.")
                                    .arg(dropped);
    }
    return dropped;
}

void PatchOpener::addComments(PatchDocument* document, const PackedPatch& patch)
{
    const int before = document->patchScene()->shortenedComments();
    for (const Comment& comment : patch.comments)
        document->addComment(comment.id, comment.x, comment.y, comment.text);
    const int cut = document->patchScene()->shortenedComments() - before;
    if (cut == 1) {
        qWarning().noquote() << tr("One comment of the patch is too long to show whole: the "
                                   "canvas shows its start. Its whole text is kept and saved, and "
                                   "editing the comment shows it.");
    } else if (cut > 1) {
        qWarning().noquote() << tr("%1 comments of the patch are too long to show whole: the "
                                   "canvas shows the start of each. Their whole text is kept and "
                                   "saved, and editing a comment shows it.")
                                    .arg(cut);
    }
}
