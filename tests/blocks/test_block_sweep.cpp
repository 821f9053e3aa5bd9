// Every block of the program's blocks folder, once at audio rate and once at control rate,
// driven with extreme input values: one input at a time, in pairs and all together, for many
// calls. Blocks with editable arrays are driven again with every such array empty and with a
// single element. The blocks run under the address and undefined-behaviour sanitizers; a report
// or a signal fails the sweep and names the block.
#include "BlockDescription.h"
#include "BlockHarness.h"
#include "BlockManager.h"
#include "TestMain.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QtTest>

namespace {

// Blocks per program: enough programs to keep every core busy, few enough to build quickly.
const int batchSize = 6;

// The base names of a block's editable arrays, which the user may leave empty or cut short.
QStringList editableArrays(const BlockDescription& d)
{
    QStringList names;
    for (const Variable& v : d.variables) {
        if (v.editable && v.name.contains(QLatin1Char('[')))
            names << v.name.left(v.name.indexOf(QLatin1Char('[')));
    }
    return names;
}

} // namespace

class TestBlockSweep : public QObject
{
    Q_OBJECT

private slots:
    void everyBlockSurvivesExtremeInputs();
};

void TestBlockSweep::everyBlockSurvivesExtremeInputs()
{
    BlockHarness harness;
    QStringList names = harness.library().getBlockDescriptions()->keys();
    names.sort();
    QVERIFY(!names.isEmpty());

    QList<BlockHarness::Job> jobs;
    QList<QStringList> batches;
    QList<int> blockCounts;
    for (int first = 0; first < names.size(); first += batchSize) {
        const QStringList batch = names.mid(first, batchSize);
        QString patch;
        int blocks = 0;
        for (int i = 0; i < batch.size(); ++i) {
            patch += QStringLiteral("a%1 = \"%2\" rate=0\nc%1 = \"%2\" rate=1\n")
                         .arg(i)
                         .arg(batch.at(i));
            blocks += 2;
            // Every editable array also empty, and with a single element, at both rates.
            const QStringList arrays =
                editableArrays(*harness.library().blockDescription(batch.at(i)));
            if (arrays.isEmpty())
                continue;
            QString empty, single;
            for (const QString& a : arrays) {
                empty += QStringLiteral(" %1=").arg(a);
                single += QStringLiteral(" %1=1").arg(a);
            }
            patch += QStringLiteral("e%1 = \"%2\" rate=0%3\nf%1 = \"%2\" rate=1%3\n"
                                    "o%1 = \"%2\" rate=0%4\np%1 = \"%2\" rate=1%4\n")
                         .arg(i)
                         .arg(batch.at(i), empty, single);
            blocks += 4;
        }
        // 300 calls for each single value reach past the blocks' counters; pairs take 4.
        jobs << BlockHarness::Job{patch, QStringLiteral("sweep 300 4")};
        batches << batch;
        blockCounts << blocks;
    }

    QElapsedTimer timer;
    timer.start();
    const QList<BlockHarness::Run> runs = harness.runAll(jobs);
    QStringList failures;
    for (int i = 0; i < runs.size(); ++i) {
        const BlockHarness::Run& run = runs.at(i);
        const QString expected = QStringLiteral("sweep %1 blocks ").arg(blockCounts.at(i));
        const bool swept =
            std::any_of(run.lines.cbegin(), run.lines.cend(),
                        [&expected](const QString& line) { return line.startsWith(expected); });
        if (!run.ok || !swept)
            failures << QStringLiteral("blocks %1:\n%2")
                            .arg(batches.at(i).join(QLatin1String(", ")),
                                 run.ok ? run.lines.join('\n') : run.failure);
    }
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join("\n\n")));
    qInfo("%d blocks swept in %lld ms", int(names.size()), timer.elapsed());
}

KL_TEST_MAIN(TestBlockSweep)

#include "test_block_sweep.moc"
