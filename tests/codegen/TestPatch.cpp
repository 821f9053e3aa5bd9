#include "TestPatch.h"

#include "BlockManager.h"
#include "TestMain.h"

#include <QFile>
#include <QtTest>

const BlockDescription* TestPatch::socketBlock(const QString& name, int inputs, int outputs)
{
    QByteArray xml = "<block name=\"" + name.toUtf8() + "\"><data name=\"" + name.toUtf8() + "\">";
    for (int i = 0; i < inputs; ++i)
        xml += "<v socket=\"in\"/>";
    for (int i = 0; i < outputs; ++i)
        xml += "<v socket=\"out\"/>";
    xml += "</data><function name=\"" + name.toUtf8() + "_main\">;</function></block>";
    return fromXml(xml);
}

const BlockDescription* TestPatch::fixture(const QString& file)
{
    QFile f(testsupport::sourcePath(QStringLiteral("tests/codegen/fixtures/") + file));
    if (!f.open(QIODevice::ReadOnly)) {
        qWarning("fixture %s is missing", qPrintable(file));
        return nullptr;
    }
    return fromXml(f.readAll());
}

const BlockDescription* TestPatch::fromXml(const QByteArray& xml)
{
    descriptions.push_back(BlockManager::loadBlock(xml, BlockDescription::OriginPatch));
    return &descriptions.back();
}

const BlockDescription* TestPatch::keep(const BlockDescription& description)
{
    descriptions.push_back(description);
    descriptions.back().rebuildSockets();
    return &descriptions.back();
}

BlockInstance* TestPatch::add(const BlockDescription* type, const QStringList& values)
{
    return add(type, QString(), values);
}

BlockInstance* TestPatch::add(const BlockDescription* type, const QString& label,
                              const QStringList& values)
{
    const qint32 id = placed.size() + 1;
    BlockInstance& instance = instances[id];
    instance.id = id;
    instance.description = type;
    if (values.isEmpty() && type) {
        for (const Variable& v : type->variables)
            instance.values << v.value;
    } else {
        instance.values = values;
    }
    placed << id;
    if (!label.isEmpty())
        labels.insert(label, &instance);
    return &instance;
}

const BlockConnection* TestPatch::connect(BlockInstance* from, int out, BlockInstance* to, int in)
{
    const qint32 id = connections.size() + 1;
    BlockConnection& cable = connections[id];
    cable.id = id;
    cable.outBlock = from;
    cable.inBlock = to;
    cable.outBlockSocketId = out;
    cable.inBlockSocketId = in;
    from->outputs.insert(out, &cable);
    to->inputs.insert(in, &cable);
    return &cable;
}

QString TestPatch::labelOf(const BlockInstance* instance) const
{
    const QString label = labels.key(const_cast<BlockInstance*>(instance));
    return label.isEmpty() && instance ? QString::number(instance->id) : label;
}

QList<const BlockInstance*> TestPatch::all() const
{
    QList<const BlockInstance*> result;
    for (qint32 id : placed)
        result << &instances.find(id).value();
    return result;
}

QList<const BlockInstance*> TestPatch::list(const QString& labelsText) const
{
    QList<const BlockInstance*> result;
    for (const QString& label : labelsText.split(QLatin1Char(','), Qt::SkipEmptyParts))
        result << labels.value(label.trimmed());
    return result;
}

QString TestPatch::labelsOf(const QList<const BlockInstance*>& list) const
{
    QStringList names;
    for (const BlockInstance* instance : list)
        names << labelOf(instance);
    return names.join(QLatin1Char(','));
}
