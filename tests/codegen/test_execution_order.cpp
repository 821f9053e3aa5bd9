#include "CodeCompiler.h"
#include "MessageCapture.h"
#include "TestMain.h"
#include "TestPatch.h"

#include <QRandomGenerator>

#include <algorithm>
#include <memory>

namespace {

// The blocks on the other end of a block's cables, by socket number.
QList<const BlockInstance*> ends(const BlockInstance* block, bool downward)
{
    const auto& sockets = downward ? block->outputs : block->inputs;
    QList<qint32> keys = sockets.keys();
    std::sort(keys.begin(), keys.end());
    QList<const BlockInstance*> result;
    for (qint32 k : keys)
        result << (downward ? sockets.value(k)->inBlock : sockets.value(k)->outBlock);
    return result;
}

// The plain recursion: every path is followed and nothing is marked as done. Fit only for
// small graphs without loops; it is the reference the compiler's order must equal.
struct PlainOrder
{
    InstanceList order;

    void moveToTail(const BlockInstance* block)
    {
        order.removeAll(block);
        order.append(block);
    }
    void bubbleDown(const BlockInstance* block)
    {
        const QList<const BlockInstance*> fed = ends(block, true);
        moveToTail(block);
        for (const BlockInstance* next : fed)
            bubbleDown(next);
    }
    void bubbleUp(const BlockInstance* block)
    {
        const QList<const BlockInstance*> feeding = ends(block, false);
        if (!feeding.isEmpty()) {
            for (const BlockInstance* previous : feeding)
                bubbleUp(previous);
            return;
        }
        moveToTail(block);
        for (int i = 0; i < block->outputs.size(); ++i)
            bubbleDown(block);
    }
    void start(const QList<const BlockInstance*>& instances)
    {
        for (const BlockInstance* block : instances) {
            if (block->outputs.isEmpty())
                bubbleUp(block);
        }
    }
};

// Builds a patch from text such as "A>B B>C": one cable per pair, on the next free output of
// the first block and the next free input of the second.
struct Graph
{
    TestPatch patch;
    const BlockDescription* node = patch.socketBlock(QStringLiteral("node"), 16, 16);
    QHash<QString, int> usedOutputs, usedInputs;

    BlockInstance* block(const QString& label)
    {
        BlockInstance* found = patch.named(label);
        return found ? found : patch.add(node, label);
    }
    explicit Graph(const QString& cables, const QString& others = QString())
    {
        for (const QString& cable : cables.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QStringList ends = cable.split(QLatin1Char('>'));
            BlockInstance* from = block(ends.at(0));
            BlockInstance* to = block(ends.at(1));
            patch.connect(from, usedOutputs[ends.at(0)]++, to, usedInputs[ends.at(1)]++);
        }
        for (const QString& label : others.split(QLatin1Char(','), Qt::SkipEmptyParts))
            block(label);
    }
};

QString bare()
{
    return testsupport::sourcePath(QStringLiteral("tests/codegen/fixtures/bare.txt"));
}

// Every block once, and after every block that feeds it.
void checkTopological(const InstanceList& order, int blockCount)
{
    QCOMPARE(order.size(), blockCount);
    QHash<const BlockInstance*, int> place;
    for (int i = 0; i < order.size(); ++i) {
        QVERIFY2(!place.contains(order.at(i)), "a block is placed twice");
        place.insert(order.at(i), i);
    }
    for (const BlockInstance* block : order) {
        for (const BlockInstance* feeder : ends(block, false))
            QVERIFY2(place.value(feeder) < place.value(block), "a block runs before its feeder");
    }
}

} // namespace

class TestExecutionOrder : public QObject
{
    Q_OBJECT

private slots:
    void order_data();
    void order();
    void matchesPlainRecursion();
    void bubblingMovesLikePlainRecursion();
    void moveToTailKeepsOneEntry();
    void feedbackLoop_data();
    void feedbackLoop();
    void bubblingIntoLoopStops();
    void secondCallStartsAfresh();
    void longChain();
};

void TestExecutionOrder::order_data()
{
    QTest::addColumn<QString>("cables");
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty patch") << ""
                                 << ""
                                 << "";
    QTest::newRow("lone block") << ""
                                << "A"
                                << "A";
    QTest::newRow("chain in order") << "A>B B>E"
                                    << "A,B,E"
                                    << "A,B,E";
    QTest::newRow("chain reversed") << "A>B B>E"
                                    << "E,B,A"
                                    << "A,B,E";
    QTest::newRow("chain mixed") << "A>B B>E"
                                 << "B,A,E"
                                 << "A,B,E";
    QTest::newRow("diamond") << "A>B A>E B>D E>D"
                             << "D,E,B,A"
                             << "A,B,E,D";
    QTest::newRow("unconnected groups") << "X1>X2 Y1>Y2"
                                        << "X1,Y2,X2,Y1"
                                        << "Y1,Y2,X1,X2";
    QTest::newRow("source feeds two sinks") << "A>B A>C"
                                            << "C,B,A"
                                            << "A,B,C";
    QTest::newRow("lone block among a group") << "A>B"
                                              << "A,Z,B"
                                              << "Z,A,B";
    QTest::newRow("second feeder of a later sink") << "A>B A>C D>C"
                                                   << "B,C,A,D"
                                                   << "A,B,D,C";
    QTest::newRow("ladder of diamonds") << "A>B A>C B>D C>D D>E D>F E>G F>G"
                                        << "G,F,E,D,C,B,A"
                                        << "A,B,C,D,E,F,G";
}

void TestExecutionOrder::order()
{
    QFETCH(QString, cables);
    QFETCH(QString, given);
    QFETCH(QString, expected);
    Graph graph(cables, given);
    const QList<const BlockInstance*> instances = graph.patch.list(given);

    CodeCompiler compiler;
    QVERIFY(!compiler.createCode(instances, bare()).isEmpty());
    QCOMPARE(graph.patch.labelsOf(compiler.executionOrder()), expected);
    checkTopological(compiler.executionOrder(), instances.size());

    PlainOrder plain;
    plain.start(instances);
    QCOMPARE(graph.patch.labelsOf(plain.order), expected);
}

// Random graphs without loops: the same order as the plain recursion, block for block.
void TestExecutionOrder::matchesPlainRecursion()
{
    QRandomGenerator random(20240611);
    for (int round = 0; round < 300; ++round) {
        const int blocks = 1 + int(random.bounded(10));
        const double density = random.bounded(1.0) * 0.5;
        QString cables;
        QStringList labels;
        for (int i = 0; i < blocks; ++i) {
            labels << QStringLiteral("N%1").arg(i);
            for (int j = i + 1; j < blocks; ++j) {
                if (random.bounded(1.0) < density)
                    cables += QStringLiteral(" N%1>N%2").arg(i).arg(j);
            }
        }
        std::shuffle(labels.begin(), labels.end(), random);
        Graph graph(cables, labels.join(QLatin1Char(',')));
        const QList<const BlockInstance*> instances = graph.patch.list(labels.join(','));

        CodeCompiler compiler;
        compiler.createCode(instances, bare());
        PlainOrder plain;
        plain.start(instances);
        QCOMPARE(graph.patch.labelsOf(compiler.executionOrder()),
                 graph.patch.labelsOf(plain.order));
        checkTopological(compiler.executionOrder(), blocks);
    }
}

void TestExecutionOrder::bubblingMovesLikePlainRecursion()
{
    QRandomGenerator random(77);
    for (int round = 0; round < 200; ++round) {
        const int blocks = 2 + int(random.bounded(9));
        QString cables;
        QStringList labels;
        for (int i = 0; i < blocks; ++i) {
            labels << QStringLiteral("N%1").arg(i);
            for (int j = i + 1; j < blocks; ++j) {
                if (random.bounded(4) == 0)
                    cables += QStringLiteral(" N%1>N%2").arg(i).arg(j);
            }
        }
        Graph graph(cables, labels.join(QLatin1Char(',')));
        CodeCompiler compiler;
        PlainOrder plain;
        // Start from a scrambled order holding every block.
        std::shuffle(labels.begin(), labels.end(), random);
        for (const BlockInstance* block : graph.patch.list(labels.join(','))) {
            compiler.moveToTail(block);
            plain.moveToTail(block);
        }
        for (int step = 0; step < 4; ++step) {
            const BlockInstance* block = graph.patch.named(labels.at(random.bounded(blocks)));
            if (random.bounded(2)) {
                QVERIFY(compiler.bubbleDown(block));
                plain.bubbleDown(block);
            } else {
                QVERIFY(compiler.bubbleUp(block));
                plain.bubbleUp(block);
            }
            QCOMPARE(graph.patch.labelsOf(compiler.executionOrder()),
                     graph.patch.labelsOf(plain.order));
        }
    }
}

void TestExecutionOrder::moveToTailKeepsOneEntry()
{
    Graph graph(QString(), QStringLiteral("A,B,C"));
    CodeCompiler compiler;
    for (const char* label : {"A", "B", "A", "C", "A"})
        compiler.moveToTail(graph.patch.named(label));
    QCOMPARE(graph.patch.labelsOf(compiler.executionOrder()), QStringLiteral("B,C,A"));
}

void TestExecutionOrder::feedbackLoop_data()
{
    QTest::addColumn<QString>("cables");
    QTest::addColumn<QString>("given");

    QTest::newRow("two blocks feeding each other") << "A>B B>A"
                                                   << "A,B";
    QTest::newRow("block feeding itself") << "A>A"
                                          << "A";
    QTest::newRow("loop between a source and a sink") << "S>A A>B B>A B>T"
                                                      << "S,A,B,T";
    QTest::newRow("loop before a sink, sink first") << "A>B B>C C>B C>D"
                                                    << "D,A,B,C";
    QTest::newRow("loop that no sink reaches") << "X>Y A>B B>C C>A"
                                               << "X,Y,A,B,C";
    QTest::newRow("loop of blocks outside the list") << "A>B B>A B>T"
                                                     << "T";
    QTest::newRow("loop below blocks outside the list") << "S>T S>A A>B B>A"
                                                        << "T";
}

void TestExecutionOrder::feedbackLoop()
{
    QFETCH(QString, cables);
    QFETCH(QString, given);
    Graph graph(cables, given);
    MessageCapture messages;
    CodeCompiler compiler;
    const QString text = compiler.createCode(graph.patch.list(given), bare());

    QVERIFY(text.isEmpty());
    QVERIFY(compiler.executionOrder().isEmpty());
    QCOMPARE(messages.warnings().size(), 1);
    QVERIFY2(messages.warnings().first().contains(QLatin1String("Feedback loop")),
             qPrintable(messages.warnings().first()));
    // The message names the blocks of the loop by type and id.
    QVERIFY(messages.warnings().first().contains(QLatin1String("node (id ")));
}

void TestExecutionOrder::bubblingIntoLoopStops()
{
    Graph graph(QStringLiteral("S>A A>B B>A"));
    CodeCompiler compiler;
    compiler.moveToTail(graph.patch.named(QStringLiteral("S")));
    MessageCapture messages;
    QVERIFY(!compiler.bubbleDown(graph.patch.named(QStringLiteral("S"))));
    QVERIFY(!compiler.bubbleUp(graph.patch.named(QStringLiteral("B"))));
    QCOMPARE(messages.warnings().size(), 2);
    QCOMPARE(graph.patch.labelsOf(compiler.executionOrder()), QStringLiteral("S"));
}

void TestExecutionOrder::secondCallStartsAfresh()
{
    Graph graph(QStringLiteral("A>B C>D"), QStringLiteral("A,B,C,D"));
    CodeCompiler compiler;
    const QString first = compiler.createCode(graph.patch.list(QStringLiteral("A,B,C,D")), bare());
    const QString second = compiler.createCode(graph.patch.list(QStringLiteral("C,D")), bare());
    QCOMPARE(graph.patch.labelsOf(compiler.executionOrder()), QStringLiteral("C,D"));
    QVERIFY(second.size() < first.size());
    QVERIFY(!second.contains(QLatin1String("block2")));
}

// Long enough to overflow the stack of a walk that recurses once per block.
void TestExecutionOrder::longChain()
{
    TestPatch patch;
    const BlockDescription* node = patch.socketBlock(QStringLiteral("node"), 1, 1);
    const int length = 200000;
    BlockInstance* previous = patch.add(node);
    for (int i = 1; i < length; ++i) {
        BlockInstance* next = patch.add(node);
        patch.connect(previous, 0, next, 0);
        previous = next;
    }
    QList<const BlockInstance*> instances = patch.all();
    std::reverse(instances.begin(), instances.end());
    CodeCompiler compiler;
    QVERIFY(!compiler.createCode(instances, bare()).isEmpty());
    QCOMPARE(compiler.executionOrder().size(), length);
    for (int i = 0; i < length; ++i)
        QCOMPARE(compiler.executionOrder().at(i)->id, i + 1);
}

KL_TEST_MAIN(TestExecutionOrder)
#include "test_execution_order.moc"
