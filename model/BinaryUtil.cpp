#include "BinaryUtil.h"

#include <cstring>
#include <zlib.h>

namespace util {
namespace bin {

QByteArray createSeparator()
{
    return QByteArray(separator, separatorSize);
}

QByteArray createOldSeparator()
{
    return QByteArray(oldSeparator, oldSeparatorSize);
}

quint32 readBE16(const char* data)
{
    const auto* p = reinterpret_cast<const uchar*>(data);
    return (quint32(p[0]) << 8) | quint32(p[1]);
}

quint32 readBE32(const char* data)
{
    const auto* p = reinterpret_cast<const uchar*>(data);
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
}

void appendBE32(QByteArray& out, quint32 value)
{
    const char bytes[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    out.append(bytes, 4);
}

bool matchesAt(const QByteArray& data, qsizetype pos, const QByteArray& needle)
{
    return pos >= 0 && pos + needle.size() <= data.size() &&
           std::memcmp(data.constData() + pos, needle.constData(), size_t(needle.size())) == 0;
}

Inflated inflate(const char* data, qsizetype size, bool keepOutput, qsizetype limit,
                 bool keepDamaged)
{
    Inflated result;
    if (size < 4) {
        result.read = qMax<qsizetype>(0, size);
        return result;
    }
    result.read = 4;
    const quint32 declared = readBE32(data);
    if (qsizetype(declared) > limit) {
        result.status = InflateStatus::TooLarge;
        return result;
    }
    if (size == 4) {
        // qCompress writes an empty input as four zero bytes and no stream.
        if (declared == 0) {
            result.consumed = 4;
            result.status = InflateStatus::Ok;
        }
        return result;
    }

    z_stream stream;
    std::memset(&stream, 0, sizeof(stream));
    if (inflateInit(&stream) != Z_OK)
        return result;

    // zlib counts in uInt: feed the input in pieces so any size works.
    const char* in = data + 4;
    qsizetype inLeft = size - 4;
    char scratch[64 * 1024];
    qsizetype produced = 0;
    // One byte of room beyond the limit tells a stream that ends at the limit from one that
    // goes on.
    const qsizetype cap = limit + 1;
    // zlib cannot expand by more than about 1032 to 1, so a declared size beyond that is not
    // allocated up front.
    if (keepOutput) {
        const qsizetype plausible = (size - 4) * 1032 + 1024;
        result.data.resize(int(qBound<qsizetype>(1, qMin<qsizetype>(declared, plausible), cap)));
    }

    InflateStatus status = InflateStatus::Damaged;
    for (;;) {
        if (stream.avail_in == 0 && inLeft > 0) {
            const uInt piece = uInt(qMin<qsizetype>(inLeft, 1 << 30));
            stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in));
            stream.avail_in = piece;
            in += piece;
            inLeft -= piece;
        }
        char* out = scratch;
        qsizetype room = qMin<qsizetype>(qsizetype(sizeof(scratch)), cap - produced);
        if (keepOutput) {
            if (produced == result.data.size())
                result.data.resize(int(qMin<qsizetype>(cap, produced * 2)));
            out = result.data.data() + produced;
            room = result.data.size() - produced;
        }
        stream.next_out = reinterpret_cast<Bytef*>(out);
        stream.avail_out = uInt(room);
        const uInt inBefore = stream.avail_in;
        const int rc = ::inflate(&stream, Z_NO_FLUSH);
        const bool moved = stream.avail_in != inBefore || stream.avail_out != uInt(room);
        produced += room - qsizetype(stream.avail_out);
        if (produced > limit) {
            status = InflateStatus::TooLarge;
            break;
        }
        if (rc == Z_STREAM_END) {
            status = InflateStatus::Ok;
            break;
        }
        if (rc == Z_OK)
            continue;
        // No progress: with input left it needs room (given next round); without, the stream
        // is cut short.
        if (rc == Z_BUF_ERROR && moved && (stream.avail_in > 0 || inLeft > 0))
            continue;
        break;
    }
    const qsizetype usedIn = qsizetype(stream.total_in);
    inflateEnd(&stream);

    result.status = status;
    result.produced = produced;
    result.read = 4 + usedIn;
    if (status == InflateStatus::Ok) {
        result.consumed = 4 + usedIn;
        if (keepOutput)
            result.data.resize(int(produced));
    } else if (status == InflateStatus::Damaged && keepDamaged && keepOutput) {
        result.data.resize(int(produced));
    } else {
        result.data = QByteArray();
    }
    return result;
}

QByteArray uncompress(const QByteArray& data, InflateStatus* status, bool keepDamaged)
{
    Inflated inflated =
        inflate(data.constData(), data.size(), true, maxUncompressedSize, keepDamaged);
    if (status)
        *status = inflated.status;
    return inflated.data;
}

QList<QByteArray> splitFromEnd(const QByteArray& data, const QByteArray& sep)
{
    QList<QByteArray> parts;
    const qsizetype n = sep.size();
    qsizetype cut = data.size();
    for (qsizetype p = cut - n; p >= 0; --p) {
        if (std::memcmp(data.constData() + p, sep.constData(), size_t(n)) == 0) {
            parts.prepend(data.mid(int(p + n), int(cut - p - n)));
            cut = p;
            p = cut - n + 1;
        }
    }
    parts.prepend(data.left(int(cut)));
    return parts;
}

} // namespace bin
} // namespace util
