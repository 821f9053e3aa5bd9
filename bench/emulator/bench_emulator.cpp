// Times what a user waits for after pressing Play: the code generator, then Emulator::compile()
// writes emul.c, runs compile.sh and starts the program; then the program's first audio buffer
// reaches the sink. The patch is 50 shipped blocks (see ShippedPatch).
#include "CodeCompiler.h"
#include "Emulator.h"
#include "InstanceList.h"
#include "ShippedPatch.h"

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
    void print(const char* what)
    {
        std::sort(values.begin(), values.end());
        std::printf("%-44s best %8.1f ms   median %8.1f ms   worst %8.1f ms   (%zu runs)\n", what,
                    values.front(), values[values.size() / 2], values.back(), values.size());
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Build messages would only add noise to the figures.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });

    QTemporaryDir root;
    if (!copyTree(QStringLiteral(KL_STAGED_COMPILE_DIR),
                  root.filePath(QStringLiteral("compile")))) {
        std::fprintf(stderr, "cannot copy the staged compile folder %s\n", KL_STAGED_COMPILE_DIR);
        return 1;
    }
    QFile::remove(root.filePath(QStringLiteral("compile/emulator/emulate")));
    qputenv("KNOTLATTICE_PROGRAM_DIR", root.path().toLocal8Bit());
    const QString audio = root.filePath(QStringLiteral("audio.raw"));
    qputenv("KNOTLATTICE_AUDIO", "file:" + audio.toLocal8Bit());

    ShippedPatch patch(QStringLiteral(KL_STAGED_BLOCKS_DIR));
    QString error;
    if (!patch.build(50, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    const InstanceList instances = patch.instances();

    const QString templatePath = root.filePath(QStringLiteral("compile/templ_emul.txt"));
    Timing generate, started, firstAudio, play;
    Emulator emulator(QStringLiteral("Emulator"), nullptr);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    for (int run = 0; run < runs; ++run) {
        QFile::remove(audio);
        QElapsedTimer total;
        total.start();
        QElapsedTimer timer;
        timer.start();
        CodeCompiler compiler;
        const QString code = compiler.createCode(instances, templatePath);
        generate.add(timer.nsecsElapsed() / 1e6);

        timer.restart();
        if (!emulator.compile(code)) {
            std::fprintf(stderr, "the build failed\n");
            return 1;
        }
        started.add(timer.nsecsElapsed() / 1e6);
        while (QFileInfo(audio).size() <= 0) {
            if (timer.elapsed() > 10000) {
                std::fprintf(stderr, "no audio within 10 s\n");
                return 1;
            }
            QThread::usleep(200);
        }
        firstAudio.add(timer.nsecsElapsed() / 1e6);
        play.add(total.nsecsElapsed() / 1e6);
        emulator.stop();
    }
    std::printf("50 shipped blocks, %lld characters of emul.c\n",
                static_cast<long long>(
                    QFileInfo(root.filePath(QStringLiteral("compile/emulator/emul.c"))).size()));
    generate.print("createCode");
    started.print("compile(): source, compile.sh, start");
    firstAudio.print("compile() to the first audio buffer");
    play.print("Play to the first audio bytes (goal 300 ms)");
    return 0;
}
