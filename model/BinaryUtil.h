#pragma once

#include <QByteArray>
#include <QList>

// Byte-level pieces shared by the patch file, the clipboard payload and the packed record.
namespace util {
namespace bin {

// Introduces each carried block file in patch files of version 5 and later and in the
// clipboard payload: the 11 letters and a zero byte. Always matched on all 12 bytes.
inline constexpr char separator[] = "knotlattice";
inline constexpr int separatorSize = int(sizeof(separator));
static_assert(separatorSize == 12, "the separator is 12 bytes long");

// The separator of patch files of version 4 and earlier; read only.
inline constexpr char oldSeparator[] = {'\x0F', '\x0F', '\x00'};
inline constexpr int oldSeparatorSize = int(sizeof(oldSeparator));

// Nothing we read is allowed to grow beyond this when uncompressed.
inline constexpr qsizetype maxUncompressedSize = 64 * 1024 * 1024;

QByteArray createSeparator();
QByteArray createOldSeparator();

enum class InflateStatus
{
    Ok,
    Damaged,
    TooLarge
};

struct Inflated
{
    QByteArray data;
    // Bytes of the input that the compressed part occupies (4-byte size plus zlib stream).
    qsizetype consumed = 0;
    // Bytes inflated, kept or not.
    qsizetype produced = 0;
    // Bytes of the input read, whatever the outcome: a stream of empty blocks reads much and
    // inflates nothing.
    qsizetype read = 0;
    InflateStatus status = InflateStatus::Damaged;
};

// Reads data compressed the way qCompress writes it (4-byte big-endian size, then a zlib
// stream) and gives what qUncompress gives for it, but refuses to produce more than `limit`
// bytes: a declared size above the limit is refused before anything is inflated, and a stream
// that inflates beyond it is stopped. Bytes after the end of the stream are ignored.
// With `keepOutput` false only `consumed`, `produced`, `read` and `status` are filled. With
// `keepDamaged`, a damaged stream gives what it inflated up to the damage.
Inflated inflate(const char* data, qsizetype size, bool keepOutput = true,
                 qsizetype limit = maxUncompressedSize, bool keepDamaged = false);
// qUncompress with the bound above; an empty array when the data is too large, and when it
// is damaged unless `keepDamaged` asks for what comes before the damage.
QByteArray uncompress(const QByteArray& data, InflateStatus* status = nullptr,
                      bool keepDamaged = false);

quint32 readBE16(const char* data);
quint32 readBE32(const char* data);
void appendBE32(QByteArray& out, quint32 value);

// Whether `needle` stands in `data` at `pos`, all of it.
bool matchesAt(const QByteArray& data, qsizetype pos, const QByteArray& needle);

// Splits from the end at every complete occurrence of `sep`: the bytes after an occurrence
// become a part in front of those found so far, and the data is cut there. What is left is
// the first part. Joining the parts with `sep` gives `data` back.
QList<QByteArray> splitFromEnd(const QByteArray& data, const QByteArray& sep);

} // namespace bin
} // namespace util
