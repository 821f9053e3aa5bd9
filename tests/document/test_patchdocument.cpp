#include "CanvasBlock.h"
#include "FixtureHost.h"
#include "MessageCapture.h"
#include "PatchCable.h"
#include "PatchComment.h"
#include "PatchDocument.h"
#include "PatchScene.h"
#include "TestMain.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QUndoStack>
#include <QWheelEvent>
#include <QtTest>
#include <cmath>

namespace {

const QString osc = QStringLiteral("Oscillator");
const QString mixer = QStringLiteral("Mixer");
const QString output = QStringLiteral("Audio Output");

QSet<int> instanceIds(const PatchDocument& doc)
{
    QSet<int> ids;
    for (const BlockInstance* instance : doc.blockInstances())
        ids.insert(instance->id);
    return ids;
}

int countItems(const PatchScene* scene, int type)
{
    int count = 0;
    for (const QGraphicsItem* item : scene->items())
        count += item->type() == type ? 1 : 0;
    return count;
}

// A source instance as loading and pasting make them: a known description, an id, no cables.
BlockInstance sourceInstance(const FixtureHost& host, const QString& name, int id)
{
    BlockInstance source;
    source.id = id;
    source.nodeId = 7;
    source.description = host.library.blockDescription(name);
    for (const Variable& variable : source.description->variables)
        source.values.append(variable.value);
    return source;
}

// Drives a document through its handlers, the way the scene and paste do. Tokens: "b" adds an
// Oscillator, "a" an Audio Output, "A<id>" / "o<id>" paste an Audio Output / Oscillator with
// that id, "r<id>" removes a block, "c" adds a comment, "k<id>" removes a comment.
void runScript(PatchDocument& doc, FixtureHost& host, const QString& script)
{
    const QStringList tokens = script.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& token : tokens) {
        const int id = token.mid(1).toInt();
        switch (token.at(0).toLatin1()) {
        case 'b':
            doc.addBlockHandler(osc, 10, 10);
            break;
        case 'a':
            doc.addBlockHandler(output, 10, 10);
            break;
        case 'A': {
            const BlockInstance source = sourceInstance(host, output, id);
            doc.addBlockInstanceHandler(output, 20, 20, &source);
            break;
        }
        case 'o': {
            const BlockInstance source = sourceInstance(host, osc, id);
            doc.addBlockInstanceHandler(osc, 20, 20, &source);
            break;
        }
        case 'r':
            doc.removeBlockHandler(id);
            break;
        case 'c':
            doc.addCommentHandler();
            break;
        case 'k':
            doc.removeCommentHandler(id);
            break;
        default:
            QFAIL(qPrintable(QStringLiteral("bad token ") + token));
        }
    }
}

} // namespace

class TestPatchDocument : public QObject
{
    Q_OBJECT

private slots:
    void newDocument();
    void ids_data();
    void ids();
    void secondAudioOutput();
    void mainOutput_data();
    void mainOutput();
    void valueFormatting_data();
    void valueFormatting();
    void replacedInstance_data();
    void replacedInstance();
    void connectionGuards_data();
    void connectionGuards();
    void oneCablePerSocket_data();
    void oneCablePerSocket();
    void replacingDropsOnlyItsCables();
    void zoom_data();
    void zoom();
    void commentLink_data();
    void commentLink();
    void addCommentOnlyInCurrentDocument();
    void userBlockFiles_data();
    void userBlockFiles();
    void descriptions();
};

void TestPatchDocument::newDocument()
{
    FixtureHost host;
    PatchDocument doc(&host);
    QCOMPARE(doc.patchInfo()->name, QStringLiteral("new patch"));
    QCOMPARE(doc.patchInfo()->zoomLevel, 0);
    QVERIFY(doc.patchInfo()->includeBlocks);
    QVERIFY(qAbs(qint64(doc.patchInfo()->date) - QDateTime::currentSecsSinceEpoch()) < 5);
    QCOMPARE(doc.sceneRect(), QRectF(0, 0, 4000, 4000));
    QCOMPARE(doc.contextMenuPolicy(), Qt::ActionsContextMenu);
    QStringList menu;
    for (const QAction* action : doc.actions())
        menu << action->text();
    QCOMPARE(menu, QStringList({"delete", "copy", "paste", "comment"}));
    QVERIFY(!doc.changed());
    QVERIFY(doc.isEmpty());
    QVERIFY(!doc.mainOut());
}

void TestPatchDocument::ids_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("nextBlock");
    QTest::addColumn<int>("nextComment");
    QTest::addColumn<bool>("empty");

    QTest::newRow("empty document") << "" << 1 << 1 << true;
    QTest::newRow("comments are no blocks") << "c c" << 1 << 3 << true;
    QTest::newRow("three blocks") << "b b b" << 4 << 1 << false;
    QTest::newRow("removed highest block id is reused") << "b b b r3" << 3 << 1 << false;
    QTest::newRow("removed middle block id is not") << "b b b r2" << 4 << 1 << false;
    QTest::newRow("all blocks removed") << "b b r2 r1" << 1 << 1 << true;
    QTest::newRow("pasted id counts") << "b o9" << 10 << 1 << false;
    QTest::newRow("removed highest comment id is reused") << "c c k2" << 1 << 2 << true;
    QTest::newRow("removed lower comment id is not") << "c c k1" << 1 << 3 << true;
}

void TestPatchDocument::ids()
{
    QFETCH(QString, script);
    QFETCH(int, nextBlock);
    QFETCH(int, nextComment);
    QFETCH(bool, empty);

    FixtureHost host;
    PatchDocument doc(&host);
    host.current = &doc;
    runScript(doc, host, script);
    QCOMPARE(doc.isEmpty(), empty);

    const QSet<int> before = instanceIds(doc);
    doc.addBlockHandler(osc, 0, 0);
    const QSet<int> added = instanceIds(doc) - before;
    QCOMPARE(added, QSet<int>({nextBlock}));

    doc.addCommentHandler();
    QVERIFY(doc.comment(nextComment));
    QCOMPARE(doc.highestCommentId(), nextComment);
}

void TestPatchDocument::secondAudioOutput()
{
    FixtureHost host;
    PatchDocument doc(&host);
    MessageCapture messages;

    doc.addBlockHandler(output, 0, 0);
    QVERIFY(doc.mainOut());
    QCOMPARE(doc.mainOut()->id, 1);
    doc.setChanged(false);

    doc.addBlockHandler(output, 50, 50);
    QCOMPARE(messages.warnings(),
             QStringList({"You have already added a main audio output to your patch."}));
    QCOMPARE(doc.blockInstances().size(), 1);
    QCOMPARE(countItems(doc.patchScene(), CanvasBlock::Type), 1);
    QVERIFY(doc.changed());
    QCOMPARE(doc.addBlock(output, 0, 0, nullptr), nullptr);

    doc.removeBlockHandler(1);
    QVERIFY(!doc.mainOut());
    messages.clear();
    doc.addBlockHandler(output, 0, 0);
    QVERIFY(messages.warnings().isEmpty());
    QVERIFY(doc.mainOut());
    QCOMPARE(doc.mainOut()->id, 1);
}

void TestPatchDocument::mainOutput_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("mainId");

    QTest::newRow("a pasted output becomes the main one") << "a A2" << 2;
    QTest::newRow("removing the main of two keeps the other") << "a A2 r2" << 1;
    QTest::newRow("removing the other of two keeps the main") << "a A2 r1" << 2;
    QTest::newRow("removing both leaves none") << "a A2 r1 r2" << 0;
    QTest::newRow("a third output is refused while one is left") << "a A2 r2 a" << 1;
    QTest::newRow("non-output replacing the only output") << "a o1" << 0;
    QTest::newRow("non-output replacing the main of two") << "a A2 o2" << 1;
    QTest::newRow("output replacing the main output") << "a A1" << 1;
}

void TestPatchDocument::mainOutput()
{
    QFETCH(QString, script);
    QFETCH(int, mainId);

    FixtureHost host;
    PatchDocument doc(&host);
    MessageCapture messages;
    runScript(doc, host, script);

    if (mainId == 0) {
        QVERIFY(!doc.mainOut());
        return;
    }
    QVERIFY(doc.mainOut());
    QCOMPARE(doc.mainOut()->id, mainId);
    // The pointer is the stored instance of that id, and it is an output.
    QCOMPARE(doc.mainOut(), doc.blockInstance(mainId));
    QCOMPARE(doc.mainOut()->description->name, output);
    QCOMPARE(doc.patchScene()->blockItem(mainId)->instance(), doc.mainOut());
}

void TestPatchDocument::valueFormatting_data()
{
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("whole number") << "v"
                                  << "2.000000"
                                  << "2";
    QTest::newRow("trailing zero") << "v"
                                   << "0.50"
                                   << "0.5";
    QTest::newRow("negative") << "v"
                              << "-0.125"
                              << "-0.125";
    QTest::newRow("six significant digits") << "v"
                                            << "3.14159265"
                                            << "3.14159";
    QTest::newRow("large number") << "v"
                                  << "1234567"
                                  << "1.23457e+06";
    QTest::newRow("empty text") << "v"
                                << ""
                                << "0";
    QTest::newRow("not a number") << "v"
                                  << "abc"
                                  << "0";
    QTest::newRow("array kept") << "table[3]"
                                << "1.0,2.50,3"
                                << "1.0,2.50,3";
    QTest::newRow("empty array kept") << "buf[8]"
                                      << ""
                                      << "";
}

void TestPatchDocument::valueFormatting()
{
    QFETCH(QString, variable);
    QFETCH(QString, value);
    QFETCH(QString, expected);

    FixtureHost host;
    QVERIFY(host.addLibraryBlock(FixtureHost::blockXml(
        QStringLiteral("Values"), QStringLiteral("Math"),
        QStringLiteral("<v socket=\"in\"/><v name=\"%1\" value=\"%2\"/>").arg(variable, value))));
    PatchDocument doc(&host);
    doc.addBlockHandler(QStringLiteral("Values"), 0, 0);
    const BlockInstance* instance = doc.blockInstance(1);
    QVERIFY(instance);
    // in0, the variable, rate.
    QCOMPARE(instance->values, QStringList({"0", expected, "0"}));
}

void TestPatchDocument::replacedInstance_data()
{
    QTest::addColumn<QString>("sourceName");
    QTest::addColumn<QString>("warning");

    QTest::newRow("same block type") << osc << "Replace [Oscillator] instance with id: 1";
    QTest::newRow("other block type") << mixer << "Replace [Mixer] instance with id: 1";
}

void TestPatchDocument::replacedInstance()
{
    QFETCH(QString, sourceName);
    QFETCH(QString, warning);

    FixtureHost host;
    PatchDocument doc(&host);
    doc.addBlock(osc, 0, 0, nullptr);
    doc.addBlock(mixer, 0, 100, nullptr);
    doc.addConnection(4, 1, 0, 2, 0);
    QCOMPARE(doc.blockConnections().size(), 1);

    MessageCapture messages;
    BlockInstance source = sourceInstance(host, sourceName, 1);
    BlockInstance* replacing = doc.addBlock(sourceName, 300, 40, &source);
    QCOMPARE(messages.warnings(), QStringList({warning}));
    QVERIFY(replacing);
    QCOMPARE(doc.blockInstance(1), replacing);
    QCOMPARE(replacing->description->name, sourceName);
    QCOMPARE(QPoint(replacing->x, replacing->y), QPoint(300, 40));
    QCOMPARE(replacing->nodeId, 7);

    // The replaced instance leaves no item and no cable pointing at it.
    QCOMPARE(countItems(doc.patchScene(), CanvasBlock::Type), 2);
    QCOMPARE(doc.patchScene()->blockItem(1)->instance(), replacing);
    QCOMPARE(countItems(doc.patchScene(), PatchCable::Type), 0);
    QVERIFY(doc.blockConnections().isEmpty());
    QVERIFY(doc.blockInstance(2)->inputs.isEmpty());

    // Connections naming a replaced id are refused without a word and without a change mark.
    doc.setChanged(false);
    doc.addConnection(5, 2, 0, 1, 0);
    doc.addConnection(6, 1, 0, 2, 1);
    QVERIFY(doc.blockConnections().isEmpty());
    QVERIFY(!doc.changed());
    QCOMPARE(messages.warnings().size(), 1);
}

void TestPatchDocument::connectionGuards_data()
{
    QTest::addColumn<int>("outBlock");
    QTest::addColumn<int>("outSocket");
    QTest::addColumn<int>("inBlock");
    QTest::addColumn<int>("inSocket");
    QTest::addColumn<bool>("stored");

    QTest::newRow("valid") << 1 << 0 << 2 << 1 << true;
    QTest::newRow("no such source block") << 9 << 0 << 2 << 0 << false;
    QTest::newRow("no such target block") << 1 << 0 << 9 << 0 << false;
    QTest::newRow("output socket out of range") << 1 << 1 << 2 << 0 << false;
    QTest::newRow("input socket out of range") << 1 << 0 << 2 << 2 << false;
    QTest::newRow("negative socket") << 1 << -1 << 2 << 0 << false;
}

void TestPatchDocument::connectionGuards()
{
    QFETCH(int, outBlock);
    QFETCH(int, outSocket);
    QFETCH(int, inBlock);
    QFETCH(int, inSocket);
    QFETCH(bool, stored);

    FixtureHost host;
    PatchDocument doc(&host);
    doc.addBlock(osc, 0, 0, nullptr);
    doc.addBlock(mixer, 0, 100, nullptr);
    doc.addConnection(3, outBlock, outSocket, inBlock, inSocket);
    QCOMPARE(doc.blockConnections().size(), stored ? 1 : 0);
    QCOMPARE(countItems(doc.patchScene(), PatchCable::Type), stored ? 1 : 0);
    if (!stored)
        return;
    const BlockConnection* connection = doc.blockConnection(3);
    QCOMPARE(doc.blockInstance(1)->outputs.value(outSocket), connection);
    QCOMPARE(doc.blockInstance(2)->inputs.value(inSocket), connection);
    QCOMPARE(doc.patchScene()->cableItem(3)->inBlock()->instanceId(), 2);

    // The same id again replaces the cable; the old socket entry goes with it.
    doc.addConnection(3, 1, 0, 2, 0);
    QCOMPARE(doc.blockConnections().size(), 1);
    QCOMPARE(countItems(doc.patchScene(), PatchCable::Type), 1);
    QVERIFY(!doc.blockInstance(2)->inputs.contains(1));
    QCOMPARE(doc.blockInstance(2)->inputs.value(0), doc.blockConnection(3));

    doc.removeConnection(3);
    QVERIFY(doc.blockConnections().isEmpty());
    QVERIFY(doc.blockInstance(1)->outputs.isEmpty());
    QVERIFY(doc.blockInstance(2)->inputs.isEmpty());
    QCOMPARE(countItems(doc.patchScene(), PatchCable::Type), 0);
}

void TestPatchDocument::oneCablePerSocket_data()
{
    // Cables as "id out.socket>in.socket", added in order to Oscillators 1 and 2 and Mixer 3.
    QTest::addColumn<QString>("cables");
    QTest::addColumn<QList<int>>("kept");

    QTest::newRow("free sockets keep both") << "1 1.0>3.0 2 2.0>3.1" << QList<int>{1, 2};
    QTest::newRow("a new cable takes the input") << "1 1.0>3.0 2 2.0>3.0" << QList<int>{2};
    QTest::newRow("a new cable takes the output") << "1 1.0>3.0 2 1.0>3.1" << QList<int>{2};
    QTest::newRow("a new cable takes both sockets")
        << "1 1.0>3.0 2 2.0>3.1 3 1.0>3.1" << QList<int>{3};
    QTest::newRow("the same two sockets under a new id") << "1 1.0>3.0 2 1.0>3.0" << QList<int>{2};
}

void TestPatchDocument::oneCablePerSocket()
{
    QFETCH(QString, cables);
    QFETCH(QList<int>, kept);

    FixtureHost host;
    PatchDocument doc(&host);
    doc.addBlock(osc, 0, 0, nullptr);
    doc.addBlock(osc, 100, 0, nullptr);
    doc.addBlock(mixer, 0, 100, nullptr);
    const QStringList tokens = cables.split(QLatin1Char(' '));
    for (int i = 0; i + 1 < tokens.size(); i += 2) {
        const QStringList ends = tokens[i + 1].split(QLatin1Char('>'));
        const QStringList out = ends[0].split(QLatin1Char('.'));
        const QStringList in = ends[1].split(QLatin1Char('.'));
        QVERIFY(doc.addConnection(tokens[i].toInt(), out[0].toInt(), out[1].toInt(), in[0].toInt(),
                                  in[1].toInt()));
    }

    QList<int> ids;
    for (const BlockConnection* c : doc.blockConnections())
        ids << c->id;
    QCOMPARE(ids, kept);
    QCOMPARE(countItems(doc.patchScene(), PatchCable::Type), kept.size());
    // Every socket records exactly the cables that are left.
    int recorded = 0;
    for (const BlockInstance* b : doc.blockInstances()) {
        for (const BlockConnection* c : b->inputs) {
            QVERIFY(kept.contains(c->id));
            QCOMPARE(c->inBlock, b);
            ++recorded;
        }
        for (const BlockConnection* c : b->outputs) {
            QVERIFY(kept.contains(c->id));
            QCOMPARE(c->outBlock, b);
            ++recorded;
        }
    }
    QCOMPARE(recorded, 2 * kept.size());
}

void TestPatchDocument::replacingDropsOnlyItsCables()
{
    FixtureHost host;
    PatchDocument doc(&host);
    // 1 -> 3 -> 2 -> 4, and 1 -> 4: block 3 has a cable on each side.
    doc.addBlock(osc, 0, 0, nullptr);
    doc.addBlock(osc, 100, 0, nullptr);
    doc.addBlock(mixer, 0, 100, nullptr);
    doc.addBlock(mixer, 100, 100, nullptr);
    QVERIFY(doc.addConnection(1, 1, 0, 3, 0));
    QVERIFY(doc.addConnection(2, 3, 0, 2, 0));
    QVERIFY(doc.addConnection(3, 2, 0, 4, 0));
    QVERIFY(doc.addConnection(4, 4, 0, 1, 0));

    QTest::ignoreMessage(QtWarningMsg, "Replace [Mixer] instance with id: 3");
    BlockInstance source = sourceInstance(host, mixer, 3);
    QVERIFY(doc.addBlock(mixer, 0, 200, &source));
    // The document drops the cables itself: the canvas is not asked to, which would push steps.
    QCOMPARE(doc.undoStack()->count(), 0);

    QList<int> ids;
    for (const BlockConnection* c : doc.blockConnections())
        ids << c->id;
    QCOMPARE(ids, (QList<int>{3, 4}));
    QCOMPARE(countItems(doc.patchScene(), PatchCable::Type), 2);
    QVERIFY(doc.blockInstance(1)->outputs.isEmpty());
    QVERIFY(doc.blockInstance(2)->inputs.isEmpty());
    QCOMPARE(doc.blockInstance(2)->outputs.value(0), doc.blockConnection(3));
    QCOMPARE(doc.blockInstance(1)->inputs.value(0), doc.blockConnection(4));
    QVERIFY(doc.blockInstance(3)->inputs.isEmpty() && doc.blockInstance(3)->outputs.isEmpty());
}

void TestPatchDocument::zoom_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<int>("level");
    QTest::addColumn<bool>("changed");

    QTest::newRow("ctrl+wheel up twice, then reset") << "w+ w+ reset" << 0 << true;
    QTest::newRow("ctrl+wheel up twice") << "w+ w+" << 2 << true;
    QTest::newRow("ctrl+wheel down") << "w-" << -1 << true;
    QTest::newRow("plain wheel scrolls") << "s+ s-" << 0 << false;
    QTest::newRow("ctrl+shift wheel scrolls") << "W+" << 0 << false;
    QTest::newRow("zoom in and out") << "in in out" << 1 << true;
    QTest::newRow("set level 3") << "set3" << 3 << true;
    QTest::newRow("set level -2") << "set-2" << -2 << true;
    QTest::newRow("set level 0 marks nothing") << "set0" << 0 << false;
    QTest::newRow("set level starts from 0") << "w+ w+ w+ set-1" << -1 << true;
    // A patch may say any number of steps; what it says is held to what use reaches.
    QTest::newRow("set level 40") << "set40" << 40 << true;
    QTest::newRow("set level 41 is held at 40") << "set41" << 40 << true;
    QTest::newRow("set level 65535 is held at 40") << "set65535" << 40 << true;
    QTest::newRow("set level -65535 is held at -40") << "set-65535" << -40 << true;
    QTest::newRow("zooming goes on past it") << "set40 in" << 41 << true;
}

void TestPatchDocument::zoom()
{
    QFETCH(QString, steps);
    QFETCH(int, level);
    QFETCH(bool, changed);

    FixtureHost host;
    PatchDocument doc(&host);
    doc.resize(400, 300);
    const auto wheel = [&doc](int delta, Qt::KeyboardModifiers modifiers) {
        QWheelEvent event(QPointF(100, 100), doc.viewport()->mapToGlobal(QPoint(100, 100)),
                          QPoint(), QPoint(0, delta), Qt::NoButton, modifiers, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(doc.viewport(), &event);
    };
    for (const QString& step : steps.split(QLatin1Char(' '))) {
        if (step == QLatin1String("w+"))
            wheel(120, Qt::ControlModifier);
        else if (step == QLatin1String("w-"))
            wheel(-120, Qt::ControlModifier);
        else if (step == QLatin1String("s+"))
            wheel(120, Qt::NoModifier);
        else if (step == QLatin1String("s-"))
            wheel(-120, Qt::NoModifier);
        else if (step == QLatin1String("W+"))
            wheel(120, Qt::ControlModifier | Qt::ShiftModifier);
        else if (step == QLatin1String("in"))
            doc.zoomIn();
        else if (step == QLatin1String("out"))
            doc.zoomOut();
        else if (step == QLatin1String("reset"))
            doc.zoomReset();
        else if (step.startsWith(QLatin1String("set")))
            doc.setZoomLevel(step.mid(3).toInt());
    }
    QCOMPARE(doc.patchInfo()->zoomLevel, level);
    QCOMPARE(doc.changed(), changed);
    const double scale = std::pow(1.15, level);
    QVERIFY(qAbs(doc.transform().m11() - scale) < 1e-9);
    QVERIFY(qAbs(doc.transform().m22() - scale) < 1e-9);
}

void TestPatchDocument::commentLink_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<bool>("opened");

    QTest::newRow("patch file") << "/tmp/tutorial/first.ktl" << true;
    QTest::newRow("upper-case suffix") << "/tmp/tutorial/first.KTL" << false;
    QTest::newRow("web page") << "https://example.org/page.html" << false;
    QTest::newRow("suffix inside the name") << "/tmp/first.ktl.txt" << false;
}

void TestPatchDocument::commentLink()
{
    QFETCH(QString, link);
    QFETCH(bool, opened);

    FixtureHost host;
    PatchDocument doc(&host);
    doc.commentLink(link);
    QCOMPARE(host.openedPaths,
             opened ? QStringList({QDir::toNativeSeparators(link)}) : QStringList());
}

void TestPatchDocument::addCommentOnlyInCurrentDocument()
{
    FixtureHost host;
    PatchDocument doc(&host);
    PatchDocument other(&host);
    host.current = &other;
    host.getAction(QStringLiteral("comment"))->trigger();
    QVERIFY(doc.comments().isEmpty());
    QCOMPARE(other.comments().size(), 1);

    host.current = &doc;
    host.getAction(QStringLiteral("comment"))->trigger();
    QCOMPARE(doc.comments().size(), 1);
    QCOMPARE(other.comments().size(), 1);
    const Comment* added = doc.comment(1);
    QVERIFY(added);
    QCOMPARE(QPoint(added->x, added->y), QPoint(0, 0));
    QVERIFY(doc.patchScene()->commentItem(1)->editing());
    QCOMPARE(doc.undoStack()->count(), 1);
}

void TestPatchDocument::userBlockFiles_data()
{
    QTest::addColumn<QString>("kind");

    QTest::newRow("user block read from its file") << "user";
    QTest::newRow("user block whose file is gone") << "missing";
    QTest::newRow("carried block keeps its bytes") << "patch";
    QTest::newRow("library block is not carried") << "library";
}

void TestPatchDocument::userBlockFiles()
{
    QFETCH(QString, kind);

    FixtureHost host;
    const QByteArray xml = FixtureHost::blockXml(QStringLiteral("Own"), QStringLiteral("Math"),
                                                 QStringLiteral("<v socket=\"out\"/>"));
    QVERIFY(host.addLibraryBlock(xml, kind == QLatin1String("library")
                                          ? BlockDescription::OriginLibrary
                                          : BlockDescription::OriginUser));
    PatchDocument doc(&host);
    const QByteArray carriedBytes = QByteArray(xml).replace("\n", "\r\n");
    if (kind == QLatin1String("patch")) {
        doc.addBlockDescription(
            BlockManager::loadBlock(carriedBytes, BlockDescription::OriginPatch));
        BlockInstance source;
        source.description = doc.getBlockDescription(QStringLiteral("Own"));
        source.values = QStringList({"0", "0"});
        for (int id : {1, 2}) {
            source.id = id;
            doc.addBlock(QStringLiteral("Own"), 0, 0, &source);
        }
    } else {
        doc.addBlock(QStringLiteral("Own"), 0, 0, nullptr);
        doc.addBlock(QStringLiteral("Own"), 0, 50, nullptr);
    }
    doc.addBlock(osc, 0, 100, nullptr);
    if (kind == QLatin1String("missing"))
        QVERIFY(QFile::remove(host.blockFilePath(QStringLiteral("Own"))));

    MessageCapture messages;
    bool ok = false;
    const QHash<QString, BlockDescription> files = doc.getUserBlockFiles(&ok);
    if (kind == QLatin1String("missing")) {
        QVERIFY(!ok);
        QVERIFY(files.isEmpty());
        QCOMPARE(messages.warnings(),
                 QStringList({"Could not read file : " + host.blockFilePath("Own")}));
        return;
    }
    QVERIFY(ok);
    QVERIFY(messages.warnings().isEmpty());
    if (kind == QLatin1String("library")) {
        QVERIFY(files.isEmpty());
        return;
    }
    QCOMPARE(files.keys(), QStringList({"Own"}));
    const BlockDescription& carried = files.value(QStringLiteral("Own"));
    QCOMPARE(carried.name, QStringLiteral("Own"));
    if (kind == QLatin1String("user")) {
        QCOMPARE(carried.filePath, host.blockFilePath(QStringLiteral("Own")));
        QCOMPARE(carried.rawData, xml);
    } else {
        QVERIFY(carried.filePath.isEmpty());
        QCOMPARE(carried.rawData, carriedBytes);
    }
}

void TestPatchDocument::descriptions()
{
    FixtureHost host;
    PatchDocument doc(&host);
    BlockDescription first = BlockManager::loadBlock(
        FixtureHost::blockXml(QStringLiteral("Carried"), QStringLiteral("Math"),
                              QStringLiteral("<v socket=\"in\"/>")),
        BlockDescription::OriginPatch);
    BlockDescription second = first;
    second.category = QStringLiteral("Logic");
    doc.addBlockDescription(first);
    const BlockDescription* stored = doc.getBlockDescription(QStringLiteral("Carried"));
    QVERIFY(stored);
    QCOMPARE(stored->inputs.size(), 1);
    QCOMPARE(stored->inputs.first(), &stored->variables.front());

    // A copy held elsewhere must not move the stored descriptions on the next write.
    const PatchDocument::Descriptions copy = *doc.getBlockDescriptions();
    doc.addBlockDescription(second);
    doc.addBlockDescription(BlockManager::loadBlock(
        FixtureHost::blockXml(QStringLiteral("Other"), QStringLiteral("Math"), QString()),
        BlockDescription::OriginPatch));
    doc.updateDescriptionOrigin(QStringLiteral("Carried"), BlockDescription::OriginUser);
    doc.updateDescriptionOrigin(QStringLiteral("Unknown"), BlockDescription::OriginUser);
    QCOMPARE(doc.getBlockDescription(QStringLiteral("Carried")), stored);
    QCOMPARE(stored->category, QStringLiteral("Math"));
    QCOMPARE(stored->origin, BlockDescription::OriginUser);
    QCOMPARE(copy.value(QStringLiteral("Carried")).origin, BlockDescription::OriginPatch);
    QCOMPARE(doc.blocksInCategories()->value(QStringLiteral("Math")).size(), 2);
    QCOMPARE(doc.blocksInCategories()->value(QStringLiteral("Math")).first(), stored);
    QVERIFY(!doc.changed());
}

KL_TEST_MAIN(TestPatchDocument)
#include "test_patchdocument.moc"
