#pragma once

#include <QDockWidget>
#include <QList>
#include <QMap>

class BlockDescription;

// The block palette: one page per category, each a column of blocks to drag onto a canvas.
class Browser : public QDockWidget
{
public:
    using Categories = QMap<QString, QList<const BlockDescription*>>;

    Browser(const QString& title, QWidget* parent);

    // Rebuilds the pages from the map, in its key order.
    void loadBlocks(const Categories* categories);
    // Appends every named description of the map to the palette's own map; duplicates stay.
    void addBlocksInCategories(const Categories* categories);
    // Empties the own map; the pages shown stay until the next load.
    void clear();
    void reload();

private:
    Categories own;
};

// Orders palette blocks by name, case-sensitively; false when either is missing.
bool lessThan(const BlockDescription* a, const BlockDescription* b);
