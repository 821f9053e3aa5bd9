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

// Empty stored blocks: five bytes of input each and no output.
inline QByteArray emptyStoredBlocks(int size)
{
    return QByteArray("\0\0\0\xff\xff", 5).repeated(size / 5);
}

// Empty blocks with their own code tables: few bytes each, but zlib builds the tables of
// every one, the slowest input it reads.
inline QByteArray emptyTableBlocks(int size)
{
    QByteArray out;
    quint32 acc = 0;
    int bits = 0;
    auto put = [&](quint32 value, int count) {
        for (int i = 0; i < count; ++i) {
            acc |= ((value >> i) & 1u) << bits;
            if (++bits == 8) {
                out.append(char(acc));
                acc = 0;
                bits = 0;
            }
        }
    };
    // Four blocks of 90 bits end on a byte.
    for (int block = 0; block < 4; ++block) {
        put(0, 1);  // not the last block
        put(2, 2);  // own code tables
        put(0, 5);  // 257 literal and length codes
        put(0, 5);  // one distance code
        put(14, 4); // 18 code length codes
        // Lengths of the code length codes in their order 16, 17, 18, 0, 8, 7, 9, 6, 10, 5,
        // 11, 4, 12, 3, 13, 2, 14, 1: only 18 (repeat zero) and 1 have a code, of one bit.
        for (int i = 0; i < 18; ++i)
            put(i == 2 || i == 17 ? 1 : 0, 3);
        // Symbols 0 to 255 have no code (repeat zero 138 and 118 times); 256 has one bit.
        put(1, 1);
        put(127, 7);
        put(1, 1);
        put(107, 7);
        put(0, 1);
        put(0, 1); // the distance code: one bit
        put(0, 1); // end of block
    }
    return out.repeated(size / out.size());
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
