// Where the device's bootloader volume is looked for: the override first, then the platform's
// mount folders in their order, the first one holding the volume winning.
#include "ProgramPaths.h"
#include "TestMain.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

class TestProgramPaths : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void defaultRoots();
    void volumeInTheFirstRootThatHoldsIt_data();
    void volumeInTheFirstRootThatHoldsIt();
    void overrideWins();
};

void TestProgramPaths::cleanup()
{
    qunsetenv("KNOTLATTICE_DEVICE_VOLUME");
}

void TestProgramPaths::defaultRoots()
{
    const QByteArray user = qgetenv("USER");
    qputenv("USER", "tester");
    const QStringList roots = util::deviceVolumeRoots();
    qputenv("USER", user);
    QCOMPARE(roots, (QStringList{"/media/tester", "/run/media/tester"}));
    // Without an override, the volume is looked for there; on this machine neither holds it.
    qunsetenv("KNOTLATTICE_DEVICE_VOLUME");
    QCOMPARE(util::deviceVolume(), util::deviceVolumeIn(util::deviceVolumeRoots()));
    QCOMPARE(util::deviceFirmwarePath(), util::deviceVolume() + "/firmware.bin");
}

void TestProgramPaths::volumeInTheFirstRootThatHoldsIt_data()
{
    // Which of the two roots hold a folder "CRP DISABLD" ("file": a file of that name), and
    // the root whose volume is used.
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<int>("used");
    QTest::newRow("neither: the first root's") << ""
                                               << "" << 0;
    QTest::newRow("the first only") << "folder"
                                    << "" << 0;
    QTest::newRow("the second only") << ""
                                     << "folder" << 1;
    QTest::newRow("both: the first") << "folder"
                                     << "folder" << 0;
    QTest::newRow("a file in the first is no volume") << "file"
                                                      << "folder" << 1;
}

void TestProgramPaths::volumeInTheFirstRootThatHoldsIt()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(int, used);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList roots = {dir.filePath("media/me"), dir.filePath("run/media/me")};
    const QStringList holds = {first, second};
    for (int i = 0; i < roots.size(); ++i) {
        QVERIFY(QDir().mkpath(roots.at(i)));
        const QString volume = roots.at(i) + "/CRP DISABLD";
        if (holds.at(i) == "folder")
            QVERIFY(QDir().mkpath(volume));
        if (holds.at(i) == "file") {
            QFile file(volume);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }
    QCOMPARE(util::deviceVolumeIn(roots), roots.at(used) + "/CRP DISABLD");
}

void TestProgramPaths::overrideWins()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    qputenv("KNOTLATTICE_DEVICE_VOLUME", (dir.path() + "/device/../device/").toLocal8Bit());
    QCOMPARE(util::deviceVolume(), dir.path() + "/device");
    QCOMPARE(util::deviceFirmwarePath(), dir.path() + "/device/firmware.bin");
}

KL_TEST_MAIN(TestProgramPaths)
#include "test_programpaths.moc"
