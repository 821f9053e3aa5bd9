#include "CanvasBlock.h"

#include "BlockInstance.h"
#include "PatchCable.h"
#include "PatchScene.h"
#include "SocketItem.h"

#include <QGraphicsSceneMouseEvent>

CanvasBlock::CanvasBlock(const BlockInstance* instance)
    : BlockBase(instance ? instance->description : nullptr), blockInstance(instance),
      id(instance ? instance->id : 0)
{
    setFlags(ItemIsMovable | ItemIsSelectable | ItemSendsScenePositionChanges);
    for (SocketItem* socket : inSocketItems)
        socket->setConnectable(true);
    for (SocketItem* socket : outSocketItems)
        socket->setConnectable(true);
}

CanvasBlock::~CanvasBlock()
{
    // Deleted while still in its scene: the scene lets go of the cables on this block first,
    // so none of them is left pointing at a freed block.
    if (auto* patchScene = qobject_cast<PatchScene*>(scene()))
        patchScene->blockItemDestroyed(this);
    leaveZIndex();
}

void CanvasBlock::bringToFront()
{
    qreal top = 1.0;
    if (indexScene) {
        // Only blocks are ever raised above 0, so the largest block z is the scene's top.
        qreal highest = 0;
        if (indexScene->highestBlockZ(&highest) && highest >= top)
            top = highest + 1;
    } else if (QGraphicsScene* owner = scene()) {
        const QList<QGraphicsItem*> all = owner->items();
        for (const QGraphicsItem* item : all) {
            if (item->zValue() >= top)
                top = item->zValue() + 1;
        }
    }
    setZValue(top + 1);
}

void CanvasBlock::registerCable(int cableId)
{
    cableIds.append(cableId);
}

void CanvasBlock::unregisterCable(int cableId)
{
    cableIds.removeAll(cableId);
}

void CanvasBlock::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    bringToFront();
    BlockBase::mousePressEvent(event);
}

QVariant CanvasBlock::itemChange(GraphicsItemChange change, const QVariant& value)
{
    switch (change) {
    case ItemSceneChange:
        leaveZIndex();
        break;
    case ItemSceneHasChanged:
        enterZIndex();
        if (indexScene)
            indexScene->coverArea(sceneBoundingRect());
        break;
    case ItemZValueHasChanged:
        if (indexScene) {
            indexScene->blockZRemoved(indexedZ);
            indexedZ = zValue();
            indexScene->blockZAdded(indexedZ);
        }
        break;
    case ItemScenePositionHasChanged:
        if (indexScene) {
            indexScene->coverArea(sceneBoundingRect());
            for (int cableId : qAsConst(cableIds)) {
                if (PatchCable* cable = indexScene->cableItem(cableId))
                    cable->updatePath();
            }
        }
        break;
    default:
        break;
    }
    return BlockBase::itemChange(change, value);
}

void CanvasBlock::enterZIndex()
{
    indexScene = qobject_cast<PatchScene*>(scene());
    if (indexScene) {
        indexedZ = zValue();
        indexScene->blockZAdded(indexedZ);
    }
}

void CanvasBlock::leaveZIndex()
{
    if (indexScene)
        indexScene->blockZRemoved(indexedZ);
    indexScene = nullptr;
}
