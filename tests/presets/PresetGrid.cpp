#include "PresetGrid.h"

#include "CanvasBlock.h"
#include "PatchComment.h"
#include "PatchDocument.h"
#include "PatchScene.h"

#include <algorithm>

namespace {

// Wider lines of text are hard to follow.
constexpr double widestDescription = 600;

} // namespace

int PresetGrid::block(const QString& name, double column, double row, const Values& values)
{
    // Where it stands is up to arrange.
    const int id = PatchBuilder::block(name, 0, 0, values);
    places.insert(id, qMakePair(column, row));
    return id;
}

double PresetGrid::flow(double top, double width, const Spacing& spacing)
{
    const PatchScene* scene = document()->patchScene();
    QList<int> order = places.keys();
    std::stable_sort(order.begin(), order.end(),
                     [this](int a, int b) { return places.value(a) < places.value(b); });

    // Every block's body on a line at the same height, whether it has sockets above or not.
    double above = 0;
    double below = 0;
    for (int id : order) {
        const CanvasBlock* item = scene->blockItem(id);
        const QRectF f = footprint(item);
        above = qMax(above, item->y() - f.top());
        below = qMax(below, f.bottom() - item->y());
    }
    double x = 0;
    double y = top;
    for (int id : order) {
        const CanvasBlock* item = scene->blockItem(id);
        const QRectF f = footprint(item);
        if (x > 0 && x + f.width() > width) {
            x = 0;
            y += above + below + spacing.line;
        }
        placeBlock(id, QPointF(x, y + above - (item->y() - f.top())));
        x += f.width() + spacing.block;
    }
    return y + above + below;
}

void PresetGrid::arrange(const QString& description)
{
    const int note = comment(0, 0, description);
    if (QFont::substitutes(QStringLiteral("Futura Std")).isEmpty())
        failures << "the editor's fonts are not registered: the sizes would be other fonts'";
    const Spacing spacings[] = {{24, 24}, {16, 16}, {10, 12}};
    for (int zoom = 0; zoom >= smallestZoom(); --zoom) {
        const QSizeF shown = room(zoom);
        wrapComment(note, description, qMin(shown.width(), widestDescription));
        placeComment(note, QPointF(0, 0));
        const QRectF text = footprint(document()->patchScene()->commentItem(note));
        for (const Spacing& spacing : spacings) {
            flow(text.bottom() + spacing.line, shown.width(), spacing);
            const QSizeF size = itemBounds().size();
            if (size.width() <= shown.width() && size.height() <= shown.height()) {
                showAt(zoom);
                return;
            }
        }
    }
    failures << "the preset does not fit the first window's canvas";
}
