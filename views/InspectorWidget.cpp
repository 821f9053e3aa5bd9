#include "InspectorWidget.h"

InspectorWidget::~InspectorWidget() = default;
