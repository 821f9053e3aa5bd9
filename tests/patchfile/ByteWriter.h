#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Writes record bytes field by field for fixtures, independently of the packer under test.
class ByteWriter
{
public:
    ByteWriter& u8(quint32 v)
    {
        bytes.append(char(v & 0xFF));
        return *this;
    }
    ByteWriter& u16(quint32 v) { return u8(v >> 8).u8(v); }
    ByteWriter& u32(quint32 v) { return u16(v >> 16).u16(v); }
    // A 16-bit count and the UTF-8 bytes.
    ByteWriter& text(const QByteArray& utf8)
    {
        u16(quint32(utf8.size()));
        bytes.append(utf8);
        return *this;
    }
    ByteWriter& text(const char* utf8) { return text(QByteArray(utf8)); }
    // A 32-bit count that includes a terminating zero, as the first release wrote strings.
    ByteWriter& cstring(const QByteArray& utf8)
    {
        u32(quint32(utf8.size() + 1));
        bytes.append(utf8);
        bytes.append('\0');
        return *this;
    }
    ByteWriter& raw(const QByteArray& more)
    {
        bytes.append(more);
        return *this;
    }
    ByteWriter& brk() { return u8(0xFF).u8(0xFF).u8(0x00); }

    QByteArray bytes;
};

// A packed record of versions 1 to 6: the version, then the body as qCompress writes it.
inline QByteArray packedRecord(int version, const QByteArray& body, int level = -1)
{
    return ByteWriter().u16(quint32(version)).bytes + qCompress(body, level);
}
