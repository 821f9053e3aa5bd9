// Times building documents of 300 and of 1000 connected blocks, the three ways documents are
// built: as the canvas does (handlers and undo commands, cable ids asked of the scene), as paste
// does (handlers and undo commands, cable ids counted by the caller) and as opening a patch does
// (the mutators), and the closing of each, after the event loop has run as it does before a
// user closes a tab. The cost per block must stay flat, so the 1000/300 ratio should be near
// 3.3. A run whose 1000-block build comes out near 9 times the 300-block one has met a heap that
// the C library gave back to the system after the previous document, and pays for its pages
// afresh; GLIBC_TUNABLES=glibc.malloc.trim_threshold=1000000000 leaves the heap alone and shows
// the ratio of the code itself.
#include "BenchHost.h"
#include "PatchDocument.h"
#include "PatchScene.h"

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

struct Times
{
    double build = 0;
    double close = 0;
};

enum class Path
{
    Canvas,
    Paste,
    Open
};

// Each block is fed by the one before it (output 0) and by the one two before it (output 1), so
// every socket holds one cable, as the editor keeps it.
Times buildOnce(BenchHost& host, int blocks, Path path)
{
    QElapsedTimer timer;
    timer.start();
    auto doc = std::make_unique<PatchDocument>(&host);
    int cable = 1;
    for (int i = 1; i <= blocks; ++i) {
        const int x = 60 * (i % 40);
        const int y = 60 * (i / 40);
        if (path == Path::Open)
            doc->addBlock(QStringLiteral("Mixer"), x, y, nullptr);
        else
            doc->addBlockHandler(QStringLiteral("Mixer"), x, y);
        for (int back = 1; back <= 2 && i - back >= 1; ++back) {
            if (path == Path::Canvas)
                doc->patchScene()->requestAddConnection(i - back, back - 1, i, back - 1);
            else if (path == Path::Paste)
                doc->addConnectionHandler(cable++, i - back, back - 1, i, back - 1);
            else
                doc->addConnection(cable++, i - back, back - 1, i, back - 1);
        }
    }
    Times times;
    times.build = timer.nsecsElapsed() / 1e6;
    // What happens between building a document and closing it: the event loop runs.
    QCoreApplication::processEvents();
    timer.restart();
    doc.reset();
    times.close = timer.nsecsElapsed() / 1e6;
    return times;
}

double medianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Medians of `runs` runs of 300 and of 1000 blocks, taken in turn so that both sizes meet the
// machine in the same state.
void medians(BenchHost& host, Path path, int runs, Times& small, Times& large)
{
    std::vector<double> build[2];
    std::vector<double> close[2];
    for (int run = 0; run < runs; ++run) {
        for (int size = 0; size < 2; ++size) {
            const Times t = buildOnce(host, size == 0 ? 300 : 1000, path);
            build[size].push_back(t.build);
            close[size].push_back(t.close);
        }
    }
    small = {medianOf(build[0]), medianOf(close[0])};
    large = {medianOf(build[1]), medianOf(close[1])};
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    BenchHost host;
    buildOnce(host, 100, Path::Canvas);

    std::printf("document of N connected blocks (2 cables each), median of %d runs, ms\n", runs);
    std::printf("%-18s %10s %10s %10s %10s %8s %8s\n", "path", "build 300", "build 1000",
                "close 300", "close 1000", "ratio b", "ratio c");
    const struct
    {
        Path path;
        const char* name;
    } paths[] = {{Path::Canvas, "canvas"}, {Path::Paste, "paste"}, {Path::Open, "open"}};
    for (const auto& entry : paths) {
        Times small;
        Times large;
        medians(host, entry.path, runs, small, large);
        std::printf("%-18s %10.2f %10.2f %10.2f %10.2f %8.2f %8.2f\n", entry.name, small.build,
                    large.build, small.close, large.close, large.build / small.build,
                    large.close / small.close);
    }
    return 0;
}
