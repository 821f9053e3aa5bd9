// Times the patch of the largest sample player (the guitar loop: a 60000-word table, about
// 0.7 MB of block file) from its file to sound, in the editor itself: the library scan that
// every start makes, opening the patch file, generating the code, and the emulator's build and
// start up to the first audio buffer, and the firmware build of the same patch. Goal: opening,
// generating and building under 2 s.
//
//   bench_samples [RUNS]
#include "BlockManager.h"
#include "CodeCompiler.h"
#include "Emulator.h"
#include "FirmwarePipeline.h"
#include "MainWindow.h"
#include "PatchDocument.h"
#include "PatchFile.h"
#include "PatchInfo.h"
#include "PatchRecord.h"
#include "TestPatch.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

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
    double median() const
    {
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    }
    void print(const char* what) const
    {
        std::vector<double> v = values;
        std::sort(v.begin(), v.end());
        std::printf("%-46s best %8.1f ms   median %8.1f ms   worst %8.1f ms   (%zu runs)\n", what,
                    v.front(), v[v.size() / 2], v.back(), v.size());
    }
};

double ms(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

// The guitar loop through a split into both channels of the audio output, saved as the editor
// saves a patch.
bool writePatch(const BlockManager& library, const QString& path)
{
    const BlockDescription* guitar =
        library.blockDescription(QStringLiteral("Acoustic Guitar Loop"));
    const BlockDescription* split = library.blockDescription(QStringLiteral("Split"));
    const BlockDescription* output = library.blockDescription(QStringLiteral("Audio Output"));
    if (!guitar || !split || !output)
        return false;
    TestPatch patch;
    BlockInstance* g = patch.add(guitar);
    BlockInstance* s = patch.add(split);
    BlockInstance* o = patch.add(output);
    g->x = 1800;
    s->x = 2000;
    o->x = 2200;
    patch.connect(g, 0, s, 0);
    patch.connect(s, 0, o, 0);
    patch.connect(s, 1, o, 1);
    PatchInfo info;
    info.name = QFileInfo(path).completeBaseName();
    const QByteArray record = util::makePatchRecord(patch.all(), {}, info, 2000, 2000);
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(util::patchFileBytes(record, {}, false)) > 0;
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir root;
    // A private program folder, settings and audio sink: nothing of the user's is touched.
    qputenv("HOME", root.filePath(QStringLiteral("home")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", root.filePath(QStringLiteral("config")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Editor messages would only add noise to the figures.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });

    const QString program = root.filePath(QStringLiteral("program"));
    for (const char* part : {"blocks", "compile"}) {
        if (!copyTree(QStringLiteral(KL_STAGED_DIR "/") + part, program + "/" + part)) {
            std::fprintf(stderr, "cannot copy the staged folder %s/%s\n", KL_STAGED_DIR, part);
            return 1;
        }
    }
    for (const char* empty : {"presets", "tutorials", "examples"})
        QDir().mkpath(program + "/" + empty);
    QFile::remove(program + QStringLiteral("/compile/emulator/emulate"));
    qputenv("KNOTLATTICE_PROGRAM_DIR", program.toLocal8Bit());
    const QString audio = root.filePath(QStringLiteral("audio.raw"));
    qputenv("KNOTLATTICE_AUDIO", "file:" + audio.toLocal8Bit());
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

    // The scan the editor makes at every start, the guitar's file among the others.
    Timing scan;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer t;
        t.start();
        BlockManager library;
        library.loadBlocks(program + QStringLiteral("/blocks"), BlockDescription::OriginLibrary);
        scan.add(ms(t));
    }

    MainWindow window;
    const QString guitarFile = program + QStringLiteral("/blocks/f_AcousticGuitarLoop.xml");
    const QString templatePath = program + QStringLiteral("/compile/templ_emul.txt");
    const QString chipTemplate = program + QStringLiteral("/compile/templ_chip.txt");
    Timing open, generate, play, firstAudio, total, firmware;
    qint64 image = 0;
    for (int run = 0; run < runs; ++run) {
        // A new name each time: a patch of a name already open would only be brought forward.
        const QString path = root.filePath(QStringLiteral("Guitar Loop %1.ktl").arg(run));
        if (!writePatch(*window.blockManager(), path)) {
            std::fprintf(stderr, "the library has no guitar loop, split or audio output\n");
            return 1;
        }
        QFile::remove(audio);

        QElapsedTimer t;
        t.start();
        window.openFromPath(path);
        open.add(ms(t));
        PatchDocument* doc = window.currentDocument();
        if (!doc || doc->blockInstances().size() != 3) {
            std::fprintf(stderr, "the patch did not open\n");
            return 1;
        }

        // The generator alone, as the play action runs it.
        QElapsedTimer g;
        g.start();
        const QString code = CodeCompiler().createCode(doc->blockInstances(), templatePath);
        generate.add(ms(g));
        if (code.isEmpty())
            return 1;

        QElapsedTimer p;
        p.start();
        window.emulateToggle();
        play.add(ms(p));
        if (!window.isEmulating()) {
            std::fprintf(stderr, "the emulator did not start\n");
            return 1;
        }
        while (QFileInfo(audio).size() <= 0) {
            if (p.elapsed() > 30000) {
                std::fprintf(stderr, "no audio within 30 s\n");
                return 1;
            }
            QThread::usleep(200);
        }
        firstAudio.add(ms(p));
        total.add(open.values.back() + play.values.back());
        window.emulateToggle();

        // The firmware build of the same document: generate main.c, compile.sh with the cross
        // compiler, the trailer; against the same 30 s wait.
        QElapsedTimer f;
        f.start();
        FirmwarePipeline pipeline;
        const QString chip = CodeCompiler().createCode(doc->blockInstances(), chipTemplate);
        if (!pipeline.writeSource(chip) || !pipeline.build() ||
            !pipeline.appendRecord(window.getSaveData(doc))) {
            std::fprintf(stderr, "the firmware did not build\n");
            return 1;
        }
        firmware.add(ms(f));
        image = QFileInfo(FirmwarePipeline::imagePath()).size();
    }

    std::printf("guitar loop block file %lld bytes; emul.c %lld bytes\n",
                static_cast<long long>(QFileInfo(guitarFile).size()),
                static_cast<long long>(
                    QFileInfo(program + QStringLiteral("/compile/emulator/emul.c")).size()));
    scan.print("library scan (every block file)");
    open.print("open the patch file");
    generate.print("generate the code (createCode)");
    play.print("play: generate, compile.sh, start");
    firstAudio.print("play to the first audio buffer");
    total.print("open + generate + build (emulator)");
    firmware.print("firmware: generate, compile.sh, trailer");
    std::printf("firmware image with its trailer %lld bytes\n", static_cast<long long>(image));
    const bool met = total.median() < 2000.0;
    std::printf("goal: open + generate + build under 2000 ms: %s\n", met ? "met" : "NOT met");
    return met ? 0 : 2;
}
