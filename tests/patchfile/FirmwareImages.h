#pragma once

#include <QByteArray>
#include <QtGlobal>

// Firmware images built to make the read-back's search slow: many "[>" of a compressed version
// whose zlib streams all run into one shared tail, so each search reads the tail again.
namespace firmwareimages {

// "[>", version 6, a declared size of 16 bytes, a zlib header and a stored block header.
constexpr int nestedHeaderSize = 15;
// A stored block holds at most 65,535 bytes: the first header's block covers all the others.
constexpr int maxNestedHeaders = 65535 / nestedHeaderSize + 1;

// `headers` streams, each a stored block over the headers after it and then `tail`, raw
// deflate blocks that every stream reads in turn.
inline QByteArray nestedStreams(int headers, const QByteArray& tail)
{
    Q_ASSERT(headers <= maxNestedHeaders);
    QByteArray image;
    for (int i = 0; i < headers; ++i) {
        const int covered = (headers - 1 - i) * nestedHeaderSize;
        image.append("[>\0\6\0\0\0\x10\x78\x01\0", 11);
        image.append(char(covered)).append(char(covered >> 8));
        image.append(char(~covered)).append(char(~covered >> 8));
    }
    return image + tail;
}

// The deflate blocks of a stream of `size` zero bytes, without the zlib header and check
// value: about a thousandth of `size`.
inline QByteArray zeroBlocks(int size)
{
    const QByteArray compressed = qCompress(QByteArray(size, '\0'), 9);
    // qCompress: 4-byte size, 2-byte zlib header, the blocks, 4-byte check value.
    return compressed.mid(6, compressed.size() - 10);
}

} // namespace firmwareimages
