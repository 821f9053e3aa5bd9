#pragma once

#include <QString>
#include <QStringList>

// The files the build puts in its program folder, as the manifest it writes lists them. Using
// the editor from the build's folder leaves files there (a Compile's main.c and firmware.bin,
// an emulator's emul.c and emulate); copies taken from that folder leave them behind.
class ProgramManifest
{
public:
    // The build's own: the staged folder (KNOTLATTICE_BIN_DIR) and the manifest the build wrote
    // (KNOTLATTICE_PROGRAM_MANIFEST). Without a readable manifest it lists nothing, so nothing
    // is copied out of the staged folder.
    static ProgramManifest build();
    // `files` relative to `root`.
    ProgramManifest(const QString& root, const QStringList& files);

    QString root() const { return rootPath; }
    // Whether `path` is the program folder or lies inside it: only listed files count there.
    bool covers(const QString& path) const;
    // The listed files at `path` or below it, relative to `path` (an empty name for `path`
    // itself when it is a listed file), in manifest order.
    QStringList filesAt(const QString& path) const;
    // Copies what filesAt(`source`) lists to `target`, keeping run bits; false when it lists
    // nothing or a copy fails.
    bool copy(const QString& source, const QString& target) const;

private:
    // Relative to the root; empty when `path` lies outside it.
    QString inside(const QString& path) const;

    QString rootPath;
    QStringList listed;
};
