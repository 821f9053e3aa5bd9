#include "PatchBuilder.h"

#include "BlockConnection.h"
#include "BlockDescription.h"
#include "BlockInstance.h"
#include "Comment.h"
#include "PatchCable.h"
#include "PatchDocument.h"
#include "PatchScene.h"

#include <QGraphicsItem>
#include <QRectF>

int PatchBuilder::block(const QString& name, int x, int y, const QList<QPair<int, QString>>& values)
{
    doc->addBlockHandler(name, x, y);
    const int id = doc->highestInstanceId();
    const BlockInstance* made = doc->blockInstance(id);
    if (!made || !made->description || made->description->name != name) {
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
    // An output holds one cable; a second would take its place.
    const BlockInstance* source = doc->blockInstance(from);
    if (source && source->outputs.contains(output))
        failures << QStringLiteral("output %1.out%2 already has a cable").arg(from).arg(output);
    doc->addConnectionHandler(doc->highestConnectionId() + 1, from, output, to, input);
    const BlockInstance* target = doc->blockInstance(to);
    const BlockConnection* made = target ? target->inputs.value(input) : nullptr;
    if (!source || !made || made->outBlock != source || made->outBlockSocketId != output)
        failures << QStringLiteral("no cable %1.out%2 -> %3.in%4")
                        .arg(source && source->description ? source->description->name
                                                           : QString::number(from))
                        .arg(output)
                        .arg(target && target->description ? target->description->name
                                                           : QString::number(to))
                        .arg(input);
}

void PatchBuilder::comment(int x, int y, const QString& text)
{
    const int id = doc->highestCommentId() + 1;
    doc->addComment(id, x, y);
    doc->editComment(id, x, y, text);
}

QRectF PatchBuilder::layoutBounds(const PatchScene* scene)
{
    QRectF bounds;
    for (const QGraphicsItem* item : scene->items()) {
        if (item->type() == PatchCable::Type)
            bounds |= item->mapRectToScene(item->shape().controlPointRect().adjusted(-1, -1, 1, 1));
        else
            bounds |= item->sceneBoundingRect();
    }
    return bounds;
}

void PatchBuilder::centre(const QSize& view)
{
    const QRectF bounds = layoutBounds(doc->patchScene());
    int zoom = 0;
    double scale = 1.0;
    while (zoom > -3 &&
           (bounds.width() * scale > view.width() || bounds.height() * scale > view.height())) {
        --zoom;
        scale /= 1.15;
    }
    doc->setZoomLevel(zoom);

    const QPoint middle = bounds.center().toPoint();
    const int dx = 2000 - middle.x();
    const int dy = 2000 - middle.y();
    for (const BlockInstance* b : doc->blockInstances())
        doc->moveBlock(b->id, b->x + dx, b->y + dy);
    for (Comment* c : doc->comments())
        doc->editComment(c->id, c->x + dx, c->y + dy, c->text);
}
