#include "FirmwareTrailer.h"

#include "BinaryUtil.h"
#include "PatchRecord.h"

namespace util {

namespace {

const QByteArray opening = QByteArrayLiteral("[>");
const QByteArray closing = QByteArrayLiteral("<]");
constexpr int nodeIdSize = 4;

} // namespace

QByteArray firmwareTrailer(const QByteArray& record)
{
    return opening + record + closing;
}

bool findFirmwareRecord(const QByteArray& image, QByteArray* record)
{
    record->clear();
    for (int start = image.indexOf(opening); start >= 0;
         start = image.indexOf(opening, start + 1)) {
        const int body = start + opening.size();
        const int version = recordVersion(image.mid(body, 2));
        if (version < 0)
            break;
        if (version != 0) {
            // The record's zlib stream decides where it ends: only the "<]" right after the
            // stream and the node id can close it.
            const bin::Inflated packed =
                bin::inflate(image.constData() + body + 2, image.size() - body - 2, false);
            if (packed.status != bin::InflateStatus::Ok)
                continue;
            const qsizetype end = body + 2 + packed.consumed + nodeIdSize;
            if (end > image.size() || !bin::matchesAt(image, end, closing))
                continue;
            const QByteArray candidate = image.mid(body, int(end - body));
            if (isPatchRecord(candidate)) {
                *record = candidate;
                return true;
            }
            continue;
        }
        // Version 0 records are not compressed; try every "<]" that follows.
        for (int end = image.indexOf(closing, body); end >= 0;
             end = image.indexOf(closing, end + 1)) {
            const QByteArray candidate = image.mid(body, end - body);
            if (isPatchRecord(candidate)) {
                *record = candidate;
                return true;
            }
        }
    }
    return false;
}

} // namespace util
