#pragma once

#include "InstanceList.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>

// Runs the same generated code of a patch twice under one control schedule by sample index and
// keeps both records: as firmware.bin of the staged firmware folder built by "compile.sh test"
// and booted from the raw image under qemu-system-arm (mps2-an385, RAM filled with a pattern
// first, semihosting files), and as a desktop program made of the emulator template with its
// main replaced by desktop_driver.c, so the samples go through the emulator's own audio
// callback. Per sample both write out[0..3], led_value[0..1] and a digest of every block output
// (kl_test_probe, appended to both sources); what the patch prints is captured on both sides,
// the debug UART from QEMU's standard output.
class FirmwareComparison
{
public:
    struct Change
    {
        qint32 sample;
        qint32 control;
        qint32 value;
    };
    struct Case
    {
        QString name;
        InstanceList instances;
        QList<Change> schedule;
        qint32 samples = 40000;
    };
    struct Result
    {
        QString name;
        // Why the comparison could not be made (a build or a run failed); empty when it ran.
        QString failure;
        QByteArray device;
        QByteArray desktop;
        QByteArray devicePrinted;
        QByteArray desktopPrinted;
        qint64 imageSize = 0;
    };

    static constexpr int RecordWords = 7;

    FirmwareComparison();

    // Builds every case, then runs all of them side by side.
    QList<Result> runAll(const QList<Case>& cases);

    // Where two record files first differ, by sample and field, for a failure message; empty
    // when they are equal.
    static QString firstDifference(const QByteArray& device, const QByteArray& desktop);

private:
    QTemporaryDir work;
};
