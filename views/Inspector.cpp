#include "Inspector.h"

Inspector::Inspector(const QString& title, QWidget* parent) : QDockWidget(title, parent)
{
    setMinimumHeight(200);
}

void Inspector::clear() {}

void Inspector::showProperties(const BlockInstance*) {}

void Inspector::updateValue(int, int, const QString&) {}
