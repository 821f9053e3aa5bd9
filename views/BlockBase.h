#pragma once

#include <QFont>
#include <QGraphicsItem>
#include <QList>
#include <QPixmap>

class BlockDescription;
class SocketItem;

// The drawing of one DSP block from its description, with its socket items as children.
class BlockBase : public QGraphicsItem
{
public:
    explicit BlockBase(const BlockDescription* description);

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option,
               QWidget* widget = nullptr) override;

    // The body brush: a 10-pixel strip of `colour` on the left, white elsewhere (light grey for
    // a block from the user's folder).
    static QBrush setBlockColor(const QColor& colour, bool user);

    const BlockDescription* description() const { return blockDescription; }
    QList<SocketItem*> inSockets() const { return inSocketItems; }
    QList<SocketItem*> outSockets() const { return outSocketItems; }

    // The font of block names.
    static QFont blockNameFont();

protected:
    const BlockDescription* blockDescription;
    QList<SocketItem*> inSocketItems;
    QList<SocketItem*> outSocketItems;
    QPixmap dragPixmap;
    QFont nameFont;
    int bodyWidth = 0;
    int nameWidth = 0;
};
