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

int getInt(const QXmlStreamAttributes& attributes, const char* name)
{
    const QLatin1String key(name);
    if (!attributes.hasAttribute(key))
        return missingNumber;
    return attributes.value(key).toInt();
}

QString getString(const QXmlStreamAttributes& attributes, const char* name)
{
    const QLatin1String key(name);
    if (!attributes.hasAttribute(key))
        return QString();
    return attributes.value(key).toString();
}

QString getStringFromCData(const QDomElement& element, const QString& name)
{
    const QDomElement child = element.firstChildElement(name);
    if (child.isNull())
        return QString();
    QDomNode node = child.firstChild();
    if (!node.isCDATASection())
        return QString();
    // A text holding "]]>" can only be sent split over adjacent sections.
    QString text;
    for (; node.isCDATASection(); node = node.nextSibling())
        text += node.toCDATASection().data();
    return text;
}

} // namespace util::xml
