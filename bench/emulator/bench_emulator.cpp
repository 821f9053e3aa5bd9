// Times what a user waits for after pressing play: Emulator::compile() writes emul.c, runs
// compile.sh and starts the program; then the program's first audio buffer reaches the sink.
// The patch is a sine through 48 gain blocks into the output: 50 blocks.
#include "BlockManager.h"
#include "CodeCompiler.h"
#include "Emulator.h"
#include "InstanceList.h"
#include "TestPatch.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <list>
#include <vector>

namespace {

const char SineXml[] =
    "<block name=\"Sine\"><data name=\"b_sine\"><v socket=\"in\" value=\"440\"/>"
    "<v socket=\"out\"/><v name=\"phase\" dtype=\"uint32_t\" value=\"\"/></data>"
    "<function name=\"b_sine_main\"><![CDATA[data->out0 = sin((int32_t)(data->phase >> 17)) >> 3;"
    "data->phase += (uint32_t)(((int64_t)*data->in0 << 22) / SMP_RATE);]]></function></block>";
const char GainXml[] =
    "<block name=\"Gain\"><data name=\"b_gain\"><v socket=\"in\"/><v socket=\"in\" value=\"1\"/>"
    "<v socket=\"out\"/></data><function name=\"b_gain_main\"><![CDATA["
    "data->out0 = (int32_t)(((int64_t)*data->in0 * *data->in1) >> 10);]]></function></block>";
const char OutXml[] =
    "<block name=\"Out\"><data name=\"b_out\"><v socket=\"in\"/></data>"
    "<function name=\"b_out_main\"><![CDATA[out[0] = *data->in0; out[1] = *data->in0;]]>"
    "</function></block>";


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

    TestPatch patch;
    BlockInstance* previous = patch.add(patch.fromXml(SineXml));
    const BlockDescription* gain = patch.fromXml(GainXml);
    for (int i = 0; i < 48; ++i) {
        BlockInstance* next = patch.add(gain);
        patch.connect(previous, 0, next, 0);
        previous = next;
    }
    patch.connect(previous, 0, patch.add(patch.fromXml(OutXml)), 0);
    const InstanceList instances = patch.all();

    const QString templatePath = root.filePath(QStringLiteral("compile/templ_emul.txt"));
    Timing generate, started, firstAudio;
    Emulator emulator(QStringLiteral("Emulator"), nullptr);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    for (int run = 0; run < runs; ++run) {
        QFile::remove(audio);
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
        emulator.stop();
    }
    std::printf("50-block patch, %lld characters of emul.c\n",
                static_cast<long long>(
                    QFileInfo(root.filePath(QStringLiteral("compile/emulator/emul.c"))).size()));
    generate.print("createCode");
    started.print("compile(): source, compile.sh, start");
    firstAudio.print("compile() to the first audio buffer");
    return 0;
}
