#include "SocketItem.h"

#include "CanvasGeometry.h"
#include "Colours.h"
#include "Variable.h"

#include <QPainter>

SocketItem::SocketItem(const Variable* variable, QGraphicsItem* parent)
    : QGraphicsItem(parent), var(variable)
{
    setAcceptHoverEvents(true);
    if (var) {
        QString tip = var->info;
        if (var->socketKind == Variable::SocketInput && !var->editable)
            tip += QStringLiteral(" (not editable)");
        setToolTip(tip);
    }
}

bool SocketItem::isInput() const
{
    return var && var->socketKind == Variable::SocketInput;
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
