#include "FixtureHost.h"

#include "PatchDocument.h"

#include <QAction>
#include <QFile>
#include <QXmlStreamReader>

FixtureHost::FixtureHost()
{
    for (const char* name : {"delete", "copy", "paste", "comment", "undo", "redo"}) {
        auto* action = new QAction(QString::fromLatin1(name), &actionOwner);
        actions.insert(action->text(), action);
    }
    addLibraryBlock(blockXml(QStringLiteral("Audio Output"), QStringLiteral("In / Out"),
                             QStringLiteral("<v socket=\"in\" info=\"left\"/>"
                                            "<v socket=\"in\" info=\"right\"/>")));
    addLibraryBlock(blockXml(
        QStringLiteral("Oscillator"), QStringLiteral("Generators"),
        QStringLiteral("<v socket=\"in\" info=\"pitch\"/>"
                       "<v name=\"freq\" dtype=\"float\" editable=\"1\" value=\"2.000000\"/>"
                       "<v name=\"table[4]\" dtype=\"int32_t\" value=\"1.0,2.50,3,4\"/>"
                       "<v socket=\"out\" info=\"wave\"/>")));
    addLibraryBlock(blockXml(QStringLiteral("Mixer"), QStringLiteral("Math"),
                             QStringLiteral("<v socket=\"in\"/><v socket=\"in\"/>"
                                            "<v socket=\"out\"/>"
                                            "<v name=\"gain\" editable=\"1\" value=\"0.50\"/>")));
}

FixtureHost::~FixtureHost() = default;

QByteArray FixtureHost::blockXml(const QString& name, const QString& category,
                                 const QString& variables)
{
    return QStringLiteral("<block name=\"%1\">\n<category>%2</category>\n<info>%1 block</info>\n"
                          "<data name=\"%3_t\">%4</data>\n"
                          "<function type=\"main\" name=\"%3_main\"><![CDATA[ ]]></function>\n"
                          "</block>\n")
        .arg(name.toHtmlEscaped(), category.toHtmlEscaped(),
             QString(name).remove(QLatin1Char(' ')).toLower(), variables)
        .toUtf8();
}

bool FixtureHost::addLibraryBlock(const QByteArray& xml, BlockDescription::BlockOrigin origin)
{
    QXmlStreamReader reader(xml);
    QString name;
    while (reader.readNextStartElement()) {
        name = reader.attributes().value(QLatin1String("name")).toString();
        break;
    }
    const QString path = folder.filePath(QString::number(files.size()) + QStringLiteral(".xml"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(xml) != xml.size())
        return false;
    file.close();
    files.insert(name, path);
    return library.loadNewBlock(path, origin);
}

QAction* FixtureHost::getAction(const QString& name) const
{
    return actions.value(name);
}

const BlockDescription* FixtureHost::blockDescription(const QString& name, bool libraryOnly) const
{
    if (!libraryOnly && current) {
        if (const BlockDescription* own = current->getBlockDescription(name))
            return own;
    }
    return library.blockDescription(name);
}

void FixtureHost::variableChanged(int instanceId, int variableId, const QString& value)
{
    variableChanges.append({instanceId, variableId, value});
}
