#include "RequestLog.h"

#include <QDateTime>

QByteArray RequestLog::line(qint64 unixSeconds, const QString& address, const QByteArray& method,
                            const QString& action, int status)
{
    const QString time = QDateTime::fromSecsSinceEpoch(unixSeconds, Qt::UTC).toString(Qt::ISODate);
    auto field = [](const QString& text) {
        return text.isEmpty() ? QStringLiteral("-") : escaped(text);
    };
    return QStringList{time, field(address), field(QString::fromLatin1(method)), field(action),
                       status ? QString::number(status) : QStringLiteral("-")}
               .join(QLatin1Char(' '))
               .toUtf8() +
           '\n';
}

QString RequestLog::escaped(const QString& text, int limit)
{
    QString out;
    const QVector<uint> points = text.toUcs4();
    int shown = 0;
    for (const uint u : points) {
        if (shown == limit) {
            out += QStringLiteral("...");
            break;
        }
        ++shown;
        const QChar::Category category = QChar::category(u);
        const bool plain =
            u > 0x20 && u != '\\' && u != 0x7f && category != QChar::Other_Control &&
            category != QChar::Other_Format && category != QChar::Other_Surrogate &&
            category != QChar::Other_NotAssigned && category != QChar::Separator_Line &&
            category != QChar::Separator_Paragraph && category != QChar::Separator_Space;
        if (plain)
            out += QString::fromUcs4(&u, 1);
        else if (u < 0x100)
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            out += QStringLiteral("\\u{%1}").arg(u, 0, 16);
    }
    return out;
}
