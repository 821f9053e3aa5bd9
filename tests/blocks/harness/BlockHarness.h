#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class BlockManager;

// Builds and runs block test programs. A patch of library blocks, written as text (see
// HarnessPatch), goes through the real BlockManager and CodeCompiler into the block test
// template: the emulator template's runtime up to its marker, the generated code, and a C driver
// (harness_driver.c) in place of the audio callback. The program is compiled as the emulator is
// (-O2 -fwrapv -fno-builtin) plus the address and undefined-behaviour sanitizers, so a sanitizer
// report or a signal fails the run.
//
// A behaviour table is a list of cases, each a patch, a script and the expected answers:
//   {"multiply 50000 by 50000", "m = i2o1_multiply",
//    "set m.in0 50000; set m.in1 50000; audio 1; get m.out0", "2439844"}
// Scripts are the driver's commands (harness_driver.c): set, get, audio, control, samples,
// trace, echo, order, sweep; ';' separates them like a line end. Answers are joined by "; ",
// and a line that a block prints reads "printed <line>". Each run is a fresh process, so cases
// never share block state; a program is built once per patch text. In the test:
//   void behaviour_data() { harness.addCaseRows(cases); }
//   void behaviour() { QFETCH(QString, answers); QFETCH(QString, expected);
//                      QCOMPARE(answers, expected); }
class BlockHarness
{
public:
    struct Run
    {
        bool ok = false;
        // Driver answers without their "@ " mark; lines the blocks print as "printed <line>".
        QStringList lines;
        // Why the run failed: build errors, the driver's error, a sanitizer report, a signal.
        QString failure;
    };
    struct Job
    {
        QString patch;
        QString script;
    };
    struct Compilation
    {
        bool ok = false;
        QString log;
    };
    // One row of a behaviour table.
    struct Case
    {
        QString name;
        QString patch;
        QString script;
        QString expected;
    };

    // The library of the given folder; by default the source tree's runtime/blocks.
    explicit BlockHarness(const QString& blocksFolder = QString());
    ~BlockHarness();
    BlockHarness(const BlockHarness&) = delete;
    BlockHarness& operator=(const BlockHarness&) = delete;

    static QString sourceBlocksFolder();
    // The block test template made at build time.
    static QString templatePath();
    // The compiler command line without its output and input files.
    static QStringList compilerArguments();

    const BlockManager& library() const { return *manager; }
    QString blocksFolder() const { return folder; }

    // The whole C source of a patch; empty, with `error` set, when the text names something
    // that does not exist or the code generator gives nothing.
    QByteArray source(const QString& patchText, QString* error) const;
    // The program of a patch, built on first use; empty with `error` (the compiler's output).
    QString program(const QString& patchText, QString* error);
    // Builds several programs side by side. False, with the first failure in `error`, when any
    // of them has no program; the others are built all the same.
    bool prepare(const QStringList& patchTexts, QString* error);

    Run run(const QString& patchText, const QString& script);
    // Runs side by side; results in the order of `jobs`.
    QList<Run> runAll(const QList<Job>& jobs);
    // The run's lines joined by "; ", or "FAILED: " and the failure: one text to compare.
    QString answers(const QString& patchText, const QString& script);

    // For a behaviour table's _data function: runs every case side by side, then adds the
    // columns "answers" (what the run gave, as answers() gives it) and "expected", and a row
    // per case.
    void addCaseRows(const QList<Case>& cases);

    // Compiles each C source to an object file with the system compiler and `arguments`,
    // side by side: for checks that a source builds, without running it.
    QList<Compilation> compileObjects(const QList<QByteArray>& sources,
                                      const QStringList& arguments);

private:
    QString folder;
    std::unique_ptr<BlockManager> manager;
    QTemporaryDir work;
    QHash<QString, QString> programs;
    // Why a patch text has no program, for every run that asks for it.
    QHash<QString, QString> buildErrors;
    int serial = 0;
};
