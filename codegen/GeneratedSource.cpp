#include "GeneratedSource.h"

#include "BlockDescription.h"
#include "BlockInstance.h"
#include "DisplayText.h"

#include <QDebug>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace {

const QString AudioRate = QStringLiteral("SMP_RATE");
const QString ControlRate = QStringLiteral("CTL_RATE");
const QString ControlSuffix = QStringLiteral("_ctl");

GeneratedSource::NumberSource numberSource = nullptr;

// Never seeded, so a run of the editor always draws the same sequence.
quint32 drawNumber()
{
    static std::mt19937 generator;
    return numberSource ? numberSource() : generator() >> 1;
}

QString baseName(const QString& name)
{
    return name.left(name.indexOf(QLatin1Char('[')));
}

bool isDecimal(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace

QString GeneratedSource::blockLabel(const BlockInstance& instance)
{
    const QString name = instance.description ? instance.description->name : QString();
    return QStringLiteral("%1 (id %2)")
        .arg(name.isEmpty() ? QStringLiteral("block") : util::displayName(name),
             QString::number(instance.id));
}

GeneratedSource::GeneratedSource(const InstanceList& order) : order(order) {}

void GeneratedSource::setNumberSource(NumberSource source)
{
    numberSource = source;
}

qint32 GeneratedSource::fixedPoint(const QString& text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || std::isnan(value))
        return 0;
    const double scaled = std::trunc(value * 1024.0);
    if (scaled >= double(std::numeric_limits<qint32>::max()))
        return std::numeric_limits<qint32>::max();
    if (scaled <= double(std::numeric_limits<qint32>::min()))
        return std::numeric_limits<qint32>::min();
    return qint32(scaled);
}

void GeneratedSource::put(QString& out, const char* pattern, std::initializer_list<QString> args)
{
    const QString* arg = args.begin();
    const int count = int(args.size());
    const char* run = pattern;
    const char* p = pattern;
    for (; *p; ++p) {
        if (*p != '%' || p[1] < '1' || p[1] > '9' || p[1] - '1' >= count)
            continue;
        out += QLatin1String(run, int(p - run));
        out += arg[p[1] - '1'];
        ++p;
        run = p + 1;
    }
    out += QLatin1String(run, int(p - run));
}

QString GeneratedSource::text()
{
    reservePlainNames();
    for (int n = 0; n < order.size(); ++n)
        position.insert(order.at(n), n);
    for (int n = 0; n < order.size(); ++n) {
        if (order.at(n))
            writeInstance(n, *order.at(n));
    }

    QString out;
    out.reserve(globalsText.size() + typesText.size() + declarationsText.size() +
                functionsText.size() + staticsText.size() + valuesText.size() +
                pointersText.size() + initCallsText.size() + audioCallsText.size() +
                controlCallsText.size() + 160);
    out += globalsText;
    out += typesText;
    out += declarationsText;
    out += functionsText;
    out += QLatin1String("static inline void init_dsp_objects(){\n");
    out += staticsText;
    out += valuesText;
    out += pointersText;
    out += initCallsText;
    out += QLatin1String("}\n");
    out += QLatin1String("static inline void audio_rate_handler(){\n");
    out += audioCallsText;
    out += QLatin1String("}\n");
    out += QLatin1String("static inline void control_rate_handler(){\n");
    out += controlCallsText;
    out += QLatin1String("}\n");
    return out;
}

void GeneratedSource::reservePlainNames()
{
    QSet<const BlockDescription*> seen;
    for (const BlockInstance* instance : order) {
        const BlockDescription* d = instance ? instance->description : nullptr;
        if (!d || seen.contains(d))
            continue;
        seen.insert(d);
        takenNames.insert(d->dataName);
        takenNames.insert(d->mainName);
        takenNames.insert(d->mainName + ControlSuffix);
        for (const BlockCode& function : d->functions) {
            takenNames.insert(function.name);
            if (function.type == BlockCode::Main)
                takenNames.insert(function.name + ControlSuffix);
        }
        for (const BlockCode& global : d->globals)
            takenNames.insert(global.name);
    }
}

QString GeneratedSource::freshSuffix(const BlockDescription& description, int numbers)
{
    QStringList names;
    QStringList mains;
    names << description.dataName;
    mains << description.mainName;
    for (const BlockCode& function : description.functions) {
        if (function.type == BlockCode::Main)
            mains << function.name;
        else if (function.type != BlockCode::Custom)
            names << function.name;
    }
    names.removeAll(QString());
    mains.removeAll(QString());

    for (;;) {
        QString suffix;
        for (int i = 0; i < numbers; ++i)
            suffix += QString::number(drawNumber());
        QStringList made;
        for (const QString& name : qAsConst(names))
            made << name + suffix;
        for (const QString& name : qAsConst(mains))
            made << name + suffix << name + suffix + ControlSuffix;
        const bool clash = std::any_of(made.cbegin(), made.cend(),
                                       [this](const QString& n) { return takenNames.contains(n); });
        if (clash)
            continue;
        for (const QString& name : qAsConst(made))
            takenNames.insert(name);
        return suffix;
    }
}

GeneratedSource::ArrayShape GeneratedSource::arrayShape(const BlockInstance& instance,
                                                        const Variable& variable,
                                                        const QString& valueText)
{
    const QString count = QString::number(valueText.count(QLatin1Char(',')) + 1);
    const QString& name = variable.name;
    ArrayShape shape;
    bool firstGroup = true;
    int i = 0;
    while (i < name.size()) {
        const QChar c = name.at(i);
        if (c == QLatin1Char('?')) {
            shape.name += count;
            shape.fromValues = true;
            ++i;
            continue;
        }
        if (c != QLatin1Char('[')) {
            shape.name += c;
            ++i;
            continue;
        }
        int close = name.indexOf(QLatin1Char(']'), i + 1);
        const bool closed = close >= 0;
        if (!closed)
            close = name.size();
        const QString content = name.mid(i + 1, close - i - 1);
        const QString trimmed = content.trimmed();
        bool ok = false;
        const qint64 declared = isDecimal(trimmed) ? trimmed.toLongLong(&ok) : 0;
        qint64 size = 0;
        if (ok && closed) {
            shape.name += QLatin1Char('[') + content + QLatin1Char(']');
            size = declared;
        } else {
            if (trimmed != QLatin1String("?")) {
                const QString key =
                    QStringLiteral("%1/%2").arg(quintptr(instance.description)).arg(variable.id);
                if (!warned.contains(key)) {
                    warned.insert(key);
                    qWarning().noquote()
                        << QStringLiteral("%1: the size of the array %2 is not a number; the "
                                          "array takes the size of its values.")
                               .arg(blockLabel(instance), name);
                }
            }
            shape.name += QLatin1Char('[') + count + QLatin1Char(']');
            shape.fromValues = true;
            size = count.toLongLong();
        }
        if (firstGroup)
            shape.size = size;
        firstGroup = false;
        i = close + 1;
    }
    return shape;
}

bool GeneratedSource::sourceOf(const BlockInstance& instance, int socket, QString* record,
                               QString* output) const
{
    const BlockConnection* cable = instance.inputs.value(socket);
    if (!cable || !cable->outBlock || !cable->outBlock->description)
        return false;
    const int from = position.value(cable->outBlock, -1);
    const QList<const Variable*>& outputs = cable->outBlock->description->outputs;
    if (from < 0 || cable->outBlockSocketId < 0 || cable->outBlockSocketId >= outputs.size())
        return false;
    *record = QStringLiteral("block") + QString::number(from);
    *output = outputs.at(cable->outBlockSocketId)->name;
    return true;
}

void GeneratedSource::writeFunction(const BlockCode& function, const QString& typeName,
                                    bool controlRate)
{
    switch (function.type) {
    case BlockCode::Main:
        if (controlRate && !controlNames.contains(function.name) &&
            function.code.contains(AudioRate)) {
            controlNames.insert(function.name);
            QString code = function.code;
            code.replace(AudioRate, ControlRate);
            put(functionsText, "static inline void %1_ctl(%2 *data){\n%3\n}\n",
                {function.name, typeName, code});
        } else if (!mainNames.contains(function.name)) {
            mainNames.insert(function.name);
            put(functionsText, "static inline void %1(%2 *data){\n%3\n}\n",
                {function.name, typeName, function.code});
        }
        break;
    case BlockCode::Init:
        if (!initNames.contains(function.name)) {
            initNames.insert(function.name);
            put(functionsText, "static inline void %1(%2 *data){\n%3\n}\n",
                {function.name, typeName, function.code});
        }
        break;
    case BlockCode::Custom:
        if (!customNames.contains(function.name)) {
            customNames.insert(function.name);
            put(functionsText, "static inline %1 %2%3{\n%4\n}\n",
                {function.returnType, function.name, function.parameters, function.code});
        }
        break;
    default:
        break;
    }
}

void GeneratedSource::writeInstance(int n, const BlockInstance& instance)
{
    const BlockDescription* d = instance.description;
    if (!d) {
        qWarning().noquote() << QStringLiteral("%1 has no block type and is left out of the "
                                               "generated code.")
                                    .arg(blockLabel(instance));
        return;
    }
    const QString number = QString::number(n);
    const QString record = QStringLiteral("block") + number;
    auto valueOf = [&instance](const Variable& v) {
        return v.id >= 0 && v.id < instance.values.size() ? instance.values.at(v.id) : QString();
    };

    const int variableCount = int(d->variables.size());
    std::vector<ArrayShape> shapes(d->variables.size());
    QString shapeKey;
    int editableArrays = 0;
    const Variable* rate = nullptr;
    for (int i = 0; i < variableCount; ++i) {
        const Variable& v = d->variables[i];
        if (v.socketKind == Variable::SocketRate && !rate)
            rate = &v;
        if (v.editable && v.name.contains(QLatin1Char('[')))
            ++editableArrays;
        if (v.socketKind == Variable::SocketRate || v.socketKind == Variable::SocketInput)
            continue;
        shapes[i] = arrayShape(instance, v, valueOf(v));
        if (shapes[i].fromValues)
            shapeKey += shapes[i].name + QLatin1Char('\n');
    }

    // Editable arrays give every instance a type of its own; an array sized by its values gets
    // its own type when the sizes differ from those the type was first written with.
    QString suffix;
    if (editableArrays > 0) {
        suffix = freshSuffix(*d, editableArrays);
    } else if (!d->dataName.isEmpty() && typeNames.contains(d->dataName) &&
               typeShapes.value(d->dataName) != shapeKey) {
        const QString key = d->dataName + QLatin1Char('\t') + shapeKey;
        suffix = shapeSuffixes.value(key);
        if (suffix.isEmpty()) {
            suffix = freshSuffix(*d, 1);
            shapeSuffixes.insert(key, suffix);
        }
    }
    auto withSuffix = [&suffix](const QString& name) {
        return name.isEmpty() ? name : name + suffix;
    };
    const QString typeName = withSuffix(d->dataName);
    const QString mainName = withSuffix(d->mainName);
    QList<BlockCode> functions = d->functions;
    for (BlockCode& function : functions) {
        if (function.type != BlockCode::Custom)
            function.name = withSuffix(function.name);
    }

    if (!typeNames.contains(typeName)) {
        typeNames.insert(typeName);
        typeShapes.insert(typeName, shapeKey);
        typesText += QLatin1String("typedef struct {\n");
        for (int i = 0; i < variableCount; ++i) {
            const Variable& v = d->variables[i];
            if (v.socketKind == Variable::SocketRate)
                continue;
            if (v.socketKind == Variable::SocketInput) {
                put(typesText, "\t%1 *%2;\n", {v.dtype, v.name});
                continue;
            }
            put(typesText, "\t%1 %2;\n", {v.dtype, shapes[i].name});
            if (v.name.contains(QLatin1Char('[')))
                put(typesText, "\tuint32_t %1;\n", {baseName(v.name) + QLatin1String("_length")});
        }
        put(typesText, "}%1;\n", {typeName});
    }

    put(declarationsText, "%1 block%2;\n", {typeName, number});

    const bool controlRate = rate && valueOf(*rate) != QLatin1String("0");
    for (const BlockCode& function : qAsConst(functions))
        writeFunction(function, typeName, controlRate);

    for (const BlockCode& global : d->globals) {
        if (!globalNames.contains(global.name)) {
            globalNames.insert(global.name);
            put(globalsText, "%1\n", {global.code});
        }
    }

    QString source, output;
    for (int i = 0; i < variableCount; ++i) {
        const Variable& v = d->variables[i];
        const QString text = valueOf(v);
        switch (v.socketKind) {
        case Variable::SocketInput: {
            if (d->inputs.value(v.socketIndex) == &v &&
                sourceOf(instance, v.socketIndex, &source, &output))
                break;
            const QString staticName = record + QLatin1Char('_') + v.name;
            put(staticsText, "\tstatic int32_t %1 = %2;\n",
                {staticName, QString::number(fixedPoint(text))});
            put(pointersText, "\t%1.%2 = &%3;\n", {record, v.name, staticName});
            break;
        }
        case Variable::SocketOutput:
            break;
        case Variable::SocketRate:
            if (text == QLatin1String("0"))
                put(audioCallsText, "\t%1(&block%2);\n", {mainName, number});
            else if (d->mainCode.contains(AudioRate))
                put(controlCallsText, "\t%1_ctl(&block%2);\n", {mainName, number});
            else
                put(controlCallsText, "\t%1(&block%2);\n", {mainName, number});
            break;
        default: {
            const bool array = v.name.contains(QLatin1Char('['));
            const QString length = baseName(v.name) + QLatin1String("_length");
            if (text.isEmpty()) {
                if (array)
                    put(valuesText, "\t%1.%2 = %3;\n", {record, length, QStringLiteral("0")});
            } else if (!array) {
                put(valuesText, "\t%1.%2 = %3;\n",
                    {record, shapes[i].name, QString::number(fixedPoint(text))});
            } else {
                const QStringList parts = text.split(QLatin1Char(','));
                const qint64 kept = std::min<qint64>(parts.size(), shapes[i].size);
                if (kept < parts.size()) {
                    qWarning().noquote()
                        << QStringLiteral("%1: the array %2 holds %3 values; the %4 values "
                                          "after them are left out.")
                               .arg(blockLabel(instance), v.name, QString::number(kept),
                                    QString::number(parts.size() - kept));
                }
                put(valuesText, "\t%1.%2 = %3;\n", {record, length, QString::number(kept)});
                const QString base = baseName(v.name);
                for (int k = 0; k < kept; ++k)
                    put(valuesText, "\t%1.%2[%3] = %4;\n",
                        {record, base, QString::number(k),
                         QString::number(fixedPoint(parts.at(k)))});
            }
            break;
        }
        }
    }

    QList<qint32> sockets = instance.inputs.keys();
    std::sort(sockets.begin(), sockets.end());
    for (const qint32 k : qAsConst(sockets)) {
        if (k < 0 || k >= d->inputs.size() || !sourceOf(instance, k, &source, &output))
            continue;
        put(pointersText, "\tblock%1.%2 = &%3.%4;\n",
            {number, d->inputs.at(k)->name, source, output});
    }

    for (const BlockCode& function : qAsConst(functions)) {
        if (function.type == BlockCode::Init) {
            put(initCallsText, "\t%1(&block%2);\n", {function.name, number});
            break;
        }
    }
}
