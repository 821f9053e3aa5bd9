// Times the read-back's search for the patch in a firmware image (util::findFirmwareRecord), on
// images built to make it slow and on one as Compile leaves it, from 12 KB to the device's flash
// size. Goal: every image up to the flash size in under 1 s.
//   bench_readback [LARGEST_KB]
#include "BinaryPacker.h"
#include "FirmwareTrailer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <functional>

namespace {

// A record of version 0 that no block record fits: the search starts at each "[>" and, as it
// used to, tried each "<]" after it.
QByteArray markers(int size)
{
    return QByteArray("[>\0\0\xff\xff<]", 8).repeated(size / 8);
}

// Block records of 14 zero bytes after each "[>": each search walks the records after it.
QByteArray emptyRecords(int size)
{
    return (QByteArray("[>") + QByteArray(14, '\0')).repeated(size / 16);
}

// Streams that say they hold 16 bytes and inflate to 64 MiB each.
QByteArray bombs(int size)
{
    QByteArray bomb = QByteArray("[>\0\x06", 4) + qCompress(QByteArray(64 << 20, '\0'), 9);
    bomb.replace(4, 4, QByteArray("\0\0\0\x10", 4));
    QByteArray image;
    while (image.size() + bomb.size() <= size)
        image += bomb;
    return image + QByteArray(size - image.size(), 'a');
}

// Code bytes and a real trailer at the end.
QByteArray ordinary(int size)
{
    const QByteArray record = BinaryPacker().pack({}, {}) + QByteArray(4, '\0');
    const QByteArray trailer = util::firmwareTrailer(record);
    QByteArray code(size - trailer.size(), '\0');
    for (int i = 0; i < code.size(); ++i)
        code[i] = char((i * 7) % 251);
    return code + trailer;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int largest = argc > 1 ? QByteArray(argv[1]).toInt() : 512;
    const struct
    {
        const char* name;
        std::function<QByteArray(int)> make;
    } kinds[] = {{"[> <] of version 0", markers},
                 {"[> and empty block records", emptyRecords},
                 {"64 MiB streams", bombs},
                 {"code and a trailer", ordinary}};
    for (const auto& kind : kinds) {
        for (const int kb : {12, 48, 192, 512}) {
            if (kb > largest)
                continue;
            const QByteArray image = kind.make(kb * 1024);
            QByteArray record;
            QElapsedTimer timer;
            timer.start();
            const bool found = util::findFirmwareRecord(image, &record);
            std::printf("%-28s %4d KB: %8.1f ms, %s\n", kind.name, kb,
                        double(timer.nsecsElapsed()) / 1e6, found ? "a patch" : "no patch");
            std::fflush(stdout);
        }
    }
    return 0;
}
