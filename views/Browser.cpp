#include "Browser.h"

#include "BlockDescription.h"
#include "BrowserBlock.h"

#include <QGraphicsScene>
#include <QGraphicsView>
#include <QLayout>
#include <QScrollBar>
#include <QTimer>
#include <QToolBox>
#include <algorithm>

bool lessThan(const BlockDescription* a, const BlockDescription* b)
{
    if (!a || !b)
        return false;
    return a->name < b->name;
}

Browser::Browser(const QString& title, QWidget* parent) : QDockWidget(title, parent)
{
    setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
}

void Browser::loadBlocks(const Categories* categories)
{
    if (QWidget* old = widget())
        old->deleteLater();

    auto* toolBox = new QToolBox(this);
    toolBox->layout()->setSpacing(1);
    toolBox->layout()->setContentsMargins(6, 6, 6, 6);

    if (categories) {
        for (auto it = categories->cbegin(); it != categories->cend(); ++it) {
            QList<const BlockDescription*> sorted = it.value();
            std::stable_sort(sorted.begin(), sorted.end(), lessThan);

            auto* view = new QGraphicsView(toolBox);
            // The view does not own what it shows; the page does.
            auto* scene = new QGraphicsScene(view);
            for (int i = 0; i < sorted.size(); ++i) {
                auto* block = new BrowserBlock(sorted.at(i), this);
                block->setPos(0, (block->boundingRect().height() + 10) * i);
                scene->addItem(block);
            }
            view->setScene(scene);
            view->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            // A page taller than its view starts at its first block and stays there when
            // the dock is resized.
            view->setResizeAnchor(QGraphicsView::NoAnchor);
            view->setTransformationAnchor(QGraphicsView::NoAnchor);
            QTimer::singleShot(0, view, [view] {
                view->verticalScrollBar()->setValue(view->verticalScrollBar()->minimum());
                view->horizontalScrollBar()->setValue(view->horizontalScrollBar()->minimum());
            });
            toolBox->addItem(view, it.key());
        }
    }
    setWidget(toolBox);
}

void Browser::addBlocksInCategories(const Categories* categories)
{
    if (!categories)
        return;
    for (auto it = categories->cbegin(); it != categories->cend(); ++it) {
        QList<const BlockDescription*>& list = own[it.key()];
        for (const BlockDescription* d : it.value()) {
            if (d && !d->name.isEmpty())
                list.append(d);
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
