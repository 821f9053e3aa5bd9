#include "Browser.h"

#include "BlockDescription.h"

Browser::Browser(const QString& title, QWidget* parent) : QDockWidget(title, parent)
{
    setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
}

void Browser::loadBlocks(const Categories*) {}

void Browser::addBlocksInCategories(const Categories* categories)
{
    for (auto it = categories->cbegin(); it != categories->cend(); ++it) {
        for (const BlockDescription* d : it.value()) {
            if (d && !d->name.isEmpty())
                own[it.key()].append(d);
        }
    }
}

void Browser::clear()
{
    own.clear();
}

void Browser::reload()
{
    loadBlocks(&own);
}
