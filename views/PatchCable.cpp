#include "PatchCable.h"

#include "CanvasBlock.h"
#include "CanvasGeometry.h"
#include "Colours.h"
#include "PatchScene.h"
#include "SocketItem.h"

#include <QPainter>
#include <QPainterPathStroker>
#include <QStyleOptionGraphicsItem>

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
    // The painter is told the part of the cable to draw.
    setFlag(ItemUsesExtendedStyleOption);
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
    if (auto* patchScene = qobject_cast<PatchScene*>(scene()))
        patchScene->coverArea(sceneBoundingRect());
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

bool PatchCable::isCurve() const
{
    const QPainterPath& curve = path();
    return curve.elementCount() == 4 && curve.elementAt(1).type == QPainterPath::CurveToElement;
}

bool PatchCable::curveReaches(const QRectF& area) const
{
    const QPainterPath& curve = path();
    return canvas::curveReaches(curve.elementAt(0), curve.elementAt(1), curve.elementAt(2),
                                curve.elementAt(3), area, selectedWidth / 2.0);
}

bool PatchCable::contains(const QPointF& point) const
{
    if (!isCurve())
        return QGraphicsPathItem::contains(point);
    return curveReaches(QRectF(point, QSizeF(0, 0)));
}

bool PatchCable::collidesWithPath(const QPainterPath& area, Qt::ItemSelectionMode mode) const
{
    QRectF rect;
    if (isCurve() && mode == Qt::IntersectsItemShape && canvas::uprightRectangle(area, &rect))
        return curveReaches(rect);
    return QGraphicsPathItem::collidesWithPath(area, mode);
}

void PatchCable::paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*)
{
    const bool control = canvas::isControlRate(outBlockItem ? outBlockItem->instance() : nullptr);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(control ? Colours::controlColor : Colours::selectColor,
                         isSelected() ? selectedWidth : plainWidth, Qt::SolidLine, Qt::RoundCap,
                         Qt::RoundJoin));
    // Stroking costs by the length of the curve: of a long cable only the part in view is drawn.
    if (isCurve() && !option->exposedRect.contains(boundingRect())) {
        const QPainterPath& curve = path();
        painter->drawPath(canvas::curvePart(curve.elementAt(0), curve.elementAt(1),
                                            curve.elementAt(2), curve.elementAt(3),
                                            option->exposedRect, selectedWidth));
        return;
    }
    painter->drawPath(path());
}
