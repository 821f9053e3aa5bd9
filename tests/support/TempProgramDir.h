#pragma once

#include "ProgramManifest.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A temporary program folder (blocks, compile, presets, tutorials, examples) that the code
// under test finds through KNOTLATTICE_PROGRAM_DIR while this object lives.
class TempProgramDir
{
public:
    // Copies out of the build's program folder take what `shipped` lists there.
    explicit TempProgramDir(ProgramManifest shipped = ProgramManifest::build());
    ~TempProgramDir();
    TempProgramDir(const TempProgramDir&) = delete;
    TempProgramDir& operator=(const TempProgramDir&) = delete;

    QString path(const QString& relative = QString()) const;
    // Copies a file or a folder (recursively) into the program folder under `relative`. From
    // the build's program folder only what the build put there is taken; false when that is
    // nothing.
    bool copyIn(const QString& source, const QString& relative);
    bool writeFile(const QString& relative, const QByteArray& bytes);

private:
    ProgramManifest shipped;
    QTemporaryDir dir;
    QByteArray previous;
    bool hadPrevious = false;
};
