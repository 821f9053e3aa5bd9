// Writes the C source of a patch for a template, or a firmware image with the patch's trailer:
// the build of the preset programs and images, and a way to look at what any patch compiles to.
//
//   kl_patchsource --blocks FOLDER --template FILE [--emulator] [--output FILE] PATCH
//       the source that the code generator makes of PATCH, a saved patch file, with FILE as
//       template; --emulator puts the emulator's include lines in front, as the editor writes
//       emul.c. Without --output it goes to standard output.
//   kl_patchsource --image FIRMWARE --output FILE PATCH
//       FIRMWARE with the record of PATCH appended as its trailer ("[>" record "<]").
//
// Built as kl_blockpatch for the block tests, PATCH may also be a block test patch written as
// text; its source is then the block test template's (and --blocks defaults to the source
// tree's library).
#include "BlockManager.h"
#include "CodeCompiler.h"
#include "FirmwareTrailer.h"
#include "PatchFile.h"
#include "PatchRecord.h"
#include "PatchSource.h"

#ifdef KL_PATCHSOURCE_HARNESS
#include "BlockHarness.h"
#endif

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

#include <cstdio>

namespace {

const char IncludeLines[] = "#include \"bass.h\"\n#include <stdio.h>\n#include <stdint.h>\n";

int fail(const QString& message)
{
    std::fprintf(stderr, "kl_patchsource: %s\n", qPrintable(message));
    return 1;
}

int usage()
{
    std::fprintf(stderr, "usage: kl_patchsource --blocks FOLDER --template FILE [--emulator] "
                         "[--output FILE] PATCH\n"
                         "       kl_patchsource --image FIRMWARE --output FILE PATCH\n");
    return 2;
}

bool readFile(const QString& path, QByteArray* bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    *bytes = file.readAll();
    return true;
}

// A half-written output would look complete to the next build, so it is written whole or not
// at all.
int writeOutput(const QString& path, const QByteArray& bytes)
{
    if (path.isEmpty()) {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        return std::fflush(stdout) == 0 ? 0 : fail(QStringLiteral("cannot write the output"));
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return fail(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString blocks;
    QString templatePath;
    QString image;
    QString output;
    bool emulator = false;
    QStringList rest;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        QString* option = nullptr;
        if (arg == QLatin1String("--blocks"))
            option = &blocks;
        else if (arg == QLatin1String("--template"))
            option = &templatePath;
        else if (arg == QLatin1String("--image"))
            option = &image;
        else if (arg == QLatin1String("--output"))
            option = &output;
        else if (arg == QLatin1String("--emulator"))
            emulator = true;
        else if (arg.startsWith(QLatin1String("--")))
            return usage();
        else
            rest << arg;
        if (option) {
            if (args.isEmpty())
                return usage();
            *option = args.takeFirst();
        }
    }
    if (rest.size() != 1)
        return usage();
    const QString patchPath = rest.first();
    QByteArray file;
    if (!readFile(patchPath, &file))
        return fail(QStringLiteral("cannot read %1").arg(patchPath));

    QString error;
    if (!image.isEmpty()) {
        if (output.isEmpty() || !templatePath.isEmpty() || emulator)
            return usage();
        // The trailer needs the record only, not the blocks.
        const QByteArray record = util::unpackPatch(file).value(0);
        if (!util::isPatchRecord(record))
            return fail(QStringLiteral("%1 holds no readable patch record").arg(patchPath));
        QByteArray bytes;
        if (!readFile(image, &bytes) || bytes.isEmpty())
            return fail(QStringLiteral("there is no firmware image at %1").arg(image));
        return writeOutput(output, bytes + util::firmwareTrailer(record));
    }

#ifdef KL_PATCHSOURCE_HARNESS
    if (!util::isPatchRecord(util::unpackPatch(file).value(0))) {
        if (!templatePath.isEmpty() || emulator)
            return fail(QStringLiteral("a block test patch is always made with the block test "
                                       "template"));
        BlockHarness harness(blocks);
        const QByteArray source = harness.source(QString::fromUtf8(file), &error);
        if (source.isEmpty())
            return fail(error);
        return writeOutput(output, source);
    }
    if (blocks.isEmpty())
        blocks = BlockHarness::sourceBlocksFolder();
#endif

    if (blocks.isEmpty() || templatePath.isEmpty())
        return usage();
    BlockManager library;
    PatchSource patch;
    if (!QFileInfo(blocks).isDir())
        return fail(QStringLiteral("there is no block folder %1").arg(blocks));
    library.loadBlocks(blocks, BlockDescription::OriginLibrary);
    if (!patch.read(file, library, &error))
        return fail(QStringLiteral("%1: %2").arg(patchPath, error));
    CodeCompiler compiler;
    const QString code = compiler.createCode(patch.instances(), templatePath);
    // The generator has said why (a feedback loop, a template it cannot read).
    if (code.trimmed().isEmpty())
        return fail(QStringLiteral("no code was generated for %1").arg(patchPath));
    // As the editor writes them: emul.c in the local encoding after the include lines, main.c
    // as UTF-8.
    return writeOutput(output,
                       emulator ? QByteArray(IncludeLines) + code.toLocal8Bit() : code.toUtf8());
}
