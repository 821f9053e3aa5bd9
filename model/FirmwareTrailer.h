#pragma once

#include <QByteArray>

// The patch carried by a firmware image: "[>", the patch record, "<]", appended to the image
// that the build made, with no length or alignment.
namespace util {

// The device's flash (runtime/firmware/device/device.ld): an image and its trailer fit it.
inline constexpr qint64 flashSize = 512 * 1024;

QByteArray firmwareTrailer(const QByteArray& record);

// The record of the image's first trailer: the first "[>" whose bytes up to a following "<]"
// read completely as a patch record (util::isPatchRecord). So a "[>" in the code before the
// trailer, a "<]" inside the record and a second trailer after it do not mislead it. False,
// with `record` cleared, when the image holds no such trailer. Linear in the image for records
// of version 0; the streams of the others inflate to at most 256 MiB and read at most 4 MiB of
// the image in all, beyond which an image counts as holding none.
bool findFirmwareRecord(const QByteArray& image, QByteArray* record);

} // namespace util
