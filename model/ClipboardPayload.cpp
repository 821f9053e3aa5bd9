#include "ClipboardPayload.h"

#include "BinaryUtil.h"

namespace util {

QByteArray clipboardPayload(const QByteArray& packed, const QList<QByteArray>& files)
{
    QByteArray payload = packed;
    for (const QByteArray& file : files) {
        payload.append(bin::createSeparator());
        payload.append(file);
    }
    return payload;
}

QList<QByteArray> unpackClipboardPayload(const QByteArray& payload)
{
    const QByteArray sep = bin::createSeparator();
    if (payload.size() >= 2 && bin::readBE16(payload.constData()) != 0) {
        const bin::Inflated record =
            bin::inflate(payload.constData() + 2, payload.size() - 2, false);
        const qsizetype end = 2 + record.consumed;
        if (record.status == bin::InflateStatus::Ok) {
            if (end == payload.size())
                return {payload};
            if (bin::matchesAt(payload, end, sep)) {
                QList<QByteArray> parts{payload.left(int(end))};
                parts.append(bin::splitFromEnd(payload.mid(int(end + sep.size())), sep));
                return parts;
            }
        }
    }
    return bin::splitFromEnd(payload, sep);
}

} // namespace util
