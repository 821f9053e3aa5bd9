#include "PatchBuilder.h"

#include "BlockConnection.h"
#include "BlockDescription.h"
#include "BlockInstance.h"
#include "CanvasBlock.h"
#include "Comment.h"
#include "PatchComment.h"
#include "PatchDocument.h"
#include "PatchScene.h"

#include <QFont>
#include <QGraphicsItem>
#include <QPoint>
#include <QTextDocument>
#include <QWidget>

#include <cmath>

namespace {

// The view's scale per zoom level.
constexpr double zoomStep = 1.15;

} // namespace

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

int PatchBuilder::comment(int x, int y, const QString& text)
{
    const int id = doc->highestCommentId() + 1;
    doc->addComment(id, x, y);
    doc->editComment(id, x, y, text);
    return id;
}

QRectF PatchBuilder::footprint(const QGraphicsItem* item)
{
    return item->sceneBoundingRect() | item->mapRectToScene(item->childrenBoundingRect());
}

QRectF PatchBuilder::itemBounds() const
{
    QRectF bounds;
    for (const QGraphicsItem* item : doc->patchScene()->items()) {
        if (!item->parentItem() &&
            (item->type() == CanvasBlock::Type || item->type() == PatchComment::Type))
            bounds |= footprint(item);
    }
    return bounds;
}

int PatchBuilder::smallestZoom() const
{
    // A comment's font is set in points: on the usual desktop's 96 dpi it is at its smallest.
    const QFont font = PatchComment(0, 0, 0, nullptr, nullptr).font();
    const double pixels = font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * 96 / 72.0;
    int zoom = 0;
    while (pixels * std::pow(zoomStep, zoom - 1) >= smallestTextPixels)
        --zoom;
    return zoom;
}

QSizeF PatchBuilder::room(int zoomLevel) const
{
    const double scale = std::pow(zoomStep, zoomLevel);
    return QSizeF(canvas().width() / scale, canvas().height() / scale);
}

void PatchBuilder::wrapComment(int id, const QString& text, double width)
{
    const PatchComment* item = doc->patchScene()->commentItem(id);
    if (!item) {
        failures << QStringLiteral("no comment %1").arg(id);
        return;
    }
    QTextDocument measure;
    measure.setDefaultFont(item->font());
    measure.setDocumentMargin(item->document()->documentMargin());
    auto widthOf = [&measure](const QString& line) {
        measure.setHtml(line);
        return measure.size().width();
    };
    QStringList lines;
    for (const QString& given : text.split(QLatin1String("<br>"))) {
        QString line;
        for (const QString& word : given.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
            if (!line.isEmpty() && widthOf(longer) > width) {
                lines << line;
                line = word;
            } else {
                line = longer;
            }
        }
        lines << line;
    }
    const Comment* record = doc->comment(id);
    doc->editComment(id, record->x, record->y, lines.join(QLatin1String("<br>")));
}

void PatchBuilder::placeBlock(int id, const QPointF& at)
{
    const CanvasBlock* item = doc->patchScene()->blockItem(id);
    const BlockInstance* b = doc->blockInstance(id);
    const QPointF offset = footprint(item).topLeft() - item->pos();
    const QPoint pos = (at - offset).toPoint();
    doc->moveBlock(b->id, pos.x(), pos.y());
}

void PatchBuilder::placeComment(int id, const QPointF& at)
{
    const PatchComment* item = doc->patchScene()->commentItem(id);
    const Comment* c = doc->comment(id);
    const QPointF offset = footprint(item).topLeft() - item->pos();
    const QPoint pos = (at - offset).toPoint();
    doc->editComment(c->id, pos.x(), pos.y(), c->text);
}

void PatchBuilder::showAt(int zoomLevel)
{
    doc->setZoomLevel(zoomLevel);
    // Where the saved file will say the view looks, as saving reads it off the view.
    doc->centreView();
    const QPoint look = doc->savedCentre();
    const QPoint middle = itemBounds().center().toPoint();
    const int dx = int(look.x()) - middle.x();
    const int dy = int(look.y()) - middle.y();
    for (const BlockInstance* b : doc->blockInstances())
        doc->moveBlock(b->id, b->x + dx, b->y + dy);
    for (Comment* c : doc->comments())
        doc->editComment(c->id, c->x + dx, c->y + dy, c->text);
}

void PatchBuilder::centre()
{
    if (QFont::substitutes(QStringLiteral("Futura Std")).isEmpty())
        failures << "the editor's fonts are not registered: the sizes would be other fonts'";
    const QSizeF size = itemBounds().size();
    for (int zoom = 0; zoom >= smallestZoom(); --zoom) {
        const QSizeF shown = room(zoom);
        if (size.width() <= shown.width() && size.height() <= shown.height()) {
            showAt(zoom);
            return;
        }
    }
    failures << QStringLiteral("%1 by %2 does not fit the first window's canvas")
                    .arg(size.width())
                    .arg(size.height());
}
