#pragma once

#include "BlockBase.h"

class QWidget;

// A block of the block palette; pressing it starts a drag onto a canvas.
class BrowserBlock : public BlockBase
{
public:
    BrowserBlock(const BlockDescription* description, QWidget* dragSource);

    // The drag text: the block name and the press point in the block's coordinates, rounded.
    static QString dragText(const QString& name, const QPointF& pressPos);

protected:
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;

private:
    void buildDragPixmap();

    QWidget* dragSource;
};
