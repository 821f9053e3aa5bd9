// Times the read-back's search for the patch in a firmware image (util::findFirmwareRecord), on
// images built to make it slow and on one as Compile leaves it, from 12 KB to the device's flash
// size. Goal: every image up to the flash size in under 1 s.
//   bench_readback [LARGEST_KB]
#include "BinaryPacker.h"
#include "FirmwareImages.h"
#include "FirmwareTrailer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <functional>

namespace {

struct Image
{
    QByteArray bytes;
    int streams = 0; // zlib streams after a "[>"
};

// A record of version 0 that no block record fits: the search starts at each "[>" and, as it
// used to, tried each "<]" after it.
Image markers(int size)
{
    return {QByteArray("[>\0\0\xff\xff<]", 8).repeated(size / 8), 0};
}

// Block records of 14 zero bytes after each "[>": each search walks the records after it.
Image emptyRecords(int size)
{
    return {(QByteArray("[>") + QByteArray(14, '\0')).repeated(size / 16), 0};
}

// As many streams of 1 MiB (about 1 KB compressed) as fit, each saying it holds 16 bytes: from
// 256 of them on, the search stops at its bound on what it inflates.
Image bombs(int size)
{
    QByteArray bomb = QByteArray("[>\0\x06", 4) + qCompress(QByteArray(1 << 20, '\0'), 9);
    bomb.replace(4, 4, QByteArray("\0\0\0\x10", 4));
    const int streams = size / bomb.size();
    return {bomb.repeated(streams) + QByteArray(size - streams * bomb.size(), 'a'), streams};
}

// Streams that share one tail, which inflates to 1 MiB: small images reach the bound too.
Image sharedBombs(int size)
{
    const QByteArray tail = firmwareimages::zeroBlocks(1 << 20);
    const int streams = qMin(firmwareimages::maxNestedHeaders,
                             int((size - tail.size()) / firmwareimages::nestedHeaderSize));
    const QByteArray image = firmwareimages::nestedStreams(streams, tail);
    return {image + QByteArray(size - image.size(), 'a'), streams};
}

// Streams that share one tail of blocks that inflate to nothing: what they read counts, not
// what they give.
Image emptyTails(int size, QByteArray (*blocks)(int))
{
    const int streams =
        qMin(firmwareimages::maxNestedHeaders, size / (2 * firmwareimages::nestedHeaderSize));
    const QByteArray image = firmwareimages::nestedStreams(
        streams, blocks(size - streams * firmwareimages::nestedHeaderSize));
    return {image + QByteArray(size - image.size(), 'a'), streams};
}

// Code bytes and a real trailer at the end.
Image ordinary(int size)
{
    const QByteArray record = BinaryPacker().pack({}, {}) + QByteArray(4, '\0');
    const QByteArray trailer = util::firmwareTrailer(record);
    QByteArray code(size - trailer.size(), '\0');
    for (int i = 0; i < code.size(); ++i)
        code[i] = char((i * 7) % 251);
    return {code + trailer, 1};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int largest = argc > 1 ? QByteArray(argv[1]).toInt() : 512;
    const struct
    {
        const char* name;
        std::function<Image(int)> make;
    } kinds[] = {{"[> <] of version 0", markers},
                 {"[> and empty block records", emptyRecords},
                 {"1 MiB streams", bombs},
                 {"streams sharing a 1 MiB tail", sharedBombs},
                 {"streams, empty stored blocks",
                  [](int size) { return emptyTails(size, firmwareimages::emptyStoredBlocks); }},
                 {"streams, empty table blocks",
                  [](int size) { return emptyTails(size, firmwareimages::emptyTableBlocks); }},
                 {"code and a trailer", ordinary}};
    for (const auto& kind : kinds) {
        for (const int kb : {12, 48, 192, 512}) {
            if (kb > largest)
                continue;
            const Image image = kind.make(kb * 1024);
            QByteArray record;
            QElapsedTimer timer;
            timer.start();
            const bool found = util::findFirmwareRecord(image.bytes, &record);
            std::printf("%-30s %4d KB, %5d streams: %8.1f ms, %s\n", kind.name, kb, image.streams,
                        double(timer.nsecsElapsed()) / 1e6, found ? "a patch" : "no patch");
            std::fflush(stdout);
        }
    }
    return 0;
}
