#include "ShippedPatches.h"

#include "ModalDriver.h"
#include "PackedInstance.h"
#include "PatchDocument.h"
#include "PatchFile.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

#include <QtTest>
#include <cmath>

namespace shipped {

MainWindow::SaveResult save(MainWindow* window, const QString& path)
{
    PatchDocument* doc = window->currentDocument();
    if (!doc)
        return MainWindow::SaveResult::Failed;
    // Cables and carried blocks are written in hash order.
    if (qGlobalQHashSeed() != 0) {
        qWarning("patches are made with QT_HASH_SEED=0 in the environment");
        return MainWindow::SaveResult::Failed;
    }
    doc->centreView();
    doc->patchInfo()->date = creationDate;
    doc->patchInfo()->lang = creatorLanguage;
    ModalDriver driver;
    driver.acceptFileDialog(path);
    const MainWindow::SaveResult result = window->savePatch();
    if (!driver.unexpected().isEmpty())
        return MainWindow::SaveResult::Failed;
    return result;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList contents(const QByteArray& file)
{
    const util::PatchFileContents read = util::readPatchFile(file);
    QStringList lines;
    lines << "name " + read.patch.name << QStringLiteral("zoom %1").arg(read.patch.zoomLevel)
          << QStringLiteral("carried %1").arg(read.blockFiles.size());
    for (const PackedInstance& b : read.patch.blocks) {
        lines << QStringLiteral("block %1 %2 \"%3\" %4 at %5,%6: %7")
                     .arg(b.id)
                     .arg(b.hash, b.name)
                     .arg(b.nodeValue)
                     .arg(b.x)
                     .arg(b.y)
                     .arg(b.values.join(QLatin1String(" | ")));
        QStringList cables;
        for (const QList<qint32>& c : b.connections) {
            QStringList numbers;
            for (qint32 n : c)
                numbers << QString::number(n);
            cables << numbers.join(QLatin1Char(' '));
        }
        cables.sort();
        for (const QString& c : cables)
            lines << QStringLiteral("cable from %1: %2").arg(b.id).arg(c);
    }
    for (const Comment& c : read.patch.comments)
        lines << QStringLiteral("comment %1 at %2,%3: %4").arg(c.id).arg(c.x).arg(c.y).arg(c.text);
    return lines;
}

QVector<double> channel(const QByteArray& raw, int index)
{
    QVector<double> out;
    out.reserve(raw.size() / 4);
    const auto* bytes = reinterpret_cast<const uchar*>(raw.constData());
    for (int i = 2 * index; i + 1 < raw.size(); i += 4)
        out << -double(qint16(quint16(bytes[i] | bytes[i + 1] << 8))) / 16.0;
    return out;
}

double peak(const QVector<double>& x, int from, int to)
{
    double p = 0;
    for (int i = qMax(0, from); i < qMin(int(x.size()), to); ++i)
        p = qMax(p, std::fabs(x.at(i)));
    return p;
}

void expectCommitted(const QString& made, const QString& committed, const char* outVariable,
                     const QString& outRelative)
{
    const QByteArray out = qgetenv(outVariable);
    if (!out.isEmpty()) {
        const QString copy = QString::fromLocal8Bit(out) + "/" + outRelative;
        QDir().mkpath(QFileInfo(copy).absolutePath());
        QFile::remove(copy);
        QVERIFY2(QFile::copy(made, copy), qPrintable(copy));
    }
    QVERIFY2(QFile::exists(committed), qPrintable(committed));
    const QByteArray want = readAll(made);
    const QByteArray have = readAll(committed);
    const QStringList wantLines = contents(want);
    // A name, a header and at least one block: a save that wrote nothing useful fails here.
    QVERIFY2(wantLines.size() > 3, qPrintable(wantLines.join('\n')));
    // What differs, readably, before the bytes.
    QCOMPARE(contents(have).join('\n'), wantLines.join('\n'));
    QVERIFY2(have == want, "same contents, other bytes");
}

QAction* menuEntry(QMenuBar* bar, const QString& menu, const QString& folder, const QString& name)
{
    for (QAction* top : bar->actions()) {
        if (!top->menu() || top->text() != menu)
            continue;
        for (QAction* sub : top->menu()->actions()) {
            if (!sub->menu() || sub->text() != folder)
                continue;
            for (QAction* entry : sub->menu()->actions()) {
                if (entry->text() == name)
                    return entry;
            }
        }
    }
    return nullptr;
}

} // namespace shipped
