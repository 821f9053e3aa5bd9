// Times packing and loading a patch of 1000 blocks (two cables each, eight values each, 50
// comments), as a bare packed record and as a saved file with five carried block files, and
// the check Save makes first that the patch fits a record.
// Prints the median of 21 runs of each step in milliseconds.
#include "BinaryPacker.h"
#include "BlockConnection.h"
#include "BlockDescription.h"
#include "BlockInstance.h"
#include "PatchFile.h"
#include "PatchInfo.h"
#include "PatchRecord.h"
#include "RecordFit.h"

#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <deque>
#include <functional>
#include <vector>

namespace {

double medianMs(const std::function<void()>& step)
{
    std::vector<double> times;
    for (int i = 0; i < 21; ++i) {
        QElapsedTimer timer;
        timer.start();
        step();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main()
{
    const int blockCount = 1000;
    std::deque<BlockDescription> descriptions;
    for (int d = 0; d < 5; ++d) {
        descriptions.emplace_back();
        descriptions.back().name = QStringLiteral("Block %1").arg(d);
        descriptions.back().hash = QStringLiteral("ab%1c").arg(d);
        descriptions.back().origin = BlockDescription::OriginPatch;
        descriptions.back().rawData = QByteArray("<block name=\"Block\">\r\n<data name=\"d\">") +
                                      QByteArray(4000, 'v') + "</data></block>\r\n";
    }
    std::deque<BlockInstance> instances;
    std::deque<BlockConnection> cables;
    for (int i = 1; i <= blockCount; ++i) {
        instances.emplace_back();
        BlockInstance& b = instances.back();
        b.id = i;
        b.description = &descriptions[size_t(i % 5)];
        b.x = 60 * (i % 60);
        b.y = 60 * (i / 60);
        b.nodeId = i % 3;
        for (int v = 0; v < 8; ++v)
            b.values << QString::number(v * 0.125 + i);
        for (int back = 1; back <= 2 && i - back >= 1; ++back) {
            BlockInstance& from = instances[size_t(i - back - 1)];
            cables.emplace_back();
            BlockConnection& c = cables.back();
            c.outBlock = &from;
            c.inBlock = &b;
            c.outBlockSocketId = back - 1;
            c.inBlockSocketId = back - 1;
            from.outputs.insert(c.outBlockSocketId, &c);
            b.inputs.insert(c.inBlockSocketId, &c);
        }
    }
    std::deque<Comment> comments;
    for (int i = 1; i <= 50; ++i)
        comments.push_back(Comment{i, 30 * i, 40 * i, QStringLiteral("<p>note %1</p>").arg(i)});

    QList<const BlockInstance*> instanceList;
    for (const BlockInstance& b : instances)
        instanceList << &b;
    QList<const Comment*> commentList;
    for (const Comment& c : comments)
        commentList << &c;
    PatchInfo info;
    info.name = QStringLiteral("bench");
    info.nodeId = 4;
    QHash<QString, BlockDescription> carried;
    for (const BlockDescription& d : descriptions)
        carried.insert(d.name, d);

    QByteArray record;
    const double pack = medianMs(
        [&] { record = util::makePatchRecord(instanceList, commentList, info, 2000, 2000); });
    PackedPatch loaded;
    const double load = medianMs([&] { loaded = util::readPatchRecord(record); });
    QByteArray file;
    const double save = medianMs([&] { file = util::patchFileBytes(record, carried, true); });
    util::PatchFileContents opened;
    const double open = medianMs([&] { opened = util::readPatchFile(file); });
    QString misfit;
    const double fit =
        medianMs([&] { misfit = RecordFit::problem(info, instanceList, commentList); });

    if (loaded.blocks.size() != blockCount || opened.blockFiles.size() != 5 || !misfit.isEmpty()) {
        std::fprintf(stderr, "read back %d blocks and %d block files; %s\n",
                     int(loaded.blocks.size()), int(opened.blockFiles.size()),
                     misfit.isEmpty() ? "the record fits" : qPrintable(misfit));
        return 1;
    }
    std::printf("%d blocks, record %d bytes, file %d bytes\n", blockCount, int(record.size()),
                int(file.size()));
    std::printf("pack record       %8.3f ms\n", pack);
    std::printf("load record       %8.3f ms\n", load);
    std::printf("file bytes (save) %8.3f ms\n", save);
    std::printf("read file (open)  %8.3f ms\n", open);
    std::printf("fit check (save)  %8.3f ms\n", fit);
    return 0;
}
