#include "XmlReply.h"

XmlReply::XmlReply(const char* rootName) : root(rootName)
{
    out.reserve(4096);
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?><";
    out += root;
    out += '>';
}

void XmlReply::beginEntry(const char* name)
{
    out += '<';
    out += name;
}

void XmlReply::attribute(const char* name, const QString& value)
{
    out += ' ';
    out += name;
    out += "=\"";
    appendText(value, true);
    out += '"';
}

void XmlReply::attribute(const char* name, qint64 value)
{
    out += ' ';
    out += name;
    out += "=\"";
    out += QByteArray::number(value);
    out += '"';
}

void XmlReply::longText(const char* name, const QString& text, bool leadingLineFeed)
{
    out += "><";
    out += name;
    out += "><![CDATA[";
    if (leadingLineFeed)
        out += '\n';
    appendText(text, false);
    out += "]]></";
    out += name;
    out += '>';
}

void XmlReply::endEntry(const char* name)
{
    out += "</";
    out += name;
    out += '>';
}

QByteArray XmlReply::finish()
{
    out += "</";
    out += root;
    out += '>';
    return out;
}

void XmlReply::appendText(const QString& text, bool inAttribute)
{
    const QByteArray utf8 = text.toUtf8();
    const int size = utf8.size();
    const char* s = utf8.constData();
    // Plain runs are copied whole; only the bytes that need another form are looked at.
    int run = 0;
    auto flush = [&](int end) {
        if (end > run)
            out.append(s + run, end - run);
    };
    for (int i = 0; i < size; ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const char* replacement = nullptr;
        int skip = 0;
        if (c == 0xef && i + 2 < size && static_cast<unsigned char>(s[i + 1]) == 0xbf &&
            (static_cast<unsigned char>(s[i + 2]) & 0xfe) == 0xbe) {
            replacement = " "; // U+FFFE, U+FFFF
            skip = 2;
        } else if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            replacement = " ";
        } else if (!inAttribute) {
            if (c == ']' && i + 2 < size && s[i + 1] == ']' && s[i + 2] == '>') {
                replacement = "]]]]><![CDATA[>";
                skip = 2;
            }
        } else {
            switch (c) {
            case '&':
                replacement = "&amp;";
                break;
            case '<':
                replacement = "&lt;";
                break;
            case '>':
                replacement = "&gt;";
                break;
            case '"':
                replacement = "&quot;";
                break;
            case '\t':
                replacement = "&#9;";
                break;
            case '\n':
                replacement = "&#10;";
                break;
            case '\r':
                replacement = "&#13;";
                break;
            default:
                break;
            }
        }
        if (!replacement)
            continue;
        flush(i);
        out += replacement;
        i += skip;
        run = i + 1;
    }
    flush(size);
}
