#include "BrowserBlock.h"

#include "BlockDescription.h"

#include <QDrag>
#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QMimeData>
#include <QPainter>
#include <QWidget>

BrowserBlock::BrowserBlock(const BlockDescription* description, QWidget* dragSource)
    : BlockBase(description), dragSource(dragSource)
{
}

QString BrowserBlock::dragText(const QString& name, const QPointF& pressPos)
{
    return name + QLatin1Char(';') + QString::number(qRound(pressPos.x())) + QLatin1Char(';') +
           QString::number(qRound(pressPos.y()));
}

void BrowserBlock::buildDragPixmap()
{
    const QRectF area(pos() + QPointF(-1, -3), QSizeF(bodyWidth + 10, 37));
    dragPixmap = QPixmap(area.size().toSize());
    dragPixmap.fill(Qt::transparent);
    if (QGraphicsScene* owner = scene()) {
        QPainter painter(&dragPixmap);
        owner->render(&painter, QRectF(), area, Qt::KeepAspectRatio);
    }
}

void BrowserBlock::mousePressEvent(QGraphicsSceneMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (dragPixmap.isNull())
        buildDragPixmap();

    const QPoint hotSpot(qRound(event->pos().x()), qRound(event->pos().y()));
    auto* mimeData = new QMimeData;
    mimeData->setText(
        dragText(blockDescription ? blockDescription->name : QString(), event->pos()));

    // Qt deletes the drag once it has ended.
    auto* drag = new QDrag(dragSource);
    drag->setMimeData(mimeData);
    drag->setPixmap(dragPixmap);
    drag->setHotSpot(hotSpot);
    drag->exec(Qt::CopyAction);
}
