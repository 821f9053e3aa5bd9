#include "ReferenceReader.h"

#include <QDataStream>
#include <QHash>

namespace {

class Section
{
public:
    explicit Section(const QByteArray& bytes) : bytes(bytes), stream(this->bytes) {}

    bool atEnd() const { return stream.atEnd(); }
    bool whole() const { return !shortRead; }

    quint32 number(int width)
    {
        char raw[4] = {0, 0, 0, 0};
        if (stream.readRawData(raw, width) != width)
            shortRead = true;
        quint32 value = 0;
        for (int i = 0; i < width; ++i)
            value = (value << 8) | uchar(raw[i]);
        return value;
    }

    QString text()
    {
        const int count = int(number(2));
        QByteArray raw(count, '\0');
        if (stream.readRawData(raw.data(), count) != count)
            shortRead = true;
        return QString::fromUtf8(raw.constData(), int(qstrnlen(raw.constData(), uint(count))));
    }

private:
    QByteArray bytes;
    QDataStream stream;
    bool shortRead = false;
};

} // namespace

PackedPatch referenceRead(const QByteArray& body, int version, bool& wellFormed)
{
    QList<QByteArray> sections;
    QByteArray rest = body;
    const QByteArray pair("\xFF\xFF", 2);
    for (int p = rest.lastIndexOf(pair); p >= 0; p = rest.lastIndexOf(pair)) {
        sections.prepend(rest.mid(p + 3));
        rest.truncate(p);
    }
    sections.prepend(rest);
    wellFormed = sections.size() == 4;
    while (sections.size() < 4)
        sections.append(QByteArray());

    const bool zoom = version >= 3;
    const bool flag = version == 2 || version == 3;
    PackedPatch patch;

    Section header(sections[0]);
    patch.name = header.text();
    patch.x = qint32(header.number(2));
    patch.y = qint32(header.number(2));
    if (zoom) {
        const quint32 sign = header.number(1);
        const qint32 magnitude = qint32(header.number(2));
        patch.zoomLevel = sign ? -magnitude : magnitude;
    }
    patch.date = header.number(4);
    patch.saved = qint32(header.number(2));
    patch.lang = qint32(header.number(1));
    patch.includeBlocks = version == 6 ? header.number(2) == 1 : true;
    wellFormed = wellFormed && header.whole() && header.atEnd();

    Section comments(sections[1]);
    while (!comments.atEnd()) {
        Comment c;
        c.id = qint32(comments.number(2));
        c.x = qint32(comments.number(2));
        c.y = qint32(comments.number(2));
        c.text = comments.text();
        if (flag)
            comments.number(1);
        patch.comments.append(c);
    }
    wellFormed = wellFormed && comments.whole();

    QHash<quint32, qint32> nodes;
    Section dictionary(sections[2]);
    while (!dictionary.atEnd()) {
        const quint32 index = dictionary.number(1);
        nodes.insert(index, qint32(dictionary.number(4)));
    }
    wellFormed = wellFormed && dictionary.whole();

    Section blocks(sections[3]);
    while (!blocks.atEnd()) {
        PackedInstance b;
        b.name = blocks.text();
        b.hash = blocks.text();
        b.nodeValue = nodes.value(blocks.number(1), 0);
        b.id = qint32(blocks.number(2));
        b.x = qint32(blocks.number(2));
        b.y = qint32(blocks.number(2));
        b.values = blocks.text().split(QLatin1Char(';'));
        const quint32 cables = blocks.number(1);
        for (quint32 i = 0; i < cables; ++i) {
            const qint32 out = qint32(blocks.number(1));
            const qint32 target = qint32(blocks.number(2));
            const qint32 input = qint32(blocks.number(1));
            b.connections.append({out, target, input});
        }
        patch.blocks.append(b);
    }
    wellFormed = wellFormed && blocks.whole();
    return patch;
}
