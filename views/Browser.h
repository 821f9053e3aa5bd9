#pragma once

#include <QDockWidget>
#include <QList>
#include <QMap>

class BlockDescription;

// The block palette: one page per category.
class Browser : public QDockWidget
{
public:
    using Categories = QMap<QString, QList<const BlockDescription*>>;

    Browser(const QString& title, QWidget* parent);

    void loadBlocks(const Categories* categories);
    void addBlocksInCategories(const Categories* categories);
    void clear();
    void reload();

private:
    Categories own;
};
