#include "ShippedPatch.h"

#include <QHash>

ShippedPatch::ShippedPatch(const QString& blocksFolder)
{
    library.loadBlocks(blocksFolder, BlockDescription::OriginLibrary);
}

BlockInstance* ShippedPatch::place(const QString& mainName,
                                   const QList<QPair<int, QString>>& inputs)
{
    const BlockDescription* type = nullptr;
    for (const BlockDescription& d : *library.getBlockDescriptions()) {
        if (d.mainName == mainName)
            type = &d;
    }
    if (!type) {
        missing = mainName;
        return nullptr;
    }
    QStringList values;
    for (const Variable& v : type->variables)
        values << v.value;
    for (const auto& input : inputs) {
        if (const Variable* socket = type->inputs.value(input.first))
            values[socket->id] = input.second;
    }
    return patch.add(type, values);
}

bool ShippedPatch::build(int blocks, QString* error)
{
    const int voiceBlocks = 11;
    const int voices = (blocks - 1) / voiceBlocks;
    BlockInstance* previousMix = nullptr;
    for (int v = 0; v < voices; ++v) {
        const QString pitch = QString::number(55 * (v % 6 + 1));
        BlockInstance* gateA = place("gen_pulse", {{0, QString::number(1.5 + 0.37 * v)}});
        BlockInstance* adsr = place("f_adsr_prime");
        BlockInstance* fm = place("f_2opfm", {{0, pitch}, {1, "1.5"}});
        BlockInstance* echo = place("f_delay8f", {{1, QString::number(60 + 10 * v)}, {2, "0.5"}});
        BlockInstance* gateB = place("gen_pulse", {{0, QString::number(2.5 + 0.23 * v)}});
        BlockInstance* ad = place("f_ad_env");
        BlockInstance* noise = place("o1_noise");
        BlockInstance* lag = place("f_lag");
        BlockInstance* saw = place("gen_saw", {{0, pitch}});
        BlockInstance* lowPass =
            place("filter_lp", {{1, QString::number(800 + 150 * v)}, {2, "0.7"}});
        BlockInstance* mix = place("i8o1_mix4", {{3, "0.25"}, {5, "0.5"}});
        if (!missing.isEmpty())
            break;
        patch.connect(gateA, 0, adsr, 0);
        patch.connect(adsr, 0, fm, 2);
        patch.connect(fm, 0, echo, 0);
        patch.connect(gateB, 0, ad, 0);
        patch.connect(noise, 0, lag, 0);
        patch.connect(saw, 0, lowPass, 0);
        patch.connect(echo, 0, mix, 0);
        patch.connect(ad, 0, mix, 1);
        patch.connect(lag, 0, mix, 2);
        patch.connect(lowPass, 0, mix, 4);
        if (previousMix)
            patch.connect(previousMix, 0, mix, 6);
        previousMix = mix;
    }
    for (int extra = voiceBlocks * voices + 1; extra < blocks && missing.isEmpty(); ++extra)
        place("gen_sine", {{0, QString::number(100 + extra)}});
    BlockInstance* output = place("i4o0_out");
    if (!missing.isEmpty() || !previousMix) {
        if (error)
            *error = missing.isEmpty()
                         ? QStringLiteral("a patch needs at least %1 blocks").arg(voiceBlocks + 1)
                         : QStringLiteral("no shipped block %1").arg(missing);
        return false;
    }
    patch.connect(previousMix, 0, output, 0);
    patch.connect(previousMix, 0, output, 1);
    return true;
}
