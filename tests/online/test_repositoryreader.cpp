// The readers of the repository's XML replies and the matching of missing blocks.
#include "RepositoryReader.h"
#include "TestMain.h"

Q_DECLARE_METATYPE(RepositoryBlocks)

#include <QApplication>
#include <QLocale>
#include <QTextCodec>

namespace {

QString describe(const RepositoryPatch& p)
{
    return QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
        .arg(p.id)
        .arg(p.uid)
        .arg(p.name, p.user, p.filename, p.date, p.description);
}

QString describe(const RepositoryBlock& b)
{
    return QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8|%9|%10")
        .arg(b.id)
        .arg(b.uid)
        .arg(b.name, b.title, b.user, b.filename, b.category, b.hash, b.date)
        .arg(b.description);
}

QString describe(const RepositoryComment& c)
{
    return QStringLiteral("%1|%2|%3|%4|%5").arg(c.id).arg(c.uid).arg(c.user, c.date, c.content);
}

template <typename List> QStringList describeAll(const List& list)
{
    QStringList out;
    for (const auto& entry : list)
        out << describe(entry);
    return out;
}

RepositoryBlock named(const QString& name, const QString& hash = QString(), int id = 0)
{
    RepositoryBlock b;
    b.name = name;
    b.hash = hash;
    b.id = id;
    return b;
}

} // namespace

class TestRepositoryReader : public QObject
{
    Q_OBJECT
private slots:
    void patches_data();
    void patches();
    void blocks();
    void comments_data();
    void comments();
    void wrongBodyKeepsList_data();
    void wrongBodyKeepsList();
    void hostileBodies_data();
    void hostileBodies();
    void entryBound_data();
    void entryBound();
    void version_data();
    void version();
    void matchMissing_data();
    void matchMissing();
    void userId_data();
    void userId();
};

void TestRepositoryReader::patches_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("all fields")
        << QByteArray("<?xml version=\"1.0\"?><patches><patch id=\"3\" uid=\"4\" "
                      "pname=\"A &amp; B\" uname=\"ann\" filename=\"a.ktl\" date=\"1700000000\">"
                      "<description><![CDATA[\nHello <b>there</b>]]></description>"
                      "</patch></patches>")
        << QStringList{"3|4|A & B|ann|a.ktl|2023.11.14|Hello <b>there</b>"};
    QTest::newRow("entries at any depth, in document order")
        << QByteArray("<patches><page><group><patch id=\"1\" date=\"0\"/></group></page>"
                      "<patch id=\"2\" date=\"0\"/><x><y><z><patch id=\"3\" date=\"0\"/>"
                      "</z></y></x></patches>")
        << QStringList{"1|-99999||||1970.01.01|", "2|-99999||||1970.01.01|",
                       "3|-99999||||1970.01.01|"};
    QTest::newRow("missing attributes and description")
        << QByteArray("<patches><patch/></patches>") << QStringList{"-99999|-99999||||2106.02.06|"};
    QTest::newRow("no entries") << QByteArray("<patches/>") << QStringList();
    QTest::newRow("numbers that are no numbers")
        << QByteArray("<patches><patch id=\"x\" uid=\"\" date=\"soon\"/></patches>")
        << QStringList{"0|0||||1970.01.01|"};
    QTest::newRow("dates are unsigned")
        << QByteArray("<patches><patch id=\"1\" date=\"4102444800\"/></patches>")
        << QStringList{"1|-99999||||2100.01.01|"};
    QTest::newRow("description without CDATA reads empty")
        << QByteArray("<patches><patch id=\"1\" date=\"0\"><description>plain</description>"
                      "</patch></patches>")
        << QStringList{"1|-99999||||1970.01.01|"};
    QTest::newRow("one line feed only")
        << QByteArray("<patches><patch id=\"1\" date=\"0\"><description><![CDATA[\n]]>"
                      "</description></patch></patches>")
        << QStringList{"1|-99999||||1970.01.01|"};
    QTest::newRow("two line feeds keep one")
        << QByteArray("<patches><patch id=\"1\" date=\"0\"><description><![CDATA[\n\nx]]>"
                      "</description></patch></patches>")
        << QStringList{"1|-99999||||1970.01.01|\nx"};
    QTest::newRow("non-ASCII, and CDATA split around ]]>")
        << QByteArray("<patches><patch id=\"1\" pname=\"\xc3\xbc"
                      "ber\" date=\"0\">"
                      "<description><![CDATA[caf\xc3\xa9 ]]]]><![CDATA[>]]></description>"
                      "</patch></patches>")
        << QStringList{QStringLiteral("1|-99999|\u00fcber|||1970.01.01|caf\u00e9 ]]>")};
    // The reader takes the text in pieces of 64 Ki characters; an emoji is two of them.
    const auto straddling = [](const QByteArray& head, const QByteArray& tail) {
        const int boundary = 64 * 1024;
        const QByteArray start = "<patches>";
        return start + QByteArray(boundary - 1 - start.size() - head.size(), ' ') + head +
               "\xf0\x9f\x98\x80" + tail;
    };
    QTest::newRow("emoji across a piece boundary in a name")
        << straddling("<patch id=\"1\" date=\"0\" pname=\"x", "y\"/></patches>")
        << QStringList{QStringLiteral("1|-99999|x\U0001F600y|||1970.01.01|")};
    QTest::newRow("emoji across a piece boundary in a description")
        << straddling("<patch id=\"1\" date=\"0\"><description><![CDATA[\nx",
                      "y]]></description></patch></patches>")
        << QStringList{QStringLiteral("1|-99999||||1970.01.01|x\U0001F600y")};
}

void TestRepositoryReader::patches()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, entries);
    RepositoryPatches list{RepositoryPatch()};
    QVERIFY(RepositoryReader::readPatches(body, list));
    QCOMPARE(describeAll(list), entries);
}

void TestRepositoryReader::blocks()
{
    const QByteArray body =
        "<blocks><block hash=\"0a1f\" id=\"5\" uid=\"6\" bname=\"Fold\" title=\"Folder\" "
        "uname=\"bo\" filename=\"fold.xml\" category=\"Effects\" date=\"86400\">"
        "<description><![CDATA[\nFolds]]></description></block>"
        "<section><block bname=\"Bare\"/></section></blocks>";
    RepositoryBlocks list;
    QVERIFY(RepositoryReader::readBlocks(body, list));
    QCOMPARE(describeAll(list),
             (QStringList{"5|6|Fold|Folder|bo|fold.xml|Effects|0a1f|1970.01.02|Folds",
                          "-99999|-99999|Bare||||||2106.02.06|"}));
}

void TestRepositoryReader::comments_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("entries");

    // Comment dates follow the system locale's short format, not the lists' one.
    const QString shortDate = QLocale::system().toString(QDate(1970, 1, 2), QLocale::ShortFormat);
    QVERIFY(shortDate != QLatin1String("1970.01.02"));
    QTest::newRow("fields and markup kept")
        << QByteArray("<comments><comment date=\"86400\" id=\"9\" uid=\"2\" uname=\"cy\">"
                      "<content><![CDATA[\n<b>Great</b>]]></content></comment></comments>")
        << QStringList{"9|2|cy|" + shortDate + "|\n<b>Great</b>"};
    QTest::newRow("deep and bare")
        << QByteArray("<comments><a><b><comment/></b></a></comments>")
        << QStringList{"-99999|-99999||" +
                       QLocale::system().toString(QDate(2106, 2, 6), QLocale::ShortFormat) + "|"};
}

void TestRepositoryReader::comments()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, entries);
    RepositoryComments list;
    QVERIFY(RepositoryReader::readComments(body, list));
    QCOMPARE(describeAll(list), entries);
}

void TestRepositoryReader::wrongBodyKeepsList_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("not XML") << QByteArray("<html>oops");
    QTest::newRow("plain text") << QByteArray("1");
    QTest::newRow("root of another list") << QByteArray("<blocks><patch id=\"1\"/></blocks>");
    QTest::newRow("root in other case") << QByteArray("<Patches><patch id=\"1\"/></Patches>");
    QTest::newRow("entries without root") << QByteArray("<patch id=\"1\"/><patch id=\"2\"/>");
}

void TestRepositoryReader::wrongBodyKeepsList()
{
    QFETCH(QByteArray, body);
    RepositoryPatch kept;
    kept.id = 77;
    RepositoryPatches list{kept};
    QVERIFY(!RepositoryReader::readPatches(body, list));
    QCOMPARE(list.size(), 1);
    QCOMPARE(list.first().id, 77);
}

void TestRepositoryReader::hostileBodies_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("readable");

    QByteArray deep = "<patches>";
    for (int i = 0; i < 200000; ++i)
        deep += "<a>";
    deep += "<patch id=\"1\"/>";
    QTest::newRow("200000 levels of nesting") << deep << false;

    QByteArray nested = "<patches>";
    for (int i = 0; i < 40; ++i)
        nested += "<a>";
    nested += "<patch id=\"1\"/>";
    for (int i = 0; i < 40; ++i)
        nested += "</a>";
    QTest::newRow("40 levels are fine") << nested + "</patches>" << true;

    QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE p [<!ENTITY a \"aaaaaaaaaa\">";
    char previous = 'a';
    for (char c = 'b'; c <= 'j'; ++c) {
        laughs += QByteArray("<!ENTITY ") + c + " \"";
        for (int i = 0; i < 10; ++i)
            laughs += QByteArray("&") + previous + ";";
        laughs += "\">";
        previous = c;
    }
    laughs += "]><patches><patch pname=\"&j;\"/></patches>";
    QTest::newRow("entity expansion") << laughs << false;

    // What comes before a fault of the XML stands, as with a document that broke off.
    QTest::newRow("zero bytes after an entry")
        << QByteArray("<patches><patch/>\0\0<patch/></patches>", 38) << true;
    QTest::newRow("huge attribute")
        << "<patches><patch pname=\"" + QByteArray(4 << 20, 'x') + "\"/></patches>" << true;

    // The stream reader compares every attribute of a tag with every other.
    auto patchOf = [](int attributes) {
        QByteArray patch = "<patch id=\"1\"";
        for (int i = 1; i < attributes; ++i)
            patch += " a" + QByteArray::number(i) + "=\"\"";
        return patch + "/>";
    };
    QTest::newRow("a tag of 64 attributes") << "<patches>" + patchOf(64) + "</patches>" << true;
    QTest::newRow("a tag of 20,000 attributes")
        << "<patches>" + patchOf(20000) + "</patches>" << false;
    QTest::newRow("a tag of 65 attributes in UTF-16")
        << QTextCodec::codecForName("UTF-16")->fromUnicode(
               QString::fromLatin1("<patches>" + patchOf(65) + "</patches>"))
        << false;
    QTest::newRow("declared attribute defaults")
        << QByteArray("<!DOCTYPE patches [<!ATTLIST patch a CDATA 'v'>]><patches><patch "
                      "id=\"1\"/></patches>")
        << false;
}

void TestRepositoryReader::hostileBodies()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, readable);
    RepositoryPatches list;
    QCOMPARE(RepositoryReader::readPatches(body, list), readable);
    QCOMPARE(list.size(), readable ? 1 : 0);
}

void TestRepositoryReader::entryBound_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<int>("entries");
    QTest::addColumn<bool>("readable");
    for (const char* root : {"patches", "blocks", "comments"}) {
        QTest::addRow("%s, 65536 entries", root) << root << 65536 << true;
        QTest::addRow("%s, 65537 entries", root) << root << 65537 << false;
    }
    QTest::newRow("patches, 65537 entries in groups") << "patches in groups" << 65537 << false;
}

// A list holds at most 65,536 entries; a longer one is refused as a whole.
void TestRepositoryReader::entryBound()
{
    QFETCH(QString, root);
    QFETCH(int, entries);
    QFETCH(bool, readable);
    const bool grouped = root.endsWith(QLatin1String(" in groups"));
    root = root.section(QLatin1Char(' '), 0, 0);
    const QByteArray entry =
        "<" + root.chopped(root == QLatin1String("patches") ? 2 : 1).toLatin1() + " id=\"7\"/>";
    QByteArray body = "<" + root.toLatin1() + ">";
    for (int i = 0; i < entries; ++i)
        body += grouped && i % 1000 == 0 ? "<g>" + entry + "</g>" : entry;
    body += "</" + root.toLatin1() + ">";

    int read = -1;
    bool ok = false;
    if (root == QLatin1String("patches")) {
        RepositoryPatches list{RepositoryPatch()};
        ok = RepositoryReader::readPatches(body, list);
        read = list.size();
    } else if (root == QLatin1String("blocks")) {
        RepositoryBlocks list{RepositoryBlock()};
        ok = RepositoryReader::readBlocks(body, list);
        read = list.size();
    } else {
        RepositoryComments list{RepositoryComment()};
        ok = RepositoryReader::readComments(body, list);
        read = list.size();
    }
    QCOMPARE(ok, readable);
    // A refused list leaves the one before.
    QCOMPARE(read, readable ? entries : 1);
}

void TestRepositoryReader::version_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<bool>("newer");

    QTest::newRow("1.0.0") << QByteArray("<version major=\"1\" sub=\"0\" build=\"0\"/>") << true
                           << false;
    QTest::newRow("0.9.9") << QByteArray("<version major=\"0\" sub=\"9\" build=\"9\"/>") << true
                           << false;
    QTest::newRow("1.0.1") << QByteArray("<version major=\"1\" sub=\"0\" build=\"1\"/>") << true
                           << true;
    QTest::newRow("1.1.0") << QByteArray("<version major=\"1\" sub=\"1\" build=\"0\"/>") << true
                           << true;
    QTest::newRow("2.0.0") << QByteArray("<version major=\"2\" sub=\"0\" build=\"0\"/>") << true
                           << true;
    QTest::newRow("0.99.99") << QByteArray("<version major=\"0\" sub=\"99\" build=\"99\"/>") << true
                             << false;
    QTest::newRow("no build") << QByteArray("<version major=\"2\" sub=\"0\"/>") << false << false;
    QTest::newRow("no major") << QByteArray("<version sub=\"5\" build=\"5\"/>") << false << false;
    QTest::newRow("other root") << QByteArray("<versions major=\"2\" sub=\"0\" build=\"0\"/>")
                                << false << false;
    QTest::newRow("text numbers") << QByteArray("<version major=\"x\" sub=\"9\" build=\"9\"/>")
                                  << true << false;
    QTest::newRow("not XML") << QByteArray("2.0.0") << false << false;
}

void TestRepositoryReader::version()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, valid);
    QFETCH(bool, newer);
    RepositoryReader::Version offered;
    QCOMPARE(RepositoryReader::readVersion(body, offered), valid);
    if (valid)
        QCOMPARE(RepositoryReader::isNewer(offered, {1, 0, 0}), newer);
}

void TestRepositoryReader::matchMissing_data()
{
    QTest::addColumn<RepositoryBlocks>("server");
    QTest::addColumn<RepositoryBlocks>("missing");
    // "name hash" of each match, in order.
    QTest::addColumn<QStringList>("matched");

    const RepositoryBlocks server{named("A", "aaaa", 1), named("B", "bbbb", 2),
                                  named("C", "cccc", 3)};
    QTest::newRow("server order") << server << RepositoryBlocks{named("C"), named("A")}
                                  << QStringList{"A aaaa", "C cccc"};
    QTest::newRow("by name only, the server's hash")
        << server << RepositoryBlocks{named("B", "ffff")} << QStringList{"B bbbb"};
    QTest::newRow("a missing name twice matches once")
        << server << RepositoryBlocks{named("A"), named("A")} << QStringList{"A aaaa"};
    QTest::newRow("two server entries of one name both match")
        << RepositoryBlocks{named("A", "1111"), named("A", "2222")} << RepositoryBlocks{named("A")}
        << QStringList{"A 1111", "A 2222"};
    QTest::newRow("case counts") << server << RepositoryBlocks{named("a")} << QStringList();
    QTest::newRow("nothing missing") << server << RepositoryBlocks() << QStringList();
}

void TestRepositoryReader::matchMissing()
{
    QFETCH(RepositoryBlocks, server);
    QFETCH(RepositoryBlocks, missing);
    QFETCH(QStringList, matched);
    QStringList got;
    for (const RepositoryBlock& b : RepositoryReader::matchMissing(server, missing))
        got << b.name + " " + b.hash;
    QCOMPARE(got, matched);
}

void TestRepositoryReader::userId_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("uid"); // -1: a refusal

    QTest::newRow("digits") << QByteArray("42") << 42;
    QTest::newRow("line feed") << QByteArray("42\n") << 42;
    QTest::newRow("carriage return and line feed") << QByteArray("42\r\n") << 42;
    QTest::newRow("blanks and tabs around") << QByteArray(" \t42 \t\n") << 42;
    QTest::newRow("leading zeros") << QByteArray("007") << 7;
    QTest::newRow("zero") << QByteArray("0") << 0;
    QTest::newRow("largest int") << QByteArray("2147483647") << 2147483647;

    QTest::newRow("empty") << QByteArray() << -1;
    QTest::newRow("line feed only") << QByteArray("\n") << -1;
    QTest::newRow("blanks only") << QByteArray("   ") << -1;
    QTest::newRow("one past the largest int") << QByteArray("2147483648") << -1;
    QTest::newRow("twenty digits") << QByteArray("99999999999999999999") << -1;
    QTest::newRow("negative") << QByteArray("-1") << -1;
    QTest::newRow("plus sign") << QByteArray("+1") << -1;
    QTest::newRow("two line breaks") << QByteArray("42\n\n") << -1;
    QTest::newRow("line break first") << QByteArray("\n42") << -1;
    QTest::newRow("bare carriage return") << QByteArray("42\r") << -1;
    QTest::newRow("blank after the line break") << QByteArray("42\n ") << -1;
    QTest::newRow("two numbers") << QByteArray("4 2") << -1;
    QTest::newRow("trailing text") << QByteArray("42abc") << -1;
    QTest::newRow("a page") << QByteArray("<html>42</html>") << -1;
    QTest::newRow("a zero byte") << QByteArray("42\0", 3) << -1;
}

// A log-in is accepted only with a number the controller can keep as the user's id.
void TestRepositoryReader::userId()
{
    QFETCH(QByteArray, body);
    QFETCH(int, uid);
    int read = -5;
    QCOMPARE(RepositoryReader::readUserId(body, read), uid >= 0);
    QCOMPARE(read, uid >= 0 ? uid : -5);
}

KL_TEST_MAIN(TestRepositoryReader)
#include "test_repositoryreader.moc"
