#pragma once

#include "Preset.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

// The preset catalogue: an XML document (type "presets") whose root element presets holds
// category elements (attribute name), each holding preset elements (attribute name; child
// elements file, info and control1 to control4, each taken from the first element of that name,
// a missing one giving an empty text). Other elements and attributes are ignored.
namespace util {

using PresetCategories = QMap<QString, QList<Preset>>;

// The presets by category, in catalogue order within each. A later category of the same name
// replaces the presets of an earlier one. Malformed XML gives no presets.
PresetCategories readPresetCatalogue(const QByteArray& xml);

} // namespace util
