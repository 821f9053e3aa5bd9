// The check that XML from outside passes before a reader is given it: attributes counted per
// start tag in the text the reader will see, whatever the encoding, and no document type that
// declares anything.
#include "BoundedXml.h"
#include "TestMain.h"

#include <QTextCodec>
#include <QtTest>

namespace {

// `count` attributes a0="v" a1="v" ... on one element.
QByteArray tagOf(int count, const QByteArray& value = "v")
{
    QByteArray tag = "<block";
    for (int i = 0; i < count; ++i)
        tag += " a" + QByteArray::number(i) + "=\"" + value + "\"";
    return tag + "/>";
}

QByteArray encoded(const char* codec, const QByteArray& text)
{
    return QTextCodec::codecForName(codec)->fromUnicode(QString::fromLatin1(text));
}

} // namespace

class TestBoundedXml : public QObject
{
    Q_OBJECT
private slots:
    void startTags_data();
    void startTags();
    void allAttributesTogether();
    void textIsDecodedAsTheReaderDoes_data();
    void textIsDecodedAsTheReaderDoes();
};

void TestBoundedXml::startTags_data()
{
    QTest::addColumn<QByteArray>("data");
    // Empty when the text is given to the reader.
    QTest::addColumn<QString>("error");

    const QString tooMany = QStringLiteral("line 1: a start tag of more than 64 attributes");
    QTest::newRow("64 attributes") << tagOf(64) << QString();
    QTest::newRow("65 attributes") << tagOf(65) << tooMany;
    QTest::newRow("65 attributes on line 3")
        << "<r>\n<x/>\n" + tagOf(65) + "</r>" << QString(tooMany).replace("line 1", "line 3");
    QTest::newRow("values holding > and /") << tagOf(65, "/>") << tooMany;
    QTest::newRow("single quotes") << tagOf(65).replace('"', '\'') << tooMany;
    QTest::newRow("no blanks between attributes") << tagOf(65).replace("\" a", "\"a") << tooMany;
    QTest::newRow("a nested element") << "<r><x>" + tagOf(65) + "</x></r>" << tooMany;
    QTest::newRow("after an end tag and text") << "<r><x/>a > b</r>" + tagOf(65) << tooMany;
    // What the reader never takes for a tag.
    QTest::newRow("in a comment") << "<r><!-- " + tagOf(65) + " --></r>" << QString();
    QTest::newRow("in character data") << "<r><![CDATA[" + tagOf(65) + "]]></r>" << QString();
    QTest::newRow("in a processing instruction") << "<r><?pi " + tagOf(65) + "?></r>" << QString();
    // A comment opening inside a quoted identifier opens nothing.
    QTest::newRow("after a document type naming <!--")
        << "<!DOCTYPE r SYSTEM \"<!--\">" + tagOf(65) + "<!-- -->" << tooMany;
    QTest::newRow("document type without declarations")
        << QByteArray("<!DOCTYPE block SYSTEM \"block.dtd\"><block name=\"x\"/>") << QString();
    const QString declares =
        QStringLiteral("line 2: a document type that declares entities or attributes of its own");
    QTest::newRow("attribute defaults")
        << QByteArray("<!DOCTYPE block\n[<!ATTLIST block a CDATA \"v\">]><block name=\"x\"/>")
        << declares;
    QTest::newRow("entities") << QByteArray("<!DOCTYPE block\n[<!ENTITY e \"<x a='1'/>\">]>"
                                            "<block name=\"x\">&e;</block>")
                              << declares;
    QTest::newRow("malformed is left to the reader") << QByteArray("<block name=") << QString();
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestBoundedXml::startTags()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, error);

    QString text;
    QString reason;
    QCOMPARE(BoundedXml::decode(data, text, &reason), error.isEmpty());
    QCOMPARE(reason, error);
    QCOMPARE(text, error.isEmpty() ? QString::fromUtf8(data) : QString());
}

void TestBoundedXml::allAttributesTogether()
{
    BoundedXml::Limits limits;
    limits.attributes = 100;
    const QByteArray hundred = "<r>" + tagOf(50) + tagOf(50) + "</r>";
    QString text;
    QString error;
    QVERIFY(BoundedXml::decode(hundred, text, &error, limits));
    QVERIFY(
        !BoundedXml::decode("<r>" + tagOf(50) + tagOf(50) + "<x a=''/></r>", text, &error, limits));
    QCOMPARE(error, QStringLiteral("line 1: more than 100 attributes"));
    // Without a bound any number of tags is read.
    QVERIFY(BoundedXml::decode("<r>" + tagOf(64).repeated(100) + "</r>", text, &error));
}

void TestBoundedXml::textIsDecodedAsTheReaderDoes_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");

    const QString tooMany = QStringLiteral("line 1: a start tag of more than 64 attributes");
    const QByteArray wide = tagOf(65);
    QTest::newRow("UTF-16 with a byte order mark")
        << encoded("UTF-16", wide) << QString() << tooMany;
    QTest::newRow("UTF-16LE") << encoded("UTF-16LE", wide) << QString() << tooMany;
    QTest::newRow("UTF-16BE") << encoded("UTF-16BE", wide) << QString() << tooMany;
    QTest::newRow("UTF-32LE") << encoded("UTF-32LE", wide) << QString() << tooMany;
    // Not one byte of the tag is the ASCII '<', '=' or '"'.
    const QByteArray declaration = "<?xml version=\"1.0\" encoding=\"IBM037\"?>";
    QTest::newRow("declared EBCDIC")
        << declaration + encoded("IBM037", wide) << QString() << tooMany;
    QTest::newRow("declared Latin-1")
        << QByteArray("<?xml version='1.0' encoding='ISO-8859-1'?><b n=\"\xe9\"/>")
        << QString::fromUtf8("<?xml version='1.0' encoding='ISO-8859-1'?><b n=\"\xc3\xa9\"/>")
        << QString();
    QTest::newRow("UTF-8 with a byte order mark")
        << QByteArray("\xef\xbb\xbf<b n=\"\xc3\xa9\"/>") << QString::fromUtf8("<b n=\"\xc3\xa9\"/>")
        << QString();
    QTest::newRow("unknown encoding")
        << QByteArray("<?xml version=\"1.0\" encoding=\"x-none\"?><b/>") << QString()
        << QStringLiteral("line 1: the encoding x-none is unknown");
}

void TestBoundedXml::textIsDecodedAsTheReaderDoes()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, text);
    QFETCH(QString, error);

    QString decoded;
    QString reason;
    QCOMPARE(BoundedXml::decode(data, decoded, &reason), error.isEmpty());
    QCOMPARE(reason, error);
    QCOMPARE(decoded, text);
}

KL_TEST_MAIN_NOAPP(TestBoundedXml)
#include "test_boundedxml.moc"
