// Times opening patch files in the main window, offscreen, with the shipped block library: from
// the file on disk to the document with its canvas (openFromPath), and the steps of it (reading
// the file, binding and adding the blocks, adding the cables and comments); then the settle: the
// open and the first paint of the canvas after it, which is when the scene builds its item
// index. Each patch is a chain of shipped blocks with as many cables as blocks, with and without
// an "Audio Output"; then patches whose cables run far across the canvas (random targets, a
// binary tree), 1000 comments, and hostile files that must be refused or trimmed quickly (those
// of the hostile-files test, built here with the shipped blocks). Prints
// the median of the runs, the processor time of the whole open (what a busy machine does not
// inflate), the peak memory of one open and of one settle, and the 60,000 / 6,000 ratios. A
// settle that passes 3 GB or 120 s is stopped and reported as such.
#include "BinaryUtil.h"
#include "BlockDescription.h"
#include "BlockInstance.h"
#include "BlockManager.h"
#include "CanvasBlock.h"
#include "Comment.h"
#include "MainWindow.h"
#include "PatchDocument.h"
#include "PatchFile.h"
#include "PatchInfo.h"
#include "PatchOpener.h"
#include "PatchRecord.h"
#include "PatchScene.h"
#include "RecordBuilder.h"
#include "StartupResources.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QHash>
#include <QMouseEvent>
#include <QPainterPath>
#include <QProcess>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <functional>
#include <random>
#include <vector>

namespace {

struct Figures
{
    double open = 0;
    double cpu = 0;
    double read = 0;
    double blocks = 0;
    double cables = 0;
    long peakKb = 0;
    double settle = 0;
    double settleCpu = 0;
    long settlePeakKb = 0;
    double hover = 0;
    double band = 0;
    int selected = 0;
    double drag = 0;
    double repaint = 0;
    int openedBlocks = 0;
    int openedCables = 0;
    int openedComments = 0;
};

// Peak resident size since the last reset, and the resident size now, in KiB (Linux).
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

long statusKb(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toLong();
    }
    return 0;
}

// Processor time of this process so far, in ms.
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

long peakKb()
{
    return statusKb("VmHWM:");
}

long residentKb()
{
    return statusKb("VmRSS:");
}

// The resident size of another process, in KiB; 0 once it is gone.
long residentKbOf(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

// Notes each paint of a patch canvas: the viewport of a document's view.
class PaintWatch : public QObject
{
public:
    bool painted = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (widget && qobject_cast<PatchDocument*>(widget->parentWidget()))
                painted = true;
        }
        return false;
    }
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A chain of `count` shipped blocks with `count` cables: each block feeds the one before it.
// With an "Audio Output", block 1 is the output and block 2 a "Split" feeding both its inputs;
// without, the first block closes a ring from the last.
QByteArray chainPatch(const BlockManager& library, int count, bool withOutput)
{
    static const char* const kinds[] = {"Add",       "Multiply",      "Sine Oscillator",
                                        "Lag",       "Subtract",      "Saw Oscillator",
                                        "Crossfade", "Absolute Value"};
    std::deque<BlockInstance> instances;
    std::deque<BlockConnection> cables;
    auto add = [&](const char* kind) -> BlockInstance& {
        instances.emplace_back();
        BlockInstance& b = instances.back();
        b.id = int(instances.size());
        b.description = library.blockDescription(QString::fromLatin1(kind));
        if (!b.description)
            qFatal("no shipped block %s", kind);
        b.x = 40 * (b.id % 100);
        b.y = 40 * (b.id / 100);
        for (const Variable& v : b.description->variables)
            b.values << PatchDocument::initialValue(v);
        return b;
    };
    auto connect = [&](BlockInstance& from, int out, BlockInstance& to, int in) {
        cables.emplace_back();
        BlockConnection& c = cables.back();
        c.id = int(cables.size());
        c.outBlock = &from;
        c.inBlock = &to;
        c.outBlockSocketId = out;
        c.inBlockSocketId = in;
        from.outputs.insert(out, &c);
        to.inputs.insert(in, &c);
    };
    if (withOutput) {
        BlockInstance& output = add("Audio Output");
        BlockInstance& split = add("Split");
        connect(split, 0, output, 0);
        connect(split, 1, output, 1);
    }
    while (int(instances.size()) < count) {
        BlockInstance& b = add(kinds[instances.size() % 8]);
        if (instances.size() > 1)
            connect(b, 0, instances[instances.size() - 2], 0);
    }
    if (!withOutput)
        connect(instances.front(), 0, instances.back(), 0);

    QList<const BlockInstance*> list;
    for (const BlockInstance& b : instances)
        list << &b;
    PatchInfo info;
    info.name = QStringLiteral("bench");
    return util::makePatchRecord(list, {}, info, 2000, 2000);
}

// 1000 comments of about 86 bytes of rich text each.
QByteArray commentPatch()
{
    QList<const Comment*> list;
    std::deque<Comment> comments;
    for (int i = 1; i <= 1000; ++i) {
        comments.push_back(Comment{i, 37 * (i % 100), 41 * (i / 10),
                                   QStringLiteral("<p><b>Note %1:</b> the envelope opens the "
                                                  "<i>filter</i>, then the delay; see<br>step "
                                                  "%2</p>")
                                       .arg(i, 4, 10, QLatin1Char('0'))
                                       .arg(i % 16)});
        list << &comments.back();
    }
    PatchInfo info;
    return util::makePatchRecord({}, list, info, 2000, 2000);
}

// `count` "Add" blocks at random places on a square canvas that grows with the count, each
// output feeding the first input of another block picked at random: cables as long as the
// canvas is wide, crossing each other everywhere.
QByteArray randomCables(const BlockManager& library, int count)
{
    const QByteArray add = library.blockDescription(QStringLiteral("Add"))->hash.toLatin1();
    std::mt19937 random(20240601u + unsigned(count));
    const int side = std::min(65000, int(150 * std::sqrt(double(count))));
    std::uniform_int_distribution<int> place(0, side);
    std::vector<quint32> targets(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        targets[size_t(i)] = quint32(i + 1);
    std::shuffle(targets.begin(), targets.end(), random);
    // A block does not feed itself: it swaps targets with its neighbour.
    for (int i = 0; i < count; ++i) {
        if (targets[size_t(i)] == quint32(i + 1))
            std::swap(targets[size_t(i)], targets[size_t((i + 1) % count)]);
    }
    RecordBuilder patch;
    for (int i = 0; i < count; ++i) {
        patch.block("Add", add, quint32(i + 1), quint32(place(random)), quint32(place(random)),
                    "0;0;0", {{0, targets[size_t(i)], 0}});
    }
    return patch.file();
}

// 65,535 "Add" blocks as a binary tree, laid out on a grid in id order as a script would: each
// block feeds its parent, whose id is half its own, so most cables run across half the grid.
QByteArray binaryTree(const BlockManager& library)
{
    const QByteArray add = library.blockDescription(QStringLiteral("Add"))->hash.toLatin1();
    RecordBuilder patch;
    for (quint32 id = 1; id <= 65535; ++id) {
        const quint32 x = 40 * (id % 256);
        const quint32 y = 40 * (id / 256);
        if (id == 1)
            patch.block("Add", add, id, x, y, "0;0;0");
        else
            patch.block("Add", add, id, x, y, "0;0;0", {{0, id / 2, id % 2}});
    }
    return patch.file();
}

// 1000 comments of 60 KB of rich text each: 86 KB of file.
QByteArray longCommentPatch()
{
    RecordBuilder patch;
    QByteArray rich;
    while (rich.size() < 60000)
        rich += "<p><b>Note:</b> the envelope opens the <i>filter</i>, then the delay</p>";
    for (quint32 id = 1; id <= 1000; ++id)
        patch.comment(id, 37 * (id % 100), 41 * (id / 10), rich);
    return patch.file();
}

// One open in this process: the file from disk through openFromPath, timed whole, then the same
// steps one by one on a document of their own.
Figures openOnce(MainWindow& window, const QString& path, const QByteArray& bytes)
{
    Figures f;
    const long before = residentKb();
    resetPeak();
    QElapsedTimer timer;
    const double cpuBefore = cpuMs();
    timer.start();
    window.openFromPath(path);
    f.open = timer.nsecsElapsed() / 1e6;
    f.cpu = cpuMs() - cpuBefore;
    PatchDocument* doc = window.currentDocument();
    f.peakKb = peakKb() - before;
    f.openedBlocks = doc->blockInstances().size();
    f.openedCables = doc->blockConnections().size();
    f.openedComments = doc->comments().size();

    const PatchOpener::Library library = [&window](const QString& name) {
        return window.blockManager()->blockDescription(name);
    };
    timer.restart();
    const util::PatchFileContents contents = util::readPatchFile(bytes);
    f.read = timer.nsecsElapsed() / 1e6;
    auto* steps = new PatchDocument(&window);
    timer.restart();
    PatchOpener::bindBlocks(steps, contents.patch, contents.blockFiles, library);
    PatchOpener::addBlocks(steps, contents.patch, library);
    f.blocks = timer.nsecsElapsed() / 1e6;
    timer.restart();
    PatchOpener::addCables(steps, contents.patch);
    PatchOpener::addComments(steps, contents.patch);
    f.cables = timer.nsecsElapsed() / 1e6;
    return f;
}

constexpr int hoverMoves = 200;
constexpr int dragSteps = 20;

// One settle in this process: the open through openFromPath, then events until the canvas has
// been painted once.
void settleOnce(MainWindow& window, const QString& path, Figures& f)
{
    PaintWatch watch;
    qApp->installEventFilter(&watch);
    const long before = residentKb();
    resetPeak();
    QElapsedTimer timer;
    const double cpuBefore = cpuMs();
    timer.start();
    window.openFromPath(path);
    // A paint during the open may have shown the canvas before it was complete.
    window.currentDocument()->viewport()->update();
    watch.painted = false;
    while (!watch.painted)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    f.settle = timer.nsecsElapsed() / 1e6;
    f.settleCpu = cpuMs() - cpuBefore;
    f.settlePeakKb = peakKb() - before;
    qApp->removeEventFilter(&watch);

    // Then what a person does next: the pointer moving over the canvas (each move a hit test
    // for the hover), and a rubber band drawn across the part in view.
    PatchDocument* doc = window.currentDocument();
    QWidget* viewport = doc->viewport();
    const QRect area = viewport->rect();
    timer.restart();
    for (int i = 0; i < hoverMoves; ++i) {
        const QPoint at(area.left() + (area.width() * i) / hoverMoves,
                        area.top() + (area.height() * ((i * 7) % hoverMoves)) / hoverMoves);
        QMouseEvent move(QEvent::MouseMove, at, viewport->mapToGlobal(at), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
    }
    f.hover = timer.nsecsElapsed() / 1e6 / hoverMoves;
    QPainterPath band;
    band.addPolygon(doc->mapToScene(
        area.adjusted(area.width() / 4, area.height() / 4, -area.width() / 4, -area.height() / 4)));
    band.closeSubpath();
    timer.restart();
    doc->patchScene()->setSelectionArea(band, Qt::IntersectsItemShape, doc->viewportTransform());
    f.band = timer.nsecsElapsed() / 1e6;
    // The selection shown.
    timer.restart();
    viewport->repaint();
    f.repaint = timer.nsecsElapsed() / 1e6;
    f.selected = doc->patchScene()->selectedItems().size();
    doc->patchScene()->clearSelection();
    QCoreApplication::processEvents();

    // A block in view dragged a few steps, each step shown.
    QGraphicsItem* block = nullptr;
    for (QGraphicsItem* item : doc->items(area)) {
        if (item->type() == CanvasBlock::Type)
            block = item;
    }
    timer.restart();
    for (int i = 0; block && i < dragSteps; ++i) {
        block->moveBy(3, 2);
        watch.painted = false;
        qApp->installEventFilter(&watch);
        while (!watch.painted)
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents,
                                            50);
        qApp->removeEventFilter(&watch);
    }
    f.drag = block ? timer.nsecsElapsed() / 1e6 / dragSteps : 0;
}

struct Case
{
    QString name;
    std::function<QByteArray(const BlockManager&)> file;
    // Measured once: it takes long and its figures do not vary.
    bool once;
};

// 200 blocks, each with 255 cables onto the inputs of the first 100.
QByteArray crowdedInputs(const BlockManager& library)
{
    const QByteArray add = library.blockDescription(QStringLiteral("Add"))->hash.toLatin1();
    RecordBuilder patch;
    for (quint32 id = 1; id <= 200; ++id) {
        QVector<RecordBuilder::Cable> cables;
        for (quint32 c = 0; c < 255; ++c)
            cables.push_back({0, 1 + (id + c) % 100, c % 2});
        patch.block("Add", add, id, 40 * (id % 20), 40 * (id / 20), "0;0;0", cables);
    }
    return patch.file();
}

// 60,000 blocks, each with 255 cables to distinct inputs: about as many cables as the largest
// body that is read can hold.
QByteArray widestCables(const BlockManager& library)
{
    const QByteArray add = library.blockDescription(QStringLiteral("Add"))->hash.toLatin1();
    RecordBuilder patch;
    for (quint32 id = 0; id < 60000; ++id) {
        QVector<RecordBuilder::Cable> cables;
        for (quint32 c = 0; c < 255; ++c)
            cables.push_back({c, (id + 1 + c) % 60000, c});
        patch.block("Add", add, id, 0, 0, "", cables);
    }
    return patch.file();
}

// A user block carried in the file, used once between two shipped blocks, whose file holds
// `firstTag` in its first tag, `children` in its data and `declarations` before it; as the
// hostile-files test's rows.
QByteArray carrying(const BlockManager& library, const QByteArray& firstTag,
                    const QByteArray& children = QByteArray(),
                    const QByteArray& declarations = QByteArray())
{
    const QByteArray xml = declarations + "<block name=\"Echo\"" + firstTag +
                           ">\n<category>Effects</category>\n<data name=\"Echo_data\">\n"
                           "<var socket=\"in\" info=\"In\"/>\n<var socket=\"out\" "
                           "info=\"Out\"/>\n" +
                           children +
                           "</data>\n<function name=\"echo\">data->out0 = "
                           "data->in0[0];</function>\n</block>\n";
    const QByteArray add = library.blockDescription(QStringLiteral("Add"))->hash.toLatin1();
    RecordBuilder patch;
    patch.block("Add", add, 1, 100, 100, "0;0;0", {{0, 2, 0}});
    patch.block("Echo", BlockManager::blockHash(xml).toLatin1(), 2, 300, 100, "0", {{0, 3, 0}});
    patch.block("Add", add, 3, 500, 100, "0;0;0");
    return patch.file({qCompress(xml)});
}

QByteArray attributes(int count, const QByteArray& value = "=\"\"")
{
    QByteArray list;
    for (int i = 0; i < count; ++i)
        list += " a" + QByteArray::number(i) + value;
    return list;
}

// A shipped block at the zoom steps a file may say, and no editor reaches.
QByteArray zoomed(const BlockManager& library)
{
    QByteArray file =
        RecordBuilder()
            .block("Add", library.blockDescription(QStringLiteral("Add"))->hash.toLatin1(), 1, 100,
                   100, "0;0;0")
            .file();
    // The header after the name "hostile": x, y, then the zoom's sign and magnitude.
    QByteArray body = util::bin::uncompress(file.mid(2, file.size() - 6));
    body.replace(2 + 7 + 4, 3, QByteArray("\x00\xff\xff", 3));
    return packedRecord(6, body) + QByteArray(4, '\0');
}

QList<Case> cases()
{
    QList<Case> list;
    for (const int count : {6000, 20000, 60000, 65535}) {
        for (const bool withOutput : {true, false}) {
            list << Case{QStringLiteral("%1 blocks, %2")
                             .arg(count)
                             .arg(withOutput ? "with Audio Output" : "no Audio Output"),
                         [count, withOutput](const BlockManager& library) {
                             return chainPatch(library, count, withOutput);
                         },
                         false};
        }
    }
    for (const int count : {6000, 10000, 20000, 60000}) {
        list << Case{QStringLiteral("%1 blocks, long random cables").arg(count),
                     [count](const BlockManager& library) { return randomCables(library, count); },
                     false};
    }
    list << Case{QStringLiteral("65,535 blocks, binary tree"), binaryTree, false};
    list << Case{QStringLiteral("1000 comments"),
                 [](const BlockManager&) { return commentPatch(); }, false};
    list << Case{QStringLiteral("1000 comments of 60 KB rich text"),
                 [](const BlockManager&) { return longCommentPatch(); }, false};
    list << Case{QStringLiteral("3 comments showing /dev/zero"),
                 [](const BlockManager&) {
                     RecordBuilder patch;
                     for (quint32 id = 1; id <= 3; ++id)
                         patch.comment(id, 100 * id, 100, "Before<br><img src=\"/dev/zero\">");
                     return patch.file();
                 },
                 false};
    list << Case{QStringLiteral("4.5 million empty block records"),
                 [](const BlockManager&) { return RecordBuilder().emptyBlocks(4500000).file(); },
                 false};
    list << Case{QStringLiteral("51,000 cables onto 200 inputs"), crowdedInputs, false};
    list << Case{QStringLiteral("60,000 blocks x 255 cables"), widestCables, true};
    for (const int count : {25000, 50000, 100000, 200000}) {
        list << Case{
            QStringLiteral("carried, a tag of %1 attributes").arg(count),
            [count](const BlockManager& library) { return carrying(library, attributes(count)); },
            count >= 100000};
    }
    list << Case{QStringLiteral("carried, 20,000 declared defaults"),
                 [](const BlockManager& library) {
                     return carrying(library, QByteArray(), QByteArray(),
                                     "<!DOCTYPE block [<!ATTLIST block" +
                                         attributes(20000, " CDATA \"v\"") + ">]>\n");
                 },
                 false};
    list << Case{QStringLiteral("carried, 2,049 tags of 64"),
                 [](const BlockManager& library) {
                     return carrying(library, QByteArray(),
                                     ("<var" + attributes(64) + "/>\n").repeated(2049));
                 },
                 false};
    list << Case{QStringLiteral("zoom level 65535"), zoomed, false};
    return list;
}

// The child: one open or one settle of one case, its figures on one line of standard output.
int runCase(int index, bool settle)
{
    // Shown, as a person sees it (offscreen): a shown window does more per change.
    MainWindow window;
    window.show();
    QCoreApplication::processEvents();
    const Case c = cases().at(index);
    const QByteArray bytes = c.file(*window.blockManager());
    QTemporaryDir files;
    const QString path = QDir(files.path()).filePath(QStringLiteral("bench.ktl"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    file.close();
    if (settle) {
        Figures f;
        settleOnce(window, path, f);
        std::printf("%d %f %f %ld %f %f %d %f %f\n", int(bytes.size()), f.settle, f.settleCpu,
                    f.settlePeakKb, f.hover, f.band, f.selected, f.drag, f.repaint);
    } else {
        const Figures f = openOnce(window, path, bytes);
        std::printf("%d %f %f %f %f %ld %d %d %d %f\n", int(bytes.size()), f.open, f.read, f.blocks,
                    f.cables, f.peakKb, f.openedBlocks, f.openedCables, f.openedComments, f.cpu);
    }
    std::fflush(stdout);
    // Closing is not measured here, and nothing is needed any more.
    std::_Exit(0);
}

// Bounds of one settle in the parent's watch: past them the child is stopped.
constexpr long settleLimitKb = 3L * 1024 * 1024;
constexpr qint64 settleLimitMs = 120000;

struct Child
{
    QList<QByteArray> figures;
    // Why the child was stopped; empty when it finished.
    QString stopped;
};

// Runs one child, watching its resident size and its time.
Child runChild(int index, bool settle)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--case"), QString::number(index),
                 settle ? QStringLiteral("settle") : QStringLiteral("open")});
    if (!child.waitForStarted(-1))
        qFatal("case %d did not start", index);
    QElapsedTimer timer;
    timer.start();
    long highest = 0;
    Child result;
    while (!child.waitForFinished(50)) {
        highest = std::max(highest, residentKbOf(child.processId()));
        if (highest > settleLimitKb || timer.elapsed() > settleLimitMs) {
            result.stopped = QStringLiteral("stopped at %1 MB after %2 s")
                                 .arg(highest / 1024)
                                 .arg(timer.elapsed() / 1000.0, 0, 'f', 1);
            child.kill();
            child.waitForFinished(-1);
            return result;
        }
    }
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        qFatal("case %d failed", index);
    result.figures = child.readAllStandardOutput().trimmed().split(' ');
    return result;
}

void quiet(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    // Only what would be shown to a user: the refusals and the trimming of cables, not the
    // platform plugin's notes.
    if (type == QtWarningMsg && !text.startsWith(QLatin1Char('Q')) &&
        !text.contains(QLatin1String("propagateSizeHints")))
        std::fprintf(stderr, "  warning: %s\n", qPrintable(text.left(120)));
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("KNOTLATTICE_PROGRAM_DIR"))
        qputenv("KNOTLATTICE_PROGRAM_DIR", KL_PROGRAM_DIR);
    if (argc == 4 && qstrcmp(argv[1], "--case") == 0) {
        QTemporaryDir home;
        qputenv("HOME", home.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
        QApplication app(argc, argv);
        QCoreApplication::setOrganizationName(QStringLiteral("Knotlattice bench"));
        qInstallMessageHandler(quiet);
        // Dressed as the editor starts: its fonts stand in for the family the items ask for.
        registerFonts();
        applyApplicationFont();
        return runCase(atoi(argv[2]), qstrcmp(argv[3], "settle") == 0);
    }

    // Each open runs in a process of its own, so that its peak memory is its own. A second
    // argument, a regular expression, picks the cases whose name it matches.
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
    const QRegularExpression only(argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString());
    std::printf("Opening patch files in the main window, median of %d runs, each in a process "
                "of its own\n",
                runs);
    const QList<Case> all = cases();
    // Settle time, its processor time and its peak, by case name, for the ratios.
    QHash<QString, std::array<double, 3>> settled;
    QHash<QString, std::array<double, 2>> opened;
    for (int index = 0; index < all.size(); ++index) {
        if (!all[index].name.contains(only))
            continue;
        std::vector<double> open, cpu, read, blocks, cables, settle, settleCpu, hover, band, drag,
            repaint;
        int selected = 0;
        long peak = 0;
        long settlePeak = 0;
        QList<QByteArray> v;
        QString stopped;
        QString openStopped;
        for (int run = 0; run < (all[index].once ? 1 : runs); ++run) {
            const Child o = runChild(index, false);
            openStopped = o.stopped;
            if (!openStopped.isEmpty())
                break;
            v = o.figures;
            if (v.size() != 10)
                qFatal("case %d printed no figures", index);
            open.push_back(v[1].toDouble());
            read.push_back(v[2].toDouble());
            blocks.push_back(v[3].toDouble());
            cables.push_back(v[4].toDouble());
            peak = std::max(peak, v[5].toLong());
            cpu.push_back(v[9].toDouble());
            if (!stopped.isEmpty())
                continue;
            const Child s = runChild(index, true);
            stopped = s.stopped;
            if (!stopped.isEmpty())
                continue;
            if (s.figures.size() != 9)
                qFatal("case %d printed no settle figures", index);
            settle.push_back(s.figures[1].toDouble());
            settleCpu.push_back(s.figures[2].toDouble());
            settlePeak = std::max(settlePeak, s.figures[3].toLong());
            hover.push_back(s.figures[4].toDouble());
            band.push_back(s.figures[5].toDouble());
            selected = s.figures[6].toInt();
            drag.push_back(s.figures[7].toDouble());
            repaint.push_back(s.figures[8].toDouble());
        }
        if (!openStopped.isEmpty()) {
            // Old code may not open a hostile file at all; say so and go on with the others.
            std::printf("%-34s open %s\n", qPrintable(all[index].name), qPrintable(openStopped));
            std::fflush(stdout);
            continue;
        }
        const double m = median(open);
        const double c = median(cpu);
        std::printf("%-34s %6d KB  open %7.1f ms, cpu %7.1f ms (read %6.1f, blocks %6.1f, "
                    "cables and comments %6.1f)  peak +%4ld MB  -> %s blocks, %s cables, %s "
                    "comments\n",
                    qPrintable(all[index].name), v[0].toInt() / 1024, m, c, median(read),
                    median(blocks), median(cables), peak / 1024, v[6].constData(), v[7].constData(),
                    v[8].constData());
        if (stopped.isEmpty()) {
            std::printf(
                "%-34s           settle %7.1f ms, cpu %7.1f ms, peak +%4ld MB; then a "
                "hover move %6.2f ms, a rubber band %7.1f ms (%d items) shown in %6.1f ms, a "
                "drag step %6.1f ms\n",
                "", median(settle), median(settleCpu), settlePeak / 1024, median(hover),
                median(band), selected, median(repaint), median(drag));
            settled.insert(all[index].name,
                           {median(settle), median(settleCpu), double(settlePeak)});
        } else {
            std::printf("%-34s           settle %s\n", "", qPrintable(stopped));
        }
        opened.insert(all[index].name, {m, c});
        std::fflush(stdout);
    }
    const QString six = QStringLiteral("6000 blocks, no Audio Output");
    const QString sixty = QStringLiteral("60000 blocks, no Audio Output");
    if (opened.contains(six) && opened.contains(sixty)) {
        std::printf("ratio 60,000 / 6,000 blocks (no Audio Output): %.2f, of processor time "
                    "%.2f\n",
                    opened[sixty][0] / opened[six][0], opened[sixty][1] / opened[six][1]);
    }
    const QString sixCables = QStringLiteral("6000 blocks, long random cables");
    const QString sixtyCables = QStringLiteral("60000 blocks, long random cables");
    if (settled.contains(sixCables) && settled.contains(sixtyCables)) {
        const auto& a = settled[sixCables];
        const auto& b = settled[sixtyCables];
        std::printf("ratio of the settle, 60,000 / 6,000 blocks with long random cables: time "
                    "%.2f, processor time %.2f, peak memory %.2f\n",
                    b[0] / a[0], b[1] / a[1], b[2] / a[2]);
    }
    return 0;
}
