#pragma once

#include <QByteArray>
#include <QString>

namespace util {

// Writes `bytes` to `path` so that the file is either as it was or whole: written aside in the
// same folder, then moved over it. An existing file keeps its permissions; a new one gets those
// the user's mask leaves. A link is followed and the file it leads to replaced. False with the
// reason in `error`.
bool replaceFile(const QString& path, const QByteArray& bytes, QString& error);

} // namespace util
