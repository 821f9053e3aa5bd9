#include "PatchSource.h"

#include "BinaryUtil.h"
#include "BlockManager.h"
#include "PatchDocument.h"
#include "PatchFile.h"
#include "PatchRecord.h"

bool PatchSource::read(const QByteArray& file, const BlockManager& library, QString* error)
{
    carried.clear();
    blocks.clear();
    cables.clear();

    const QList<QByteArray> parts = util::unpackPatch(file);
    patchRecord = parts.value(0);
    if (!util::isPatchRecord(patchRecord)) {
        *error = QStringLiteral("the file holds no readable patch record");
        return false;
    }
    const PackedPatch patch = util::readPatchRecord(patchRecord);
    patchName = patch.name;

    // Carried files are all read before any pointer into the table is taken.
    for (int i = 1; i < parts.size(); ++i) {
        BlockDescription description = BlockManager::loadBlock(util::bin::uncompress(parts.at(i)),
                                                               BlockDescription::OriginPatch);
        const BlockDescription* known = library.blockDescription(description.name);
        if (!description.name.isEmpty() && (!known || known->hash != description.hash))
            carried.insert(description.name, description);
    }

    for (const PackedInstance& packed : patch.blocks) {
        const auto own = carried.constFind(packed.name);
        const BlockDescription* description =
            own != carried.constEnd() ? &own.value() : library.blockDescription(packed.name);
        if (!description || description->name.isEmpty()) {
            *error = QStringLiteral("the patch uses the block \"%1\", which is neither in the "
                                    "library nor carried by the file")
                         .arg(packed.name);
            return false;
        }
        BlockInstance& instance = blocks[packed.id];
        instance = BlockInstance();
        instance.id = packed.id;
        instance.x = packed.x;
        instance.y = packed.y;
        instance.nodeId = packed.nodeValue != 0 ? packed.nodeValue : patch.nodeId;
        instance.description = description;
        instance.values = packed.values;
        for (size_t v = size_t(instance.values.size()); v < description->variables.size(); ++v)
            instance.values << PatchDocument::initialValue(description->variables[v]);
    }

    int number = 0;
    for (const PackedInstance& packed : patch.blocks) {
        for (const QList<qint32>& cable : packed.connections) {
            // A socket takes one cable: a later one in the file replaces it, as in a document.
            const int id = number++;
            if (cable.size() != 3)
                continue;
            const auto from = blocks.find(packed.id);
            const auto to = blocks.find(cable.at(1));
            if (from == blocks.end() || to == blocks.end())
                continue;
            const int output = cable.at(0);
            const int input = cable.at(2);
            if (output < 0 || output >= from->second.description->outputs.size() || input < 0 ||
                input >= to->second.description->inputs.size())
                continue;
            BlockConnection& connection = cables[id];
            connection.id = id;
            connection.outBlock = &from->second;
            connection.inBlock = &to->second;
            connection.outBlockSocketId = output;
            connection.inBlockSocketId = input;
            from->second.outputs.insert(output, &connection);
            to->second.inputs.insert(input, &connection);
        }
    }
    return true;
}

InstanceList PatchSource::instances() const
{
    InstanceList list;
    for (const auto& entry : blocks)
        list.append(&entry.second);
    return list;
}
