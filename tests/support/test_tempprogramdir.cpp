// Copies into a temporary program folder: out of the build's program folder only what the build
// put there travels, never what using the editor from there has left beside it.
#include "ProgramManifest.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Every file below `folder`, relative to it, sorted.
QStringList filesBelow(const QString& folder)
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(folder).relativeFilePath(it.next());
    files.sort();
    return files;
}

const QStringList shipped = {"blocks/sine.xml",
                             "compile/templ_emul.txt",
                             "compile/emulator/compile.sh",
                             "compile/emulator/libbass.so",
                             "compile/firmware/compile.sh",
                             "compile/firmware/copy.sh",
                             "compile/firmware/device/board.h"};

// What the editor, run from the build's folder, leaves there.
const QStringList leftovers = {"blocks/mine.xml",
                               "compile/emulator/emul.c",
                               "compile/emulator/emulate",
                               "compile/firmware/main.c",
                               "compile/firmware/firmware.bin",
                               "compile/firmware/firmware.elf",
                               "compile/firmware/device/old/board.h"};

} // namespace

class TestTempProgramDir : public QObject
{
    Q_OBJECT

private slots:
    void copiesWhatTheBuildShips_data();
    void copiesWhatTheBuildShips();
    void theBuildsOwnFolder();
};

void TestTempProgramDir::copiesWhatTheBuildShips_data()
{
    // What is copied ("." the whole program folder, "elsewhere/..." a folder outside it) and
    // where to; whether the copy succeeds, and the files the target then holds.
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("relative");
    QTest::addColumn<bool>("copied");
    QTest::addColumn<QStringList>("files");

    QTest::newRow("the compile folder")
        << "compile"
        << "compile" << true
        << QStringList{"emulator/compile.sh", "emulator/libbass.so",     "firmware/compile.sh",
                       "firmware/copy.sh",    "firmware/device/board.h", "templ_emul.txt"};
    QTest::newRow("the firmware folder")
        << "compile/firmware"
        << "compile/firmware" << true << QStringList{"compile.sh", "copy.sh", "device/board.h"};
    QTest::newRow("the whole program folder") << "."
                                              << "copy" << true << shipped;
    QTest::newRow("a shipped file") << "compile/emulator/libbass.so"
                                    << "compile/emulator/libbass.so" << true << QStringList{""};
    QTest::newRow("a file left by use") << "compile/firmware/main.c"
                                        << "compile/firmware/main.c" << false << QStringList();
    QTest::newRow("a folder made by use") << "compile/firmware/device/old"
                                          << "old" << false << QStringList();
    QTest::newRow("a folder outside the program folder travels whole")
        << "elsewhere/compile"
        << "compile" << true << QStringList{"firmware/compile.sh", "firmware/main.c"};
}

void TestTempProgramDir::copiesWhatTheBuildShips()
{
    QFETCH(QString, source);
    QFETCH(QString, relative);
    QFETCH(bool, copied);
    QFETCH(QStringList, files);

    QTemporaryDir build;
    QVERIFY(build.isValid());
    const QString bin = build.filePath("bin");
    for (const QString& file : shipped + leftovers)
        QVERIFY(testsupport::writeFile(bin + "/" + file, file.toUtf8()));
    for (const char* script : {"compile/emulator/compile.sh", "compile/firmware/compile.sh"})
        QVERIFY(QFile::setPermissions(bin + "/" + QString::fromLatin1(script),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    for (const char* file : {"compile/firmware/compile.sh", "compile/firmware/main.c"})
        QVERIFY(testsupport::writeFile(build.filePath("elsewhere/") + QString::fromLatin1(file), file));
    QVERIFY(QFile::setPermissions(build.filePath("elsewhere/compile/firmware/compile.sh"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    TempProgramDir program(ProgramManifest(bin, shipped));
    const QString from =
        source.startsWith("elsewhere/") ? build.filePath(source) : bin + "/" + source;
    QCOMPARE(program.copyIn(from, relative), copied);
    const QString target = program.path(relative);
    if (files == QStringList{""}) {
        QVERIFY(QFileInfo(target).isFile());
        QCOMPARE(QFile(target).size(), qint64(relative.toUtf8().size()));
        return;
    }
    QStringList expected = files;
    expected.sort();
    QCOMPARE(filesBelow(target), expected);
    // Run bits travel with the scripts.
    for (const QString& file : files) {
        if (file.endsWith("compile.sh"))
            QVERIFY(QFileInfo(target + "/" + file).isExecutable());
    }
}

void TestTempProgramDir::theBuildsOwnFolder()
{
    // The manifest the build wrote lists what it staged, and only that is copied.
    const ProgramManifest manifest = ProgramManifest::build();
    QVERIFY(manifest.covers(testsupport::binPath("compile")));
    const QStringList listed = manifest.filesAt(testsupport::binPath("compile"));
    QVERIFY(listed.contains("firmware/compile.sh") && listed.contains("firmware/copy.sh") &&
            listed.contains("emulator/compile.sh") && listed.contains("templ_chip.txt"));
    for (const QString& file : listed)
        QVERIFY2(QFileInfo(testsupport::binPath("compile/" + file)).isFile(), qPrintable(file));

    TempProgramDir program;
    QVERIFY(program.copyIn(testsupport::binPath("compile"), "compile"));
    QStringList expected = listed;
    expected.sort();
    QCOMPARE(filesBelow(program.path("compile")), expected);
}

KL_TEST_MAIN(TestTempProgramDir)
#include "test_tempprogramdir.moc"
