// Prints the C source of a block test patch: what the harness compiles for it. For looking at
// what a behaviour table runs.
//   kl_blockpatch [--blocks FOLDER] PATCHFILE
#include "BlockHarness.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString blocks;
    if (args.size() >= 2 && args.first() == QLatin1String("--blocks")) {
        blocks = args.at(1);
        args = args.mid(2);
    }
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: kl_blockpatch [--blocks FOLDER] PATCHFILE\n");
        return 2;
    }
    QFile file(args.first());
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(args.first()));
        return 1;
    }
    BlockHarness harness(blocks);
    QString error;
    const QByteArray source = harness.source(QString::fromUtf8(file.readAll()), &error);
    if (source.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    std::fwrite(source.constData(), 1, size_t(source.size()), stdout);
    return 0;
}
