#include "FirmwareTrailer.h"

#include "BinaryUtil.h"
#include "PatchRecord.h"

#include <vector>

namespace util {

namespace {

const QByteArray opening = QByteArrayLiteral("[>");
const QByteArray closing = QByteArrayLiteral("<]");
constexpr int nodeIdSize = 4;
// What one search may inflate in all: a record of the largest body after as much junk that
// inflates as far. An image that takes more holds no patch worth the wait.
constexpr qsizetype inflateBudget = 4 * bin::maxUncompressedSize;
// What one search may read of the streams in all: blocks that inflate to nothing cost input
// alone, and zlib reads empty blocks with their own code tables at about 75 ns a byte. The
// record of an image is read twice, at most twice the flash; the rest is for "[>" in the code
// that happen to begin a stream.
constexpr qsizetype readBudget = 8 * flashSize;

// Where the version-0 block record at `pos` ends; -1 when it runs past the end of the image.
// The layout is the one the packed-record reader reads.
qsizetype version0RecordEnd(const QByteArray& image, qsizetype pos)
{
    const qsizetype size = image.size();
    auto counted = [&] {
        if (size - pos < 4)
            return false;
        const quint32 count = bin::readBE32(image.constData() + pos);
        pos += 4;
        if (count == 0xFFFFFFFFu)
            return true;
        if (qint64(count) > size - pos)
            return false;
        pos += count;
        return true;
    };
    if (!counted() || size - pos < 5) // name; id, x, y
        return -1;
    pos += 5;
    if (!counted() || size - pos < 1) // values; cable count
        return -1;
    const qsizetype cables = uchar(image.at(int(pos)));
    pos += 1;
    if (3 * cables > size - pos)
        return -1;
    return pos + 3 * cables;
}

// A version-0 record is not compressed, so only its block records tell where it may end: after
// one of them, where a "<]" follows. Searches from many "[>" may walk the same records; a
// record start from which one search found no end is `dead` for all.
bool findVersion0(const QByteArray& image, qsizetype body, std::vector<bool>& dead,
                  QByteArray* record)
{
    std::vector<qsizetype> walked;
    qsizetype pos = body;
    for (;;) {
        if (pos > body && bin::matchesAt(image, pos, closing)) {
            const QByteArray candidate = image.mid(int(body), int(pos - body));
            // Whole records fail only by holding more than a patch may; more records would too.
            if (isPatchRecord(candidate)) {
                *record = candidate;
                return true;
            }
            return false;
        }
        if (dead[size_t(pos)])
            break;
        walked.push_back(pos);
        pos = version0RecordEnd(image, pos);
        if (pos < 0)
            break;
    }
    for (const qsizetype start : walked)
        dead[size_t(start)] = true;
    return false;
}

} // namespace

QByteArray firmwareTrailer(const QByteArray& record)
{
    return opening + record + closing;
}

bool findFirmwareRecord(const QByteArray& image, QByteArray* record)
{
    record->clear();
    std::vector<bool> dead(size_t(image.size()) + 1, false);
    qsizetype budget = inflateBudget;
    qsizetype readLeft = readBudget;
    for (int start = image.indexOf(opening); start >= 0;
         start = image.indexOf(opening, start + 1)) {
        const int body = start + opening.size();
        const int version = recordVersion(image.mid(body, 2));
        if (version < 0)
            break;
        if (version == 0) {
            if (findVersion0(image, body, dead, record))
                return true;
            continue;
        }
        // The record's zlib stream decides where it ends: only the "<]" right after the stream
        // and the node id can close it.
        const qsizetype limit = qMin(bin::maxUncompressedSize, budget);
        const qsizetype rest = image.size() - body - 2;
        const bin::Inflated packed =
            bin::inflate(image.constData() + body + 2, qMin(rest, readLeft), false, limit);
        budget -= packed.produced;
        readLeft -= packed.read;
        // Once the input is spent no later stream can be read, nor this one again.
        if (readLeft <= 0)
            return false;
        if (packed.status == bin::InflateStatus::TooLarge && limit < bin::maxUncompressedSize)
            return false;
        if (packed.status != bin::InflateStatus::Ok)
            continue;
        const qsizetype end = body + 2 + packed.consumed + nodeIdSize;
        if (end > image.size() || !bin::matchesAt(image, end, closing))
            continue;
        // Reading the candidate inflates it once more.
        if (packed.produced > budget || packed.consumed > readLeft)
            return false;
        budget -= packed.produced;
        readLeft -= packed.consumed;
        const QByteArray candidate = image.mid(body, int(end - body));
        if (isPatchRecord(candidate)) {
            *record = candidate;
            return true;
        }
    }
    return false;
}

} // namespace util
