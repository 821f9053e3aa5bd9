#pragma once

#include "BlockDescription.h"
#include "BlockInstance.h"

#include <QHash>
#include <QList>
#include <QStringList>

#include <list>

// A patch built by hand: block types, placed blocks and cables, filed both ways the way a
// document files them.
class TestPatch
{
public:
    // A block type named `name` with the given socket counts and an audio-rate main function.
    const BlockDescription* socketBlock(const QString& name, int inputs, int outputs);
    // A block type read from tests/codegen/fixtures/<file>.
    const BlockDescription* fixture(const QString& file);
    const BlockDescription* fromXml(const QByteArray& xml);
    // Keeps a hand-made description; its socket lists are rebuilt.
    const BlockDescription* keep(const BlockDescription& description);

    // Places a block; without values it takes its type's defaults.
    BlockInstance* add(const BlockDescription* type, const QStringList& values = QStringList());
    BlockInstance* add(const BlockDescription* type, const QString& label,
                       const QStringList& values = QStringList());
    // A cable from output socket `out` of `from` to input socket `in` of `to`.
    const BlockConnection* connect(BlockInstance* from, int out, BlockInstance* to, int in);

    BlockInstance* named(const QString& label) const { return labels.value(label); }
    QString labelOf(const BlockInstance* instance) const;
    // The blocks in the order they were placed.
    QList<const BlockInstance*> all() const;
    // The blocks by their labels, separated by commas.
    QList<const BlockInstance*> list(const QString& labelsText) const;
    QString labelsOf(const QList<const BlockInstance*>& instances) const;

private:
    std::list<BlockDescription> descriptions;
    QHash<qint32, BlockInstance> instances;
    QHash<qint32, BlockConnection> connections;
    QHash<QString, BlockInstance*> labels;
    QList<qint32> placed;
};
