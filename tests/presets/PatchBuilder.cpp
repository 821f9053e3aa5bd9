#include "PatchBuilder.h"

#include "BlockInstance.h"
#include "PatchDocument.h"

#include <QtGlobal>

namespace {

int gridX(double column)
{
    return 60 + qRound(170 * column);
}

int gridY(double row)
{
    return 60 + qRound(130 * row);
}

} // namespace

int PatchBuilder::block(const QString& name, double column, double row, const Values& values)
{
    doc->addBlockHandler(name, gridX(column), gridY(row));
    const int id = doc->highestInstanceId();
    const BlockInstance* made = doc->blockInstance(id);
    if (!made || made->description->name != name) {
        failures << "could not place " + name;
        return id;
    }
    for (const auto& v : values) {
        if (v.first < 0 || v.first >= made->values.size())
            failures << QStringLiteral("%1 has no variable %2").arg(name).arg(v.first);
        else
            doc->editVariable(id, v.first, v.second);
    }
    return id;
}

void PatchBuilder::cable(int from, int output, int to, int input)
{
    const BlockInstance* source = doc->blockInstance(from);
    doc->addConnectionHandler(doc->highestConnectionId() + 1, from, output, to, input);
    const BlockInstance* target = doc->blockInstance(to);
    if (!source || !target || !target->inputs.contains(input) ||
        target->inputs.value(input)->outBlock != source ||
        target->inputs.value(input)->outBlockSocketId != output)
        failures << QStringLiteral("no cable %1.out%2 -> %3.in%4")
                        .arg(source ? source->description->name : QString::number(from))
                        .arg(output)
                        .arg(target ? target->description->name : QString::number(to))
                        .arg(input);
}

void PatchBuilder::comment(double column, double row, const QString& text)
{
    const int id = doc->highestCommentId() + 1;
    doc->addComment(id, gridX(column), gridY(row));
    doc->editComment(id, gridX(column), gridY(row), text);
}
