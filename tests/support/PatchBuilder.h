#pragma once

#include <QList>
#include <QPair>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QStringList>

class PatchDocument;
class PatchScene;

// Places blocks, cables and comments into a document through its editing handlers, as the
// canvas does, and notes every step that did not take.
class PatchBuilder
{
public:
    explicit PatchBuilder(PatchDocument* document) : doc(document) {}

    // The new block's id; `values` sets variables by their index in the description.
    int block(const QString& name, int x, int y, const QList<QPair<int, QString>>& values = {});
    void cable(int from, int output, int to, int input);
    void comment(int x, int y, const QString& text);
    // Moves blocks and comments together so that their middle is the canvas middle, where a
    // new document's view looks, and zooms out (three steps at most) until all of them fit a
    // view of `view` pixels: that of the editor in a window of 1280 by 880.
    void centre(const QSize& view = QSize(800, 520));
    // What the scene's items cover, a cable by the control points of its hit outline and a
    // pixel around them: the rule the committed patches were laid out by.
    static QRectF layoutBounds(const PatchScene* scene);

    QStringList failures;

private:
    PatchDocument* doc;
};
