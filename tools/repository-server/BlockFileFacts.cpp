#include "BlockFileFacts.h"

#include <QCryptographicHash>
#include <QXmlStreamReader>

bool BlockFileFacts::read(const QByteArray& bytes, QString* name, QString* category)
{
    QXmlStreamReader xml(bytes);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("block"))
        return false;
    const QString found = xml.attributes().value(QLatin1String("name")).toString();
    if (found.isEmpty())
        return false;
    if (name)
        *name = found;
    if (category)
        *category = BlockFileFacts::category(bytes);
    return true;
}

QString BlockFileFacts::category(const QByteArray& bytes)
{
    QXmlStreamReader xml(bytes);
    if (!xml.readNextStartElement())
        return QString();
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("category"))
            return xml.readElementText(QXmlStreamReader::IncludeChildElements);
        xml.skipCurrentElement();
    }
    return QString();
}

QString BlockFileFacts::hash(const QByteArray& bytes)
{
    QByteArray text = bytes;
    text.replace('\r', QByteArray());
    return QString::fromLatin1(
        QCryptographicHash::hash(text, QCryptographicHash::Sha1).toHex().left(4));
}
