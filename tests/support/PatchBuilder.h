#pragma once

#include <QList>
#include <QPair>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

class PatchDocument;
class QGraphicsItem;

// Places blocks, cables and comments into a document through its editing handlers, as the
// canvas does, and notes every step that did not take.
//
// The shipped patches are laid out for the canvas of the editor's first-launch window: at the
// zoom they are saved with, their blocks and comments are inside it and apart, and comment text
// stays readable. Their sizes are measured on the canvas, so the editor's fonts must be
// registered before the first block is placed.
class PatchBuilder
{
public:
    explicit PatchBuilder(PatchDocument* document) : doc(document) {}

    // The new block's id; `values` sets variables by their index in the description.
    int block(const QString& name, int x, int y, const QList<QPair<int, QString>>& values = {});
    void cable(int from, int output, int to, int input);
    // The new comment's id.
    int comment(int x, int y, const QString& text);

    // Zooms in as far as the canvas still shows all blocks and comments whole, and moves them
    // together so that their middle is where the saved patch's view looks. A patch that does
    // not fit even at the smallest readable zoom is a failure.
    void centre();

    // The canvas of the first-launch window (406 by 355 pixels), less a few pixels for the
    // rounding of the view's centre when the patch is saved and opened.
    static QSizeF canvas() { return QSizeF(392, 341); }
    // The smallest comment text a reader can take in, in pixels.
    static constexpr double smallestTextPixels = 9.0;

    // What a block (with its sockets) or a comment covers in the scene.
    static QRectF footprint(const QGraphicsItem* item);
    // The footprints of all blocks and comments together.
    QRectF itemBounds() const;

    // The smallest zoom level at which comment text is still smallestTextPixels high.
    int smallestZoom() const;
    // How much of the scene the canvas shows at a zoom level.
    QSizeF room(int zoomLevel) const;

    // Re-breaks the lines of comment `id` at blanks so that none is wider than `width`, as the
    // canvas measures it; a single word wider than that keeps a line of its own. `text` is the
    // comment's text with its own line breaks.
    void wrapComment(int id, const QString& text, double width);

    QStringList failures;

protected:
    PatchDocument* document() const { return doc; }
    // Moves a block so that its footprint's top left corner is at `at`.
    void placeBlock(int id, const QPointF& at);
    void placeComment(int id, const QPointF& at);
    // The zoom level set, then every block and comment moved by the same amount so that the
    // middle of their footprints is where the view will look.
    void showAt(int zoomLevel);

private:
    PatchDocument* doc;
};
