#pragma once

#include <QByteArray>
#include <QString>

// XML from outside (block files, server replies) checked before a reader is given it. The
// stream reader compares every attribute of a start tag with every other, and applies the
// attribute defaults a document type declares to every element it reads, so one tag of 100,000
// attributes, or as many declared defaults, holds it for a minute. The bytes are decoded here as
// that reader decodes them, and the readers are then given this text: the check sees every
// character they see, whatever the encoding.
class BoundedXml
{
public:
    struct Limits
    {
        // Attributes of one start tag. The block files we ship have at most 5, replies 9.
        int attributesPerTag = 64;
        // Attributes of all start tags together; negative for no bound.
        qint64 attributes = -1;
        // For a reader that wants one attribute of the first element and nothing more: the
        // text ends with that element's start tag, which keeps only the attribute of this name,
        // and a document type's own declarations are left out instead of refusing it.
        QString firstElementAttribute;
    };

    // The text of `data` as the stream reader decodes it: the encoding its first bytes show
    // (UTF-16 or UTF-32), else the one its XML declaration names, else UTF-8. False, with the
    // reason in `error` and `text` empty, when that encoding is unknown, when a start tag has more
    // attributes than `limits` allow, or when a document type declares anything of its own
    // (entities or attribute defaults would make tags the check cannot see). Malformed XML is
    // left to the reader; the check is linear in the text.
    static bool decode(const QByteArray& data, QString& text, QString* error, const Limits& limits);
    // With the default limits.
    static bool decode(const QByteArray& data, QString& text, QString* error = nullptr);
};
