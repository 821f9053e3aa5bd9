#pragma once

#include "BlockInstance.h"

#include <QList>
#include <QMetaType>

using InstanceList = QList<const BlockInstance*>;

Q_DECLARE_METATYPE(InstanceList)
