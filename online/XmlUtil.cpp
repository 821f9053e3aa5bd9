#include "XmlUtil.h"

#include <QDomCDATASection>

namespace util::xml {

int getInt(const QDomElement& element, const QString& name)
{
    if (!element.hasAttribute(name))
        return missingNumber;
    return element.attribute(name).toInt();
}

QString getString(const QDomElement& element, const QString& name)
{
    if (!element.hasAttribute(name))
        return QString();
    return element.attribute(name);
}

QString getStringFromCData(const QDomElement& element, const QString& name)
{
    const QDomElement child = element.firstChildElement(name);
    if (child.isNull())
        return QString();
    const QDomNode first = child.firstChild();
    if (!first.isCDATASection())
        return QString();
    return first.toCDATASection().data();
}

} // namespace util::xml
