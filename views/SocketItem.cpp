#include "SocketItem.h"

#include "BlockInstance.h"
#include "CanvasBlock.h"
#include "CanvasGeometry.h"
#include "Colours.h"
#include "DisplayText.h"
#include "PatchScene.h"
#include "Variable.h"

#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QPainter>
#include <QSet>
#include <QToolTip>
#include <QVector>
#include <QtDebug>

SocketItem::SocketItem(const Variable* variable, QGraphicsItem* parent)
    : QGraphicsItem(parent), var(variable)
{
    setAcceptHoverEvents(true);
    if (var) {
        QString tip = var->info;
        if (var->socketKind == Variable::SocketInput && !var->editable)
            tip += QStringLiteral(" (not editable)");
        setToolTip(util::toolTipText(tip));
    }
}

bool SocketItem::isInput() const
{
    return var && var->socketKind == Variable::SocketInput;
}

int SocketItem::socketIndex() const
{
    return var ? var->socketIndex : -1;
}

QRectF SocketItem::boundingRect() const
{
    return canvas::socketBoundingRect();
}

void SocketItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    painter->setRenderHint(QPainter::Antialiasing);
    if (hover) {
        painter->setBrush(Qt::NoBrush);
        painter->setPen(QPen(Colours::selectColor, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter->drawRect(canvas::socketHoverRect());
    }
    painter->setPen(Qt::NoPen);
    painter->setBrush(Colours::borderColor);
    painter->drawRect(canvas::socketBarRect(isInput()));
}

void SocketItem::hoverEnterEvent(QGraphicsSceneHoverEvent* event)
{
    hover = true;
    update();
    QGraphicsItem::hoverEnterEvent(event);
}

void SocketItem::hoverLeaveEvent(QGraphicsSceneHoverEvent* event)
{
    hover = false;
    update();
    QGraphicsItem::hoverLeaveEvent(event);
}

CanvasBlock* SocketItem::block() const
{
    QGraphicsItem* parent = parentItem();
    return parent && parent->type() == CanvasBlock::Type ? static_cast<CanvasBlock*>(parent)
                                                         : nullptr;
}

void SocketItem::clearTarget()
{
    if (targetSocket)
        targetSocket->setHover(false);
    targetSocket = nullptr;
}

void SocketItem::forgetTargetOn(const CanvasBlock* owner)
{
    if (targetSocket && targetSocket->parentItem() == owner)
        targetSocket = nullptr;
}

void SocketItem::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    CanvasBlock* owner = block();
    if (!connectable || !owner || event->button() != Qt::LeftButton) {
        QGraphicsItem::mousePressEvent(event);
        return;
    }
    // The block comes to the front and is selected, as if it had been pressed itself.
    owner->mousePressEvent(event);
    hover = false;
    dragging = true;
    targetSocket = nullptr;
    if (auto* patchScene = qobject_cast<PatchScene*>(scene()))
        patchScene->setDragSocket(this);
    update();
    // Keeping the press makes this socket the grabber of the moves and the release.
    event->accept();
}

void SocketItem::mouseMoveEvent(QGraphicsSceneMouseEvent* event)
{
    if (dragging) {
        if (targetSocket) {
            targetSocket->setHover(false);
            targetSocket = nullptr;
        }
        QGraphicsItem* under = nullptr;
        if (QGraphicsScene* owner = scene()) {
            const QWidget* viewport = event->widget();
            const auto* view =
                viewport ? qobject_cast<const QGraphicsView*>(viewport->parentWidget()) : nullptr;
            under =
                owner->itemAt(event->scenePos(), view ? view->viewportTransform() : QTransform());
        }
        if (under && under->type() == SocketItem::Type) {
            auto* socket = static_cast<SocketItem*>(under);
            if (socket->parentItem() != parentItem() && socket->isInput() != isInput()) {
                QToolTip::showText(event->screenPos(), socket->toolTip());
                socket->setHover(true);
                socket->update();
                targetSocket = socket;
            }
        } else {
            QToolTip::hideText();
        }
    }
    QGraphicsItem::mouseMoveEvent(event);
}

void SocketItem::mouseReleaseEvent(QGraphicsSceneMouseEvent* event)
{
    if (dragging) {
        CanvasBlock* owner = block();
        auto* patchScene = qobject_cast<PatchScene*>(scene());
        SocketItem* target = targetSocket;
        CanvasBlock* targetBlock = target ? target->block() : nullptr;
        // The offer ends with the drag, whatever the release asks for.
        clearTarget();
        if (target) {
            target->update();
            feedbackFound = false;
        }
        if (target && targetBlock && owner && patchScene) {
            patchScene->closePendingMove();
            if (cableId >= 0)
                patchScene->requestRemoveConnection(cableId);
            // Read only now: removing this socket's cable may have cleared the target's record.
            if (target->connectedCable() >= 0)
                patchScene->requestRemoveConnection(target->connectedCable());
            if (isInput()) {
                patchScene->requestAddConnection(targetBlock->instanceId(), target->socketIndex(),
                                                 owner->instanceId(), socketIndex());
            } else {
                patchScene->requestAddConnection(owner->instanceId(), socketIndex(),
                                                 targetBlock->instanceId(), target->socketIndex());
            }
            bubbleDown(owner->instanceId(), owner->instance());
            if (feedbackFound) {
                qWarning().noquote()
                    << QStringLiteral("You are about to create a feedback loop.\nPlease use "
                                      "[Send], [Receive] objects to estabilish a feedback loop "
                                      "connection.");
            }
        }
    }
    dragging = false;
    QGraphicsItem::mouseReleaseEvent(event);
}

bool SocketItem::sceneEvent(QEvent* event)
{
    // After a release the drag has already ended; this is a grab lost in the middle of one.
    if (event->type() == QEvent::UngrabMouse && dragging) {
        dragging = false;
        clearTarget();
        if (auto* patchScene = qobject_cast<PatchScene*>(scene());
            patchScene && patchScene->draggedSocket() == this) {
            patchScene->setDragSocket(nullptr);
            patchScene->invalidate(QRectF(), QGraphicsScene::ForegroundLayer);
        }
    }
    return QGraphicsItem::sceneEvent(event);
}

void SocketItem::bubbleDown(int startId, const BlockInstance* instance)
{
    if (!instance)
        return;
    QSet<const BlockInstance*> visited{instance};
    QVector<const BlockInstance*> pending{instance};
    while (!pending.isEmpty() && !feedbackFound) {
        const BlockInstance* current = pending.takeLast();
        for (const BlockConnection* connection : current->outputs) {
            const BlockInstance* next = connection ? connection->inBlock : nullptr;
            if (!next)
                continue;
            if (next->id == startId) {
                feedbackFound = true;
                break;
            }
            if (!visited.contains(next)) {
                visited.insert(next);
                pending.append(next);
            }
        }
    }
}
