#include "RepositoryText.h"

#include <QFileInfo>
#include <QUrl>

namespace util {

QString escapedText(const QString& text)
{
    QString normalised = text;
    normalised.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    normalised.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return normalised.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br>"));
}

QString entryHeader(const QList<QPair<QString, QString>>& lines)
{
    QString html = QStringLiteral(
        "<div style=\"background:#888888;color:white;width:100%;font-size:11px; \" ><br>");
    for (const auto& line : lines) {
        if (line.second.isEmpty())
            continue;
        html += "<strong>. " + line.first + " : </strong>" + escapedText(line.second) + "<br>";
    }
    return html + "</div>";
}

QString entryDescription(const QList<QPair<QString, QString>>& lines, const QString& description)
{
    // A paragraph of its own, or the header block's background runs on under the text.
    return entryHeader(lines) + "<br><p>" + escapedText(description) + "</p>";
}

QString commentsText(const RepositoryComments& comments)
{
    if (comments.isEmpty())
        return QStringLiteral("No Comments");
    QString html = QStringLiteral("<table>");
    for (const RepositoryComment& c : comments) {
        html += "<tr><td width='80%' style='background: #dddddd; padding:10px; "
                "font-family:Verdana;'>" +
                escapedText(c.content) +
                "</td><td width='20%' bgcolor='#bbbbbb'><table width='100%' height='100%' >"
                "<tr><td style='padding-left:5px; color: #000000;'>" +
                escapedText(c.user) +
                "</td></tr><tr><td style='padding-left:5px; font-size: 10px;  color: #000000;'>" +
                escapedText(c.date) + "</td></tr></table></td></tr>";
    }
    return html + "</table>";
}

namespace {

QString cleaned(const QString& name)
{
    // Both separators count: a name made on another system may use either.
    const QString base =
        name.mid(qMax(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\'))) + 1);
    QString out;
    for (const QChar c : base) {
        if (c.category() != QChar::Other_Control && c.category() != QChar::Other_Format)
            out += c;
    }
    out = out.trimmed();
    while (out.startsWith(QLatin1Char('.')))
        out.remove(0, 1);
    return out;
}

bool hasBlockSuffix(const QString& name)
{
    return name.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive) ||
           name.endsWith(QLatin1String(".block"), Qt::CaseInsensitive);
}

} // namespace

QString safeBlockFileName(const QString& serverName, const QString& blockName)
{
    QString name = cleaned(serverName);
    if (name.isEmpty())
        name = cleaned(blockName);
    QString suffix = QStringLiteral(".xml");
    if (hasBlockSuffix(name)) {
        const int dot = name.lastIndexOf(QLatin1Char('.'));
        suffix = name.mid(dot);
        name.truncate(dot);
    }
    if (name.isEmpty())
        name = QStringLiteral("block");
    int length = qMin(name.size(), maxFileNameLength - suffix.size());
    if (length < name.size() && name.at(length - 1).isHighSurrogate())
        --length;
    return name.left(length) + suffix;
}

QString uploadFileName(const QString& path)
{
    const QFileInfo info(path);
    return info.baseName() + "." + info.suffix();
}

bool isWebLink(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

} // namespace util
