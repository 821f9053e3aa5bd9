#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A temporary program folder (blocks, compile, presets, tutorials, examples) that the code
// under test finds through KNOTLATTICE_PROGRAM_DIR while this object lives.
class TempProgramDir
{
public:
    TempProgramDir();
    ~TempProgramDir();
    TempProgramDir(const TempProgramDir&) = delete;
    TempProgramDir& operator=(const TempProgramDir&) = delete;

    QString path(const QString& relative = QString()) const;
    // Copies a file or a folder (recursively) into the program folder under `relative`.
    bool copyIn(const QString& source, const QString& relative);
    bool writeFile(const QString& relative, const QByteArray& bytes);

private:
    QTemporaryDir dir;
    QByteArray previous;
    bool hadPrevious = false;
};
