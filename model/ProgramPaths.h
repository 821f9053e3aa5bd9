#pragma once

#include <QString>
#include <QStringList>

// Where the program's data lies. Every caller goes through these helpers so the environment
// overrides apply everywhere at once.
namespace util {

// The program folder: KNOTLATTICE_PROGRAM_DIR, else the executable's folder.
QString programDir();
QString blocksDir();
QString compileDir();
QString presetsDir();
QString tutorialsDir();
QString examplesDir();

// The device's bootloader volume: KNOTLATTICE_DEVICE_VOLUME, else the platform's mount point,
// deviceVolumeIn(deviceVolumeRoots()).
QString deviceVolume();
QString deviceFirmwarePath();
// The folders the platform mounts the volume in, in the order they are looked at: macOS
// /Volumes; elsewhere /media/$USER, then /run/media/$USER.
QStringList deviceVolumeRoots();
// The volume in the first of `roots` that holds it as a folder; in the first root when none does.
QString deviceVolumeIn(const QStringList& roots);

// The repository server's endpoint, up to and including "action.php":
// KNOTLATTICE_REPOSITORY_URL, else our own server program on this machine.
QString repositoryUrl();

} // namespace util
