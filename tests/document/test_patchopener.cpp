// The steps that build a document from a decoded patch.
#include "FixtureHost.h"
#include "MessageCapture.h"
#include "PatchComment.h"
#include "PatchDocument.h"
#include "PatchOpener.h"
#include "PatchScene.h"
#include "TestMain.h"

#include <QtTest>

namespace {

PackedInstance packed(const QString& name, qint32 id, const QList<QList<qint32>>& cables = {})
{
    PackedInstance block;
    block.name = name;
    block.id = id;
    block.values = QStringList{QStringLiteral("0")};
    block.connections = cables;
    return block;
}

PatchOpener::Library libraryOf(const FixtureHost& host)
{
    return [&host](const QString& name) { return host.library.blockDescription(name); };
}

QString cablesOf(const PatchDocument& doc)
{
    QStringList lines;
    for (const BlockConnection* c : doc.blockConnections())
        lines << QStringLiteral("%1:%2.%3>%4.%5")
                     .arg(c->id)
                     .arg(c->outBlock->id)
                     .arg(c->outBlockSocketId)
                     .arg(c->inBlock->id)
                     .arg(c->inBlockSocketId);
    return lines.join(QLatin1Char(' '));
}

} // namespace

class TestPatchOpener : public QObject
{
    Q_OBJECT
private slots:
    void cables_data();
    void cables();
    void binding();
    void blocksWithoutDescription();
    void commentsKeepTheirText();
};

void TestPatchOpener::cables_data()
{
    // Oscillators 1 and 2 (one input, one output) and Mixer 3 (two inputs, one output); each
    // row gives the cables stored with block 1, then those with block 2.
    QTest::addColumn<QList<QList<qint32>>>("fromOne");
    QTest::addColumn<QList<QList<qint32>>>("fromTwo");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<QString>("warning");

    using Cables = QList<QList<qint32>>;
    QTest::newRow("numbered from 0 in stored order")
        << Cables{{0, 3, 0}} << Cables{{0, 3, 1}} << "0:1.0>3.0 1:2.0>3.1" << QString();
    QTest::newRow("the last cable to an input wins")
        << Cables{{0, 3, 0}} << Cables{{0, 3, 0}} << "1:2.0>3.0"
        << "One cable of the patch was left out: a socket takes one cable, and the last one to "
           "it was kept.";
    QTest::newRow("255 cables on one input keep one")
        <<
        [] {
            Cables many;
            for (int i = 0; i < 255; ++i)
                many.append({0, 3, 0});
            return many;
        }()
        << Cables{} << "254:1.0>3.0"
        << "254 cables of the patch were left out: a socket takes one cable, and the last one "
           "to each was kept.";
    QTest::newRow("the last cable from an output wins")
        << Cables{{0, 3, 0}, {0, 3, 1}} << Cables{} << "1:1.0>3.1"
        << "One cable of the patch was left out: a socket takes one cable, and the last one to "
           "it was kept.";
    QTest::newRow("a socket freed by a later cable is free again")
        << Cables{{0, 3, 0}, {0, 3, 1}} << Cables{{0, 3, 0}} << "1:1.0>3.1 2:2.0>3.0"
        << "One cable of the patch was left out: a socket takes one cable, and the last one to "
           "it was kept.";
    QTest::newRow("a refused cable takes no socket")
        << Cables{{0, 3, 0}} << Cables{{0, 3, 7}, {0, 9, 0}, {1, 3, 0}, {0, 3}} << "0:1.0>3.0"
        << QString();
}

void TestPatchOpener::cables()
{
    QFETCH(QList<QList<qint32>>, fromOne);
    QFETCH(QList<QList<qint32>>, fromTwo);
    QFETCH(QString, kept);
    QFETCH(QString, warning);

    FixtureHost host;
    PatchDocument doc(&host);
    PackedPatch patch;
    patch.blocks << packed("Oscillator", 1, fromOne) << packed("Oscillator", 2, fromTwo)
                 << packed("Mixer", 3);
    QCOMPARE(PatchOpener::addBlocks(&doc, patch, libraryOf(host)), 0);
    MessageCapture messages;
    PatchOpener::addCables(&doc, patch);
    QCOMPARE(cablesOf(doc), kept);
    QCOMPARE(messages.warnings(), warning.isEmpty() ? QStringList() : QStringList{warning});
}

void TestPatchOpener::binding()
{
    FixtureHost host;
    PatchDocument doc(&host);
    const QByteArray echo = FixtureHost::blockXml(QStringLiteral("Echo"), QStringLiteral("Fx"),
                                                  QStringLiteral("<v socket=\"in\"/>"));
    PackedPatch patch;
    patch.blocks << packed("Nowhere", 1) << packed("Nowhere", 2) << packed("Echo", 3)
                 << packed("Mixer", 4) << packed("Mixer", 5) << packed("Audio Output", 6)
                 << packed("Cut", 7) << packed("Oscillator", 8);
    patch.blocks[0].hash = QStringLiteral("1111");
    patch.blocks[1].hash = QStringLiteral("2222");
    patch.blocks[3].hash = patch.blocks[4].hash = QStringLiteral("abcd");
    patch.blocks[5].hash = QStringLiteral("abcd");
    patch.blocks[7].hash = host.library.blockDescription("Oscillator")->hash;
    // A carried block whose file was cut short still names itself, one that does not parse at
    // all names nothing.
    const QByteArray cut = FixtureHost::blockXml(QStringLiteral("Cut"), QStringLiteral("Fx"),
                                                 QStringLiteral("<v socket=\"in\"/>"))
                               .left(40);
    const PatchOpener::Binding binding =
        PatchOpener::bindBlocks(&doc, patch, {echo, cut, QByteArray("junk")}, libraryOf(host));

    QCOMPARE(binding.notFound, QStringList{"Nowhere"});
    QCOMPARE(binding.notFoundHashes, QStringList{"1111"});
    QCOMPARE(binding.different, QStringList{"Mixer"});
    QCOMPARE(binding.damaged, QStringList{"Cut"});
    QVERIFY(doc.getBlockDescription("Echo"));

    MessageCapture messages;
    QCOMPARE(PatchOpener::addBlocks(&doc, patch, libraryOf(host)), 3);
    QCOMPARE(doc.blockInstances().size(), 5);
    QCOMPARE(doc.blockInstance(3)->description, doc.getBlockDescription("Echo"));
    // One line per name, however many of its blocks are left out.
    QCOMPARE(messages.texts(QtDebugMsg),
             (QStringList{"2 block(s) Nowhere left out: the description is missing",
                          "1 block(s) Cut left out: the description is missing"}));
}

void TestPatchOpener::blocksWithoutDescription()
{
    FixtureHost host;
    PatchDocument doc(&host);
    PackedPatch patch;
    patch.nodeId = 5;
    patch.blocks << packed("Oscillator", 1) << packed("Mixer", 2);
    patch.blocks[1].nodeValue = 9;
    patch.blocks[1].values.clear();
    QCOMPARE(PatchOpener::addBlocks(&doc, patch, libraryOf(host)), 0);
    QCOMPARE(doc.blockInstance(1)->nodeId, 5);
    QCOMPARE(doc.blockInstance(2)->nodeId, 9);
    // Values the record lacks come from the description.
    QCOMPARE(doc.blockInstance(2)->values.size(),
             int(host.library.blockDescription("Mixer")->variables.size()));
}

void TestPatchOpener::commentsKeepTheirText()
{
    FixtureHost host;
    PatchDocument doc(&host);
    PackedPatch patch;
    patch.comments << Comment{3, 10, 20, QStringLiteral("plain")}
                   << Comment{4, 30, 40, QStringLiteral("<b>bold</b>")};
    PatchOpener::addComments(&doc, patch);
    QCOMPARE(doc.comments().size(), 2);
    QCOMPARE(doc.comment(3)->text, QStringLiteral("plain"));
    QCOMPARE(doc.comment(4)->text, QStringLiteral("<b>bold</b>"));
    QGraphicsItem* item = doc.patchScene()->itemAt(QPointF(31, 41), QTransform());
    QVERIFY(item && item->type() == PatchComment::Type);
    QCOMPARE(static_cast<PatchComment*>(item)->toPlainText(), QStringLiteral("bold"));
}

KL_TEST_MAIN(TestPatchOpener)
#include "test_patchopener.moc"
