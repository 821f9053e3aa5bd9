#include "QueryString.h"

QueryString::Pairs QueryString::split(const QByteArray& rawQuery)
{
    Pairs pairs;
    for (const QByteArray& pair : rawQuery.split('&')) {
        if (pair.isEmpty())
            continue;
        const int eq = pair.indexOf('=');
        pairs.append({decode(eq < 0 ? pair : pair.left(eq)),
                      eq < 0 ? QString(QLatin1String("")) : decode(pair.mid(eq + 1))});
    }
    return pairs;
}

QString QueryString::decode(const QByteArray& text)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text));
}

QByteArray QueryString::queryOf(const QByteArray& target)
{
    const int question = target.indexOf('?');
    return question < 0 ? QByteArray() : target.mid(question + 1);
}

QByteArray QueryString::pathOf(const QByteArray& target)
{
    const int question = target.indexOf('?');
    return question < 0 ? target : target.left(question);
}

QString QueryString::value(const Pairs& pairs, const QString& key)
{
    for (const auto& pair : pairs) {
        if (pair.first == key)
            return pair.second;
    }
    return QString();
}
