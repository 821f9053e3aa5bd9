#include "PresetCatalogue.h"

#include <QDomDocument>
#include <QDomElement>

namespace util {

namespace {

QString childText(const QDomElement& parent, const QString& name)
{
    return parent.firstChildElement(name).text();
}

} // namespace

PresetCategories readPresetCatalogue(const QByteArray& xml)
{
    PresetCategories categories;
    QDomDocument document(QStringLiteral("presets"));
    if (!document.setContent(xml))
        return categories;
    const QDomElement root = document.firstChildElement(QStringLiteral("presets"));
    for (QDomElement category = root.firstChildElement(QStringLiteral("category"));
         !category.isNull(); category = category.nextSiblingElement(QStringLiteral("category"))) {
        QList<Preset>& presets = categories[category.attribute(QStringLiteral("name"))];
        presets.clear();
        for (QDomElement element = category.firstChildElement(QStringLiteral("preset"));
             !element.isNull(); element = element.nextSiblingElement(QStringLiteral("preset"))) {
            Preset preset;
            preset.name = element.attribute(QStringLiteral("name"));
            preset.file = childText(element, QStringLiteral("file"));
            preset.info = childText(element, QStringLiteral("info"));
            for (int i = 1; i <= 4; ++i)
                preset.controls << childText(element, QStringLiteral("control%1").arg(i));
            presets << preset;
        }
    }
    return categories;
}

} // namespace util
