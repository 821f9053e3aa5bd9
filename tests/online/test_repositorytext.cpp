// What the online windows make of the server's text: escaped markup with its line breaks, the
// entry header, the comment table, safe file names for downloaded blocks, upload file names,
// and which links may be opened.
#include "RepositoryText.h"
#include "TestMain.h"

#include <QUrl>

class TestRepositoryText : public QObject
{
    Q_OBJECT
private slots:
    void escapedText_data();
    void escapedText();
    void entryHeader();
    void commentsText();
    void safeBlockFileName_data();
    void safeBlockFileName();
    void uploadFileName_data();
    void uploadFileName();
    void isWebLink_data();
    void isWebLink();
};

void TestRepositoryText::escapedText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("html");
    QTest::newRow("plain") << "a patch"
                           << "a patch";
    QTest::newRow("markup") << "<script>x</script>"
                            << "&lt;script&gt;x&lt;/script&gt;";
    QTest::newRow("link") << "<a href='file:///etc/passwd'>p</a>"
                          << "&lt;a href='file:///etc/passwd'&gt;p&lt;/a&gt;";
    QTest::newRow("amp and quote") << "a & \"b\""
                                   << "a &amp; &quot;b&quot;";
    QTest::newRow("line breaks") << "one\ntwo\r\nthree\rfour"
                                 << "one<br>two<br>three<br>four";
}

void TestRepositoryText::escapedText()
{
    QFETCH(QString, text);
    QFETCH(QString, html);
    QCOMPARE(util::escapedText(text), html);
}

void TestRepositoryText::entryHeader()
{
    const QString html = util::entryHeader(
        {{"Author", ""}, {"Name", "<i>Drone</i>"}, {"Category", ""}, {"Title", "Slow\nDrone"}});
    QCOMPARE(html, QStringLiteral("<div style=\"background:#888888;color:white;width:100%;"
                                  "font-size:11px; \" ><br>"
                                  "<strong>. Name : </strong>&lt;i&gt;Drone&lt;/i&gt;<br>"
                                  "<strong>. Title : </strong>Slow<br>Drone<br></div>"));
}

void TestRepositoryText::commentsText()
{
    QCOMPARE(util::commentsText({}), QStringLiteral("No Comments"));
    RepositoryComment c;
    c.user = QStringLiteral("<b>eve</b>");
    c.date = QStringLiteral("1/2/24");
    c.content = QStringLiteral("<script>alert(1)</script>\nsecond line");
    const QString html = util::commentsText({c, c});
    QVERIFY(html.startsWith(QLatin1String("<table><tr><td width='80%'")));
    QVERIFY(html.endsWith(QLatin1String("</td></tr></table></td></tr></table>")));
    QCOMPARE(html.count(QLatin1String("&lt;script&gt;alert(1)&lt;/script&gt;<br>second line")), 2);
    QCOMPARE(html.count(QLatin1String("&lt;b&gt;eve&lt;/b&gt;")), 2);
    QVERIFY(!html.contains(QLatin1String("<script>")));
    QVERIFY(!html.contains(QLatin1String("<b>")));
}

void TestRepositoryText::safeBlockFileName_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("block");
    QTest::addColumn<QString>("file");
    QTest::newRow("plain") << "drums.xml"
                           << "Drums"
                           << "drums.xml";
    QTest::newRow("block suffix") << "drums.block"
                                  << "Drums"
                                  << "drums.block";
    QTest::newRow("suffix case kept") << "drums.XML"
                                      << "Drums"
                                      << "drums.XML";
    QTest::newRow("no suffix") << "drums"
                               << "Drums"
                               << "drums.xml";
    QTest::newRow("other suffix") << "drums.sh"
                                  << "Drums"
                                  << "drums.sh.xml";
    QTest::newRow("parent folders") << "../../x"
                                    << "X"
                                    << "x.xml";
    QTest::newRow("absolute") << "/etc/x"
                              << "X"
                              << "x.xml";
    QTest::newRow("backslashes") << "..\\..\\win.block"
                                 << "W"
                                 << "win.block";
    QTest::newRow("dot dot only") << ".."
                                  << "Gain"
                                  << "Gain.xml";
    QTest::newRow("folder only") << "blocks/"
                                 << "Gain"
                                 << "Gain.xml";
    QTest::newRow("hidden") << ".bashrc"
                            << "B"
                            << "bashrc.xml";
    QTest::newRow("suffix only") << ".xml"
                                 << "B"
                                 << "xml.xml";
    QTest::newRow("control characters") << "a\nb\tc\u0001\u202e.xml"
                                        << "B"
                                        << "abc.xml";
    QTest::newRow("nothing usable") << "/../"
                                    << "../"
                                    << "block.xml";
    QTest::newRow("empty") << ""
                           << ""
                           << "block.xml";
    QTest::newRow("too long") << QString(300, 'a') + ".block"
                              << "B" << QString(util::maxFileNameLength - 6, 'a') + ".block";
    QTest::newRow("surrogate at the cut")
        << QString(util::maxFileNameLength - 5, 'a') + QString::fromUtf8("\xf0\x9f\x8e\xb9") +
               "b.xml"
        << "B" << QString(util::maxFileNameLength - 5, 'a') + ".xml";
}

void TestRepositoryText::safeBlockFileName()
{
    QFETCH(QString, server);
    QFETCH(QString, block);
    QFETCH(QString, file);
    const QString name = util::safeBlockFileName(server, block);
    QCOMPARE(name, file);
    QVERIFY(name.size() <= util::maxFileNameLength);
    QVERIFY(!name.startsWith(QLatin1Char('.')));
    QVERIFY(!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')));
}

void TestRepositoryText::uploadFileName_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "/home/a/drums.block"
                           << "drums.block";
    QTest::newRow("two dots") << "/home/a/drums.live.block"
                              << "drums.block";
    QTest::newRow("three dots") << "rel/a.b.c.xml"
                                << "a.xml";
}

void TestRepositoryText::uploadFileName()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QCOMPARE(util::uploadFileName(path), name);
}

void TestRepositoryText::isWebLink_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("web");
    QTest::newRow("http") << "http://example.org/x" << true;
    QTest::newRow("https") << "HTTPS://example.org/x" << true;
    QTest::newRow("file") << "file:///etc/passwd" << false;
    QTest::newRow("javascript") << "javascript:alert(1)" << false;
    QTest::newRow("ftp") << "ftp://example.org/" << false;
    QTest::newRow("relative") << "etc/passwd" << false;
}

void TestRepositoryText::isWebLink()
{
    QFETCH(QString, url);
    QFETCH(bool, web);
    QCOMPARE(util::isWebLink(QUrl(url)), web);
}

KL_TEST_MAIN(TestRepositoryText)

#include "test_repositorytext.moc"
