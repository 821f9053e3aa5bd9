#include "KnotResources.h"

#include <QtGlobal>

void initKnotResources()
{
    // Must be outside any namespace: the macro declares the generated registration function.
    Q_INIT_RESOURCE(knot_resources);
}
