#include "PatchCable.h"

#include "CanvasBlock.h"
#include "CanvasGeometry.h"
#include "Colours.h"
#include "PatchScene.h"
#include "SocketItem.h"

#include <QPainter>
#include <QPainterPathStroker>

namespace {
constexpr int selectedWidth = 3;
constexpr int plainWidth = 2;
} // namespace

PatchCable::PatchCable(int id, CanvasBlock* outBlock, int outSocket, CanvasBlock* inBlock,
                       int inSocket)
    : cableId(id), outBlockItem(outBlock), inBlockItem(inBlock), outIndex(outSocket),
      inIndex(inSocket)
{
    if (outBlockItem) {
        outSocketItem = outBlockItem->outSockets().value(outSocket, nullptr);
        outBlockItem->registerCable(id);
    }
    if (inBlockItem) {
        inSocketItem = inBlockItem->inSockets().value(inSocket, nullptr);
        inBlockItem->registerCable(id);
    }
    if (outSocketItem)
        outSocketItem->setConnectedCable(id);
    if (inSocketItem)
        inSocketItem->setConnectedCable(id);
    setFlag(ItemIsSelectable);
    updatePath();
}

PatchCable::~PatchCable()
{
    if (auto* patchScene = qobject_cast<PatchScene*>(scene()))
        patchScene->cableItemDestroyed(this);
    if (outBlockItem)
        outBlockItem->unregisterCable(cableId);
    if (inBlockItem)
        inBlockItem->unregisterCable(cableId);
    // A socket that took a newer cable since keeps that cable's record.
    if (outSocketItem && outSocketItem->connectedCable() == cableId)
        outSocketItem->setConnectedCable(-1);
    if (inSocketItem && inSocketItem->connectedCable() == cableId)
        inSocketItem->setConnectedCable(-1);
}

void PatchCable::forgetEnds()
{
    outBlockItem = nullptr;
    inBlockItem = nullptr;
    outSocketItem = nullptr;
    inSocketItem = nullptr;
}

void PatchCable::updatePath()
{
    if (!outSocketItem || !inSocketItem)
        return;
    startPoint = canvas::cableStart(outSocketItem->scenePos());
    endPoint = canvas::cableEnd(inSocketItem->scenePos());
    const QPainterPath curve =
        canvas::cablePath(startPoint, endPoint, canvas::cableBend(startPoint, endPoint));
    if (curve == path())
        return;
    prepareGeometryChange();
    outline = QPainterPath();
    outlineMade = false;
    setPath(curve);
}

QRectF PatchCable::boundingRect() const
{
    // The outline lies within half its width of the curve; a pixel more for the antialiased
    // edge.
    const qreal margin = selectedWidth / 2.0 + 1;
    return path().boundingRect().adjusted(-margin, -margin, margin, margin);
}

QPainterPath PatchCable::shape() const
{
    if (!outlineMade) {
        QPainterPathStroker stroker;
        stroker.setWidth(selectedWidth);
        stroker.setCapStyle(Qt::RoundCap);
        stroker.setJoinStyle(Qt::RoundJoin);
        outline = stroker.createStroke(path());
        outlineMade = true;
    }
    return outline;
}

void PatchCable::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    const bool control = canvas::isControlRate(outBlockItem ? outBlockItem->instance() : nullptr);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(control ? Colours::controlColor : Colours::selectColor,
                         isSelected() ? selectedWidth : plainWidth, Qt::SolidLine, Qt::RoundCap,
                         Qt::RoundJoin));
    painter->drawPath(path());
}
