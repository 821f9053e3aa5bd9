// What the filters, shapers and delays cost: for each block, its test program (the shipped
// block file through the real library and code generator) built with the emulator's flags,
// noise through the block for many seconds of sound; the time per call less that of the noise
// alone, as nanoseconds and as a share of the time one sample lasts at 20 kHz. Beside it the
// RAM the block's record takes on the Cortex-M3, read from the symbol table of the same source
// built for it.
//   bench_effect_blocks [SECONDS_OF_AUDIO] (default 2000)
#include "BlockHarness.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const QStringList family{
    "filter_lp", "filter_hp",  "filter_bp",    "f_filter",        "i3o1_clip",    "i2o1_overdrive",
    "i3o1_fold", "f_fuzz",     "f_limiter",    "reducer_func",    "f_sdelay10",   "f_delay10",
    "f_delay8f", "f_delay8fl", "f_delay8lofi", "f_delay8lofi_aa", "f_rollgrains", "f_valdelay_ctl"};

bool run(const QString& program, const QStringList& arguments, const QByteArray& input,
         QByteArray* output)
{
    QProcess p;
    p.start(program, arguments);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program),
                     p.readAllStandardError().constData());
        return false;
    }
    if (output)
        *output = p.readAllStandardOutput();
    return true;
}

// Seconds of one run of `calls` audio calls of the program, the best of three.
double timeCalls(const QString& exe, long calls)
{
    double best = 1e30;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        if (!run(exe, {}, QByteArray("audio ") + QByteArray::number(qint64(calls)) + "\n", nullptr))
            return -1.0;
        best = std::min(best, t.nsecsElapsed() * 1e-9);
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const long seconds = argc > 1 ? std::atol(argv[1]) : 2000;
    const long calls = seconds * 20000;
    BlockHarness harness;
    QTemporaryDir work;
    const QString include = QStringLiteral("-I") + QStringLiteral(KL_BENCH_INCLUDE);

    auto build = [&](const QString& patch, const QString& name, QString* exe) {
        QString error;
        const QByteArray source = harness.source(patch, &error);
        QFile f(work.filePath(name + ".c"));
        if (source.isEmpty() || !f.open(QIODevice::WriteOnly) || f.write(source) < 0) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(name), qPrintable(error));
            return false;
        }
        f.close();
        *exe = work.filePath(name);
        return run("cc", {"-O2", "-fwrapv", "-fno-builtin", include, "-o", *exe, f.fileName()}, {},
                   nullptr) &&
               run(KL_BENCH_ARM_GCC,
                   {"-mcpu=cortex-m3", "-mthumb", "-O2", "-fwrapv", "-fno-builtin", "-fsigned-char",
                    include, "-c", "-o", *exe + ".o", f.fileName()},
                   {}, nullptr);
    };

    QString baseline;
    if (!build("n = o1_noise", "noise", &baseline))
        return 1;
    const double noise = timeCalls(baseline, calls);
    std::printf("%ld s of sound (%ld calls) per block, noise alone %.1f ns a call\n", seconds,
                calls, noise * 1e9 / calls);
    std::printf("%-18s %10s %12s %14s\n", "block", "ns/call", "of a sample", "RAM on M3 (B)");
    for (const QString& name : family) {
        const bool control = name.endsWith(QLatin1String("_ctl"));
        QString exe;
        // Control-rate blocks are timed at audio rate too: the cost of one call.
        if (!build(QStringLiteral("n = o1_noise\nb = %1 rate=0\nn.out0 -> b.in0").arg(name), name,
                   &exe))
            return 1;
        const double t = timeCalls(exe, calls);
        QByteArray symbols;
        if (t < 0 || !run(KL_BENCH_ARM_NM, {"-S", exe + ".o"}, {}, &symbols))
            return 1;
        // "address size type name" for the record of the block, block1.
        const QRegularExpression record(QStringLiteral("^[0-9a-f]+ ([0-9a-f]+) [bBdD] block1$"),
                                        QRegularExpression::MultilineOption);
        const QRegularExpressionMatch m = record.match(QString::fromLatin1(symbols));
        const double ns = (t - noise) * 1e9 / calls;
        std::printf("%-18s %10.1f %11.2f%% %14lld%s\n", qPrintable(name), ns,
                    ns / (1e9 / 20000) * 100.0,
                    m.hasMatch() ? m.captured(1).toLongLong(nullptr, 16) : -1LL,
                    control ? "  (runs at control rate: 1/200 of this)" : "");
    }
    return 0;
}
