#include "HarnessTable.h"

#include "BlockDescription.h"

#include <QRegularExpression>
#include <QSet>
#include <QStringList>

namespace {

// The call lines of one handler, by block number.
void readCalls(const QString& generated, const QString& header, bool control,
               QHash<int, QPair<QString, bool>>* calls)
{
    const int start = generated.indexOf(header);
    if (start < 0)
        return;
    // Call lines never hold a closing brace, so the first one ends the handler.
    const int bodyStart = start + header.size();
    const int end = generated.indexOf(QLatin1String("}\n"), bodyStart);
    const QString body = generated.mid(bodyStart, end < 0 ? -1 : end - bodyStart);
    static const QRegularExpression call(QStringLiteral("^\\t(\\w*)\\(&block(\\d+)\\);$"),
                                         QRegularExpression::MultilineOption);
    auto it = call.globalMatch(body);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        calls->insert(m.captured(2).toInt(), qMakePair(m.captured(1), control));
    }
}

QString cString(const QString& text)
{
    QString s = text;
    s.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    s.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

} // namespace

int HarnessTable::valueType(const QString& dtype)
{
    static const QSet<QString> signedWords{"int8_t", "int16_t", "int32_t", "int64_t", "int",
                                           "short",  "long",    "signed",  "char"};
    static const QSet<QString> unsignedWords{"uint8_t",  "uint16_t", "uint32_t", "uint64_t",
                                             "unsigned", "bool",     "_Bool",    "size_t"};
    static const QSet<QString> floatWords{"float", "double"};
    const QStringList words = dtype.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return 0;
    int type = 1;
    for (const QString& w : words) {
        if (unsignedWords.contains(w))
            type = type == 3 ? 3 : 2;
        else if (floatWords.contains(w))
            type = 3;
        else if (!signedWords.contains(w))
            return 0;
    }
    return type;
}

QString HarnessTable::write(const InstanceList& order, const QString& generated,
                            const QHash<const BlockInstance*, QString>& labels)
{
    QHash<int, QPair<QString, bool>> calls;
    readCalls(generated, QStringLiteral("static inline void audio_rate_handler(){\n"), false,
              &calls);
    readCalls(generated, QStringLiteral("static inline void control_rate_handler(){\n"), true,
              &calls);

    QString slotText, steps, fields, blocks;
    int fieldCount = 0;
    int slotCount = 0;
    static const char* kinds[] = {"0", "HARNESS_SIGNED", "HARNESS_UNSIGNED", "HARNESS_FLOAT"};
    for (int n = 0; n < order.size(); ++n) {
        const BlockInstance* instance = order.at(n);
        const BlockDescription* d = instance ? instance->description : nullptr;
        if (!d)
            continue;
        const QString record = QStringLiteral("block%1").arg(n);
        const QString label = labels.value(instance, record);
        const int first = fieldCount;
        for (const Variable& v : d->variables) {
            const QString name = label + QLatin1Char('.');
            if (v.socketKind == Variable::SocketRate)
                continue;
            if (v.socketKind == Variable::SocketInput) {
                slotText += QStringLiteral("static int32_t harness_slot%1;\n").arg(slotCount);
                fields += QStringLiteral("    {%1, HARNESS_INPUT, (void*)&%2.%3, HARNESS_SIGNED, "
                                         "sizeof(int32_t), 1, &harness_slot%4},\n")
                              .arg(cString(name + v.name), record, v.name)
                              .arg(slotCount);
                ++slotCount;
                ++fieldCount;
                continue;
            }
            const int type = v.socketKind == Variable::SocketOutput ? 1 : valueType(v.dtype);
            if (type == 0)
                continue;
            const int brackets = v.name.count(QLatin1Char('['));
            if (brackets == 0) {
                fields += QStringLiteral("    {%1, HARNESS_VALUE, (void*)&%2.%3, %4, "
                                         "sizeof(%2.%3), 1, 0},\n")
                              .arg(cString(name + v.name), record, v.name, kinds[type]);
                ++fieldCount;
            } else if (brackets == 1) {
                const QString base = v.name.left(v.name.indexOf(QLatin1Char('[')));
                fields += QStringLiteral("    {%1, HARNESS_VALUE, (void*)&%2.%3[0], %4, "
                                         "sizeof(%2.%3[0]), sizeof(%2.%3) / sizeof(%2.%3[0]), "
                                         "0},\n")
                              .arg(cString(name + base), record, base, kinds[type]);
                fields += QStringLiteral("    {%1, HARNESS_VALUE, (void*)&%2.%3_length, "
                                         "HARNESS_UNSIGNED, sizeof(%2.%3_length), 1, 0},\n")
                              .arg(cString(name + base + QLatin1String("_length")), record, base);
                fieldCount += 2;
            }
        }
        const auto call = calls.value(n);
        steps += QStringLiteral("static void harness_step%1(void)\n{\n    %2;\n}\n")
                     .arg(n)
                     .arg(call.first.isEmpty() ? QStringLiteral("(void)0")
                                               : QStringLiteral("%1(&%2)").arg(call.first, record));
        blocks += QStringLiteral("    {%1, %2, harness_step%3, %4, %5},\n")
                      .arg(cString(label))
                      .arg(call.second ? 1 : 0)
                      .arg(n)
                      .arg(first)
                      .arg(fieldCount - first);
    }

    QString out = QStringLiteral("\n/* The patch's tables for the test driver. */\n");
    out += slotText + steps;
    out += QStringLiteral("static const struct harness_field* harness_field_list(void)\n{\n"
                          "    static const struct harness_field list[] = {\n");
    out += fields;
    out += QStringLiteral("        {0, 0, 0, 0, 0, 0, 0}};\n    return list;\n}\n");
    out += QStringLiteral("static const struct harness_block* harness_block_list(void)\n{\n"
                          "    static const struct harness_block list[] = {\n");
    out += blocks;
    out += QStringLiteral("        {0, 0, 0, 0, 0}};\n    return list;\n}\n");
    return out;
}
