#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// The query of a request as the repository reads it: pairs split at "&" and the first "=",
// each key and value percent-decoded and read as UTF-8. "+" stays "+": clients send Base64
// unescaped, and a blank arrives as "%20".
class QueryString
{
public:
    using Pairs = QList<QPair<QString, QString>>;

    static Pairs split(const QByteArray& rawQuery);
    static QString decode(const QByteArray& text);
    // The query part of a request target ("/path?query"): empty when it has none.
    static QByteArray queryOf(const QByteArray& target);
    static QByteArray pathOf(const QByteArray& target);
    // The first value of `key`; a null string when absent.
    static QString value(const Pairs& pairs, const QString& key);
};
