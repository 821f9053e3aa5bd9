#pragma once

#include <QByteArray>
#include <QString>

// A list reply's XML written straight into UTF-8 bytes: a root element holding entries whose
// values are attributes, each with one long text in a CDATA section. Lists are the server's
// busiest answers, and a stream writer on bytes costs several times as much.
//
// Text that XML 1.0 cannot hold (control characters other than tab, line feed and carriage
// return; U+FFFE and U+FFFF) becomes a blank.
class XmlReply
{
public:
    explicit XmlReply(const char* root);

    // <name attributes...><long>text</long></name>
    void beginEntry(const char* name);
    void attribute(const char* name, const QString& value);
    void attribute(const char* name, qint64 value);
    // Ends the entry's start tag and writes its long text; a "]]>" in it is split across two
    // CDATA sections.
    void longText(const char* name, const QString& text, bool leadingLineFeed);
    void endEntry(const char* name);
    QByteArray finish();

private:
    void appendText(const QString& text, bool inAttribute);

    QByteArray out;
    QByteArray root;
};
