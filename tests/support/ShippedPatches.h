#pragma once

#include "MainWindow.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

class QAction;
class QMenuBar;

// Making the tutorial and example patches with the editor's own document and save code, and
// reading what they play.
namespace shipped {

// Header values a made patch gets, so that making it again gives the same bytes: the creation
// date (1 January 2025) and the creator language (English). With QT_HASH_SEED=0 the rest of
// the file follows from the document alone.
constexpr quint32 creationDate = 1735689600;
constexpr qint32 creatorLanguage = 31;

// Centres the current document's view on the canvas middle, gives it the fixed header values
// and saves it through the editor's save dialog as `path`. Fails unless QT_HASH_SEED is 0.
MainWindow::SaveResult save(MainWindow* window, const QString& path);

QByteArray readAll(const QString& path);

// What a patch file holds, in an order that does not depend on hashing.
QStringList contents(const QByteArray& file);

// One channel (0 left, 1 right) of the emulator's file sink as block values: the output
// block negates it and the audio layer plays a value v as v x 16.
QVector<double> channel(const QByteArray& raw, int index);
inline QVector<double> leftChannel(const QByteArray& raw)
{
    return channel(raw, 0);
}

// The loudest of x[from, to).
double peak(const QVector<double>& x, int from, int to);

// Compares a patch file made by a test with the committed one at `committed`, readably first and
// then byte for byte. With the environment variable `outVariable` naming a folder, the made file
// is first copied there as `outRelative`: pointed at the source tree, that remakes the committed
// file.
void expectCommitted(const QString& made, const QString& committed, const char* outVariable,
                     const QString& outRelative);

// The entry `name` of the submenu `folder` of the menu-bar menu titled `menu`, or null.
QAction* menuEntry(QMenuBar* bar, const QString& menu, const QString& folder, const QString& name);

} // namespace shipped
