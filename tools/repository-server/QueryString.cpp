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

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

// A "%" without two hexadecimal digits after it stays as it is.
QString QueryString::decode(const QByteArray& text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const int high = text.at(i) == '%' && i + 2 < text.size() ? hexValue(text.at(i + 1)) : -1;
        const int low = high >= 0 ? hexValue(text.at(i + 2)) : -1;
        if (low >= 0) {
            bytes.append(char(high * 16 + low));
            i += 2;
        } else {
            bytes.append(text.at(i));
        }
    }
    return QString::fromUtf8(bytes);
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
