#pragma once

#include <QByteArray>
#include <QList>

// Splits what the emulator program prints into lines. Output arrives in reads of any size, so
// a line that is cut between two reads is kept until its line break comes.
class OutputLineBuffer
{
public:
    // A line that grows this long without a break is given out as it is, so a program that
    // never ends its lines cannot make the buffer grow without bound.
    static constexpr int MaxLineLength = 4096;

    // Adds the bytes of one read; returns the lines they complete, without their line breaks.
    // Lines that hold only white space are dropped.
    QList<QByteArray> append(const QByteArray& bytes);
    // The partial line kept so far (empty when it is only white space); the buffer is emptied.
    QByteArray takeRest();
    bool hasRest() const { return !pending.isEmpty(); }

    // The value a printed line stands for: the text up to a zero byte read as a number and
    // divided by 1024 (1024 is 1.0); 0 when it is not a number.
    static double valueOf(const QByteArray& line);

private:
    QByteArray pending;
};
