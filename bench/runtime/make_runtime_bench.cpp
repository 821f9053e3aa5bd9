// Writes the source of the runtime benchmark: the emulator template filled by the code generator
// with a patch of the shipped blocks, followed by the same blocks' code inlined by hand, as one
// would write the patch without records: each block's main function copied from its block file
// with every data->member made a variable of its own and every input read straight from the
// output that feeds it. The audio callback of the inlined patch is the template's own, with the
// handlers' names substituted.
//   make_runtime_bench BLOCKS_FOLDER TEMPLATE BLOCK_COUNT OUTPUT
#include "CodeCompiler.h"
#include "GeneratedSource.h"
#include "ShippedPatch.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSaveFile>

#include <cstdio>

namespace {

QString readText(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

struct Inlined
{
    QString state;
    QString audio;
    QString control;
};

// The block's variables as file-scope variables named b<position>_<member> (arrays of a fixed
// size too), its inputs as the outputs that feed them (or a variable holding the value), its
// return statements as jumps to its end.
bool inlineBlock(int position, const BlockInstance& instance,
                 const QHash<const BlockInstance*, int>& positions, Inlined& out, QString* error)
{
    const BlockDescription* d = instance.description;
    const QString prefix = QStringLiteral("b%1_").arg(position);
    auto valueOf = [&instance](const Variable& v) {
        return v.id >= 0 && v.id < instance.values.size() ? instance.values.at(v.id) : QString();
    };
    QHash<QString, QString> inputs;
    bool controlRate = false;
    for (const Variable& v : d->variables) {
        const QString text = valueOf(v);
        if (v.name.contains(QLatin1Char('['))) {
            // A line of fixed size, such as an echo's, with its values and its _length member
            // as the generated records have them.
            static const QRegularExpression fixed(QStringLiteral("^(\\w+)\\[(\\d+)\\]$"));
            const QRegularExpressionMatch shape = fixed.match(v.name);
            const QStringList parts = text.isEmpty() ? QStringList() : text.split(QLatin1Char(','));
            if (!shape.hasMatch() || parts.size() > shape.captured(2).toInt()) {
                *error = d->name + QStringLiteral(": the array %1 is not inlined").arg(v.name);
                return false;
            }
            QStringList values;
            for (const QString& part : parts)
                values << QString::number(GeneratedSource::fixedPoint(part));
            out.state += QStringLiteral("static %1 %2%3[%4] = {%5};\n")
                             .arg(v.dtype, prefix, shape.captured(1), shape.captured(2),
                                  values.isEmpty() ? QStringLiteral("0") : values.join(", "));
            out.state += QStringLiteral("static int32_t %1%2_length = %3;\n")
                             .arg(prefix, shape.captured(1))
                             .arg(parts.size());
            continue;
        }
        switch (v.socketKind) {
        case Variable::SocketRate:
            controlRate = text != QLatin1String("0");
            break;
        case Variable::SocketInput: {
            const BlockConnection* cable = instance.inputs.value(v.socketIndex);
            if (cable && cable->outBlock && positions.contains(cable->outBlock)) {
                const Variable* source =
                    cable->outBlock->description->outputs.value(cable->outBlockSocketId);
                inputs.insert(v.name, QStringLiteral("b%1_%2")
                                          .arg(positions.value(cable->outBlock))
                                          .arg(source->name));
            } else {
                inputs.insert(v.name, prefix + v.name);
                out.state += QStringLiteral("static int32_t %1%2 = %3;\n")
                                 .arg(prefix, v.name)
                                 .arg(GeneratedSource::fixedPoint(text));
            }
            break;
        }
        default:
            out.state += QStringLiteral("static %1 %2%3 = %4;\n")
                             .arg(v.dtype, prefix, v.name)
                             .arg(text.isEmpty() ? 0 : GeneratedSource::fixedPoint(text));
            break;
        }
    }

    QString code = d->mainCode;
    if (controlRate)
        code.replace(QLatin1String("SMP_RATE"), QLatin1String("CTL_RATE"));
    static const QRegularExpression deref(QStringLiteral("\\*\\s*data->(in\\d+)"));
    static const QRegularExpression indexed(QStringLiteral("data->(in\\d+)\\[0\\]"));
    static const QRegularExpression member(QStringLiteral("data->(\\w+)"));
    static const QRegularExpression returns(QStringLiteral("\\breturn\\s*;"));
    for (const QRegularExpression* pattern : {&deref, &indexed}) {
        for (auto m = pattern->globalMatch(code); m.hasNext();) {
            const QString name = m.next().captured(1);
            if (!inputs.contains(name)) {
                *error = d->name + QStringLiteral(": no input ") + name;
                return false;
            }
        }
        code.replace(*pattern, QStringLiteral("(@\\1@)"));
    }
    for (auto it = inputs.cbegin(); it != inputs.cend(); ++it)
        code.replace(QLatin1Char('@') + it.key() + QLatin1Char('@'), it.value());
    code.replace(member, prefix + QStringLiteral("\\1"));
    const bool jumps = code.contains(returns);
    code.replace(returns, QStringLiteral("goto %1end;").arg(prefix));
    if (code.contains(QRegularExpression(QStringLiteral("\\bdata\\b")))) {
        *error = d->name + QStringLiteral(": its code uses data other than through members");
        return false;
    }
    QString body = QStringLiteral("\t{ /* %1 */\n%2\n").arg(d->name, code);
    if (jumps)
        body += QStringLiteral("\t%1end:;\n").arg(prefix);
    body += QStringLiteral("\t}\n");
    (controlRate ? out.control : out.audio) += body;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr,
                     "usage: make_runtime_bench BLOCKS_FOLDER TEMPLATE BLOCK_COUNT OUTPUT\n");
        return 2;
    }
    const QString templatePath = QString::fromLocal8Bit(argv[2]);
    ShippedPatch patch(QString::fromLocal8Bit(argv[1]));
    QString error;
    if (!patch.build(atoi(argv[3]), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }

    CodeCompiler compiler;
    const QString generated = compiler.createCode(patch.instances(), templatePath);
    if (generated.isEmpty())
        return 1;

    const InstanceList& order = compiler.executionOrder();
    QHash<const BlockInstance*, int> positions;
    for (int i = 0; i < order.size(); ++i)
        positions.insert(order.at(i), i);
    Inlined inlined;
    for (int i = 0; i < order.size(); ++i) {
        if (!inlineBlock(i, *order.at(i), positions, inlined, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }

    // The template's audio callback, calling the inlined handlers.
    const QString runtime =
        readText(templatePath).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const int start = runtime.indexOf(QLatin1String("static DWORD WriteStream("));
    const int end = runtime.indexOf(QLatin1String("\n}\n"), start);
    if (start < 0 || end < 0) {
        std::fprintf(stderr, "the template has no WriteStream\n");
        return 1;
    }
    QString callback = runtime.mid(start, end + 3 - start);
    callback.replace(QLatin1String("WriteStream"), QLatin1String("InlinedWriteStream"));
    callback.replace(QLatin1String("control_rate_handler"),
                     QLatin1String("inlined_control_rate_handler"));
    callback.replace(QLatin1String("audio_rate_handler"),
                     QLatin1String("inlined_audio_rate_handler"));

    QString text = generated;
    text += QStringLiteral("\n/* The same %1 blocks inlined. */\n").arg(order.size());
    text += inlined.state;
    text += QStringLiteral("static inline void inlined_audio_rate_handler(void){\n%1}\n")
                .arg(inlined.audio);
    text += QStringLiteral("static inline void inlined_control_rate_handler(void){\n%1}\n")
                .arg(inlined.control);
    text += callback;

    QSaveFile file(QString::fromLocal8Bit(argv[4]));
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0 || !file.commit()) {
        std::fprintf(stderr, "cannot write %s\n", argv[4]);
        return 1;
    }
    return 0;
}
