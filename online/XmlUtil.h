#pragma once

#include <QDomElement>
#include <QString>
#include <QXmlStreamAttributes>

// Readers of the repository's XML replies: values travel as attributes, long texts as a child
// element holding one CDATA section.
namespace util::xml {

// The value an absent number attribute reads as.
constexpr int missingNumber = -99999;

// The attribute as a decimal int; 0 for text that is no number, `missingNumber` when absent.
int getInt(const QDomElement& element, const QString& name);
// The same for an element met by a stream reader; `name` is Latin-1.
int getInt(const QXmlStreamAttributes& attributes, const char* name);
// The attribute's text; a null string when absent.
QString getString(const QDomElement& element, const QString& name);
QString getString(const QXmlStreamAttributes& attributes, const char* name);
// The CDATA text of the first child element called `name` (its first node and the CDATA
// sections right after it); a null string when there is no such child or its first node is
// not a CDATA section.
QString getStringFromCData(const QDomElement& element, const QString& name);

} // namespace util::xml
