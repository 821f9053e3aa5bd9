// The pitch blocks: the worked notes and the edges of the note range, and every note from 0 to
// 127 and its fractions (each step of 1/1024) measured against the exact equal-tempered
// frequency.
#include "BlockHarness.h"
#include "TestMain.h"

#include <QtTest>

#include <cmath>

namespace {

const char* const patch = R"(
whole = i1o1_midi2cps
fine = i1o2_mtof
precise = i1o2_mtof2
)";

// 440 x 2^((note - 69) / 12) x 1024, for a note given x 1024.
long double exactFrequency(qint64 note)
{
    return 450560.0L * std::pow(2.0L, (note / 1024.0L - 69.0L) / 12.0L);
}

qint64 nearestInteger(long double v)
{
    return qint64(std::floor(v + 0.5L));
}

// Sets the note on all three blocks and reads their five outputs.
QString readAll(qint64 note)
{
    return QStringLiteral("set whole.in0 %1; set fine.in0 %1; set precise.in0 %1; audio 1;"
                          " get whole.out0; get fine.out0; get fine.out1; get precise.out0;"
                          " get precise.out1")
        .arg(note);
}

} // namespace

class TestPitchBlocks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void behaviour_data();
    void behaviour();
    void aboveTheRange_data();
    void aboveTheRange();
    void fractionalNotes();

private:
    BlockHarness harness;
};

void TestPitchBlocks::initTestCase()
{
    QString error;
    QVERIFY2(harness.prepare({patch}, &error), qPrintable(error));
}

void TestPitchBlocks::behaviour_data()
{
    // The answers: whole.out0; fine.out0, fine.out1; precise.out0, precise.out1.
    QList<BlockHarness::Case> cases;
    cases << BlockHarness::Case{"note 69 is 440 Hz everywhere", patch, readAll(70656),
                                "450560; 450560; 450560; 450560; 450560"};
    cases << BlockHarness::Case{"note 0", patch, readAll(0), "8372; 8372; 8352; 8372; 8372"};
    cases << BlockHarness::Case{"note 127", patch, readAll(130048),
                                "12844906; 12844906; 12844896; 12844906; 12844906"};
    // The nearest note rounds 69.5 up to 70; the whole note stays at 69.
    cases << BlockHarness::Case{"note 69.5", patch, readAll(71168),
                                "450560; 477352; 463760; 477352; 463540"};
    cases << BlockHarness::Case{"note 69.49 rounds down", patch, readAll(71167),
                                "450560; 450560; 463677; 450560; 463540"};
    // Just below 0: the rounding brings the nearest note to 0, the whole note is out of range;
    // the fine outputs take note 127 with the whole fraction (just under a semitone above).
    cases << BlockHarness::Case{"note -0.5", patch, readAll(-512),
                                "12844906; 8372; 13605758; 8372; 13603798"};
    cases << BlockHarness::Case{"note -1/1024", patch, readAll(-1),
                                "12844906; 8372; 13605758; 8372; 13603798"};
    cases << BlockHarness::Case{"below -0.5 is note 127", patch, readAll(-513),
                                "12844906; 12844906; 13605758; 12844906; 13603798"};
    cases << BlockHarness::Case{"the largest negative note", patch, readAll(-2147483647LL - 1),
                                "12844906; 12844906; 13605758; 12844906; 13603798"};
    harness.addCaseRows(cases);
}

void TestPitchBlocks::behaviour()
{
    QFETCH(QString, answers);
    QFETCH(QString, expected);
    QCOMPARE(answers, expected);
}

void TestPitchBlocks::aboveTheRange_data()
{
    QTest::addColumn<qint64>("note");
    QTest::addColumn<QString>("answers");
    const QList<qint64> notes{131072, 131072 + 1023, 1 << 20, 2147483647, -1000000};
    QList<BlockHarness::Job> jobs;
    for (qint64 note : notes)
        jobs << BlockHarness::Job{patch, readAll(note)};
    const QList<BlockHarness::Run> runs = harness.runAll(jobs);
    for (int i = 0; i < notes.size(); ++i) {
        const BlockHarness::Run& r = runs.at(i);
        QTest::newRow(qPrintable(QString::number(notes.at(i))))
            << notes.at(i)
            << (r.ok ? r.lines.join(QLatin1String("; ")) : QStringLiteral("FAILED: ") + r.failure);
    }
}

void TestPitchBlocks::aboveTheRange()
{
    QFETCH(qint64, note);
    QFETCH(QString, answers);
    const QStringList values = answers.split(QLatin1String("; "));
    QCOMPARE(values.size(), 5);
    const qint64 top = 12844906;
    // The whole note is 127 outside 0..127.
    if (note < 0 || note >= 131072)
        QCOMPARE(values.at(0).toLongLong(), top);
    // Past 127 (or below -0.5) the note counts as 127 and its whole remaining fraction applies:
    // just under a semitone above note 127, on both fine outputs.
    if (note >= 131072 || note < -512) {
        for (int i : {2, 4}) {
            const qint64 v = values.at(i).toLongLong();
            QVERIFY2(v > exactFrequency(127 * 1024 + 1000) * 0.997L &&
                         v < exactFrequency(128 * 1024),
                     qPrintable(QString("output %1: %2").arg(i).arg(v)));
        }
    }
}

void TestPitchBlocks::fractionalNotes()
{
    // Every note from 0 to the top of the range (127 and 1023/1024) in steps of 1/1024, in
    // eight runs side by side.
    const qint64 last = 128 * 1024 - 1;
    const int parts = 8;
    QList<BlockHarness::Job> jobs;
    QList<qint64> firsts;
    for (int p = 0; p < parts; ++p) {
        const qint64 first = last * p / parts + (p > 0 ? 1 : 0);
        const qint64 end = last * (p + 1) / parts;
        QString script;
        for (qint64 note = first; note <= end; ++note)
            script += readAll(note) + QLatin1Char(';');
        jobs << BlockHarness::Job{patch, script};
        firsts << first;
    }
    const QList<BlockHarness::Run> runs = harness.runAll(jobs);

    double worstFine = 0.0;
    double worstPrecise = 0.0;
    qint64 worstFineNote = 0;
    qint64 worstPreciseNote = 0;
    qint64 checked = 0;
    for (int p = 0; p < parts; ++p) {
        const BlockHarness::Run& r = runs.at(p);
        QVERIFY2(r.ok, qPrintable(r.failure));
        QCOMPARE(r.lines.size() % 5, 0);
        for (int k = 0; k < r.lines.size(); k += 5, ++checked) {
            const qint64 note = firsts.at(p) + k / 5;
            const long double exact = exactFrequency(note);
            // The whole and the nearest note are the table's entries: the exact frequencies of
            // those notes, rounded; a note that rounds up past 127 stays at 127.
            const qint64 wholeNote = note / 1024;
            const qint64 nearestNote = qMin<qint64>((note + 512) / 1024, 127);
            const QString at = QStringLiteral("note %1/1024").arg(note);
            QVERIFY2(r.lines.at(k).toLongLong() == nearestInteger(exactFrequency(wholeNote * 1024)),
                     qPrintable(at));
            QVERIFY2(r.lines.at(k + 1).toLongLong() ==
                         nearestInteger(exactFrequency(nearestNote * 1024)),
                     qPrintable(at));
            QVERIFY2(r.lines.at(k + 3) == r.lines.at(k + 1), qPrintable(at));
            const double fine = double(std::fabs(r.lines.at(k + 2).toLongLong() / exact - 1.0L));
            const double precise = double(std::fabs(r.lines.at(k + 4).toLongLong() / exact - 1.0L));
            if (fine > worstFine) {
                worstFine = fine;
                worstFineNote = note;
            }
            if (precise > worstPrecise) {
                worstPrecise = precise;
                worstPreciseNote = note;
            }
        }
    }
    QCOMPARE(checked, last + 1);
    qInfo("largest errors: i1o2_mtof %.4f%% (note %.4f), i1o2_mtof2 %.4f%% (note %.4f)",
          worstFine * 100, worstFineNote / 1024.0, worstPrecise * 100, worstPreciseNote / 1024.0);
    QVERIFY2(
        worstFine < 0.003,
        qPrintable(
            QString("i1o2_mtof: %1% at note %2").arg(worstFine * 100).arg(worstFineNote / 1024.0)));
    QVERIFY2(worstPrecise < 0.002, qPrintable(QString("i1o2_mtof2: %1% at note %2")
                                                  .arg(worstPrecise * 100)
                                                  .arg(worstPreciseNote / 1024.0)));
}

KL_TEST_MAIN(TestPitchBlocks)

#include "test_pitch_blocks.moc"
