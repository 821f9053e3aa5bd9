// Times what a user waits for after pressing Compile: MainWindow::compileCode() generates
// main.c, runs the real compile.sh with the ARM cross compiler, appends the patch record and
// runs copy.sh onto a device volume (a temporary folder). The patch is the emulator
// benchmark's: 50 shipped blocks (see ShippedPatch), opened from its file as a user would. Also
// the firmware pipeline step by step, and the image size of every shipped patch (examples,
// tutorials, presets).
//   bench_firmware [RUNS]
#include "CodeCompiler.h"
#include "FirmwarePipeline.h"
#include "MainWindow.h"
#include "PatchDocument.h"
#include "PatchFile.h"
#include "PatchInfo.h"
#include "PatchRecord.h"
#include "ProgramPaths.h"
#include "ShippedPatch.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

bool copyTree(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    QDirIterator it(from, QDir::AllEntries | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString entry = it.next();
        const QString target = to + "/" + QDir(from).relativeFilePath(entry);
        if (it.fileInfo().isDir()) {
            QDir().mkpath(target);
        } else if (!QFile::copy(entry, target) ||
                   !QFile::setPermissions(target, QFile::permissions(entry))) {
            return false;
        }
    }
    return true;
}

struct Timing
{
    std::vector<double> values;
    void add(double ms) { values.push_back(ms); }
    void print(const char* what)
    {
        std::sort(values.begin(), values.end());
        std::printf("%-44s best %8.1f ms   median %8.1f ms   worst %8.1f ms   (%zu runs)\n", what,
                    values.front(), values[values.size() / 2], values.back(), values.size());
    }
};

int failures = 0;

// Warnings are the pipeline's reports; anything but the success notice is a failure.
void handler(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtDebugMsg || text == QLatin1String("Firmware updated!") ||
        text.startsWith(QLatin1String("This plugin does not support")))
        return;
    ++failures;
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

qint64 imageSize()
{
    return QFileInfo(FirmwarePipeline::imagePath()).size();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config").toLocal8Bit());
    QApplication app(argc, argv);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path() + "/.config");
    qInstallMessageHandler(handler);

    QTemporaryDir root, volume;
    for (const char* folder : {"blocks", "compile", "examples", "tutorials", "presets"}) {
        if (!copyTree(QStringLiteral(KL_STAGED_DIR "/") + folder, root.filePath(folder))) {
            std::fprintf(stderr, "cannot copy the staged %s folder from %s\n", folder,
                         KL_STAGED_DIR);
            return 1;
        }
    }
    qputenv("KNOTLATTICE_PROGRAM_DIR", root.path().toLocal8Bit());
    qputenv("KNOTLATTICE_DEVICE_VOLUME", volume.path().toLocal8Bit());
    QFile device(volume.filePath("firmware.bin"));
    if (!device.open(QIODevice::WriteOnly) || device.write("old image") < 0)
        return 1;
    device.close();

    ShippedPatch shipped(root.filePath(QStringLiteral("blocks")));
    QString error;
    if (!shipped.build(50, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    PatchInfo info;
    info.name = QStringLiteral("bench 50");
    const QString patchPath = root.filePath(QStringLiteral("bench 50.ktl"));
    QFile patchFile(patchPath);
    if (!patchFile.open(QIODevice::WriteOnly) ||
        patchFile.write(util::patchFileBytes(
            util::makePatchRecord(shipped.instances(), {}, info, 2000, 2000), {}, false)) <= 0)
        return 1;
    patchFile.close();

    MainWindow window;
    window.openFromPath(patchPath);
    PatchDocument* doc = window.currentDocument();
    if (!doc || doc->blockInstances().size() != 50) {
        std::fprintf(stderr, "the patch has %d blocks, not 50\n",
                     doc ? int(doc->blockInstances().size()) : 0);
        return 1;
    }

    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    Timing whole;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        window.compileCode();
        whole.add(timer.nsecsElapsed() / 1e6);
    }
    const QByteArray record = window.getSaveData(doc);
    const qint64 uploaded = QFileInfo(volume.filePath("firmware.bin")).size();

    Timing generate, build, append, upload;
    FirmwarePipeline pipeline;
    const QString templatePath = util::compileDir() + QStringLiteral("/templ_chip.txt");
    qint64 image = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        CodeCompiler compiler;
        const QString code = compiler.createCode(doc->blockInstances(), templatePath);
        const bool written = pipeline.writeSource(code);
        generate.add(timer.nsecsElapsed() / 1e6);
        timer.restart();
        const bool built = written && pipeline.build();
        build.add(timer.nsecsElapsed() / 1e6);
        image = imageSize();
        timer.restart();
        const bool appended = built && pipeline.appendRecord(record);
        append.add(timer.nsecsElapsed() / 1e6);
        timer.restart();
        if (!appended || !pipeline.upload()) {
            std::fprintf(stderr, "the pipeline failed\n");
            return 1;
        }
        upload.add(timer.nsecsElapsed() / 1e6);
    }
    if (failures > 0)
        return 1;

    std::printf("50-block patch: image %lld bytes, with its trailer %lld bytes (record %d bytes)\n",
                static_cast<long long>(image), static_cast<long long>(uploaded),
                int(record.size()));
    whole.print("compileCode(): generate, build, trailer, copy");
    generate.print("  createCode and main.c");
    build.print("  compile.sh");
    append.print("  trailer");
    upload.print("  copy.sh");

    // The shipped patches, opened as the Examples and Tutorials menus open them; the presets
    // from their sources.
    QStringList shippedPatches;
    for (const QString& folder :
         {root.filePath(QStringLiteral("examples")), root.filePath(QStringLiteral("tutorials")),
          QStringLiteral(KL_SOURCE_DIR "/data/presets/patches")}) {
        QDirIterator it(folder, {QStringLiteral("*.ktl")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            shippedPatches << it.next();
    }
    std::sort(shippedPatches.begin(), shippedPatches.end());
    QString largest;
    qint64 largestSize = 0;
    for (const QString& path : shippedPatches) {
        window.openFromPath(path);
        PatchDocument* opened = window.currentDocument();
        CodeCompiler compiler;
        if (!opened ||
            !pipeline.writeSource(compiler.createCode(opened->blockInstances(), templatePath)) ||
            !pipeline.build()) {
            std::fprintf(stderr, "the shipped patch %s does not build\n", qPrintable(path));
            return 1;
        }
        const qint64 size = imageSize() + window.getSaveData(opened).size() + 4;
        const QString name = path.startsWith(root.path() + QLatin1Char('/'))
                                 ? QDir(root.path()).relativeFilePath(path)
                                 : QStringLiteral("presets/") + QFileInfo(path).fileName();
        std::printf("%-52s %3d blocks: image %6lld bytes, with its trailer %6lld bytes\n",
                    qPrintable(name), int(opened->blockInstances().size()),
                    static_cast<long long>(imageSize()), static_cast<long long>(size));
        if (size > largestSize) {
            largestSize = size;
            largest = name;
        }
        window.closeCurrentDocument();
    }
    std::printf("largest: %s, %lld bytes with its trailer\n", qPrintable(largest),
                static_cast<long long>(largestSize));
    return failures > 0 ? 1 : 0;
}
