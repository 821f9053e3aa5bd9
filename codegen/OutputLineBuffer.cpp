#include "OutputLineBuffer.h"

namespace {

bool isBlank(const QByteArray& line)
{
    return line.trimmed().isEmpty();
}

} // namespace

QList<QByteArray> OutputLineBuffer::append(const QByteArray& bytes)
{
    QList<QByteArray> lines;
    pending += bytes;
    int start = 0;
    for (;;) {
        const int end = pending.indexOf('\n', start);
        if (end < 0)
            break;
        const QByteArray line = pending.mid(start, end - start);
        if (!isBlank(line))
            lines << line;
        start = end + 1;
    }
    pending.remove(0, start);
    while (pending.size() >= MaxLineLength) {
        const QByteArray line = pending.left(MaxLineLength);
        pending.remove(0, MaxLineLength);
        if (!isBlank(line))
            lines << line;
    }
    return lines;
}

QByteArray OutputLineBuffer::takeRest()
{
    QByteArray rest;
    rest.swap(pending);
    return isBlank(rest) ? QByteArray() : rest;
}

double OutputLineBuffer::valueOf(const QByteArray& line)
{
    const int zero = line.indexOf('\0');
    const QByteArray text = (zero < 0 ? line : line.left(zero)).trimmed();
    bool ok = false;
    const double number = text.toDouble(&ok);
    return ok ? number / 1024.0 : 0.0;
}
