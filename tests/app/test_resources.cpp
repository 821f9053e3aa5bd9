#include "KnotResources.h"
#include "MessageCapture.h"
#include "TestMain.h"

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QImage>
#include <QImageReader>
#include <QListWidget>
#include <QMovie>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

// Stand-ins carrying the class names the style sheet selects on.
class StartWindow : public QWidget
{
    Q_OBJECT
};

class PresetWindow : public QWidget
{
    Q_OBJECT
};

namespace {

bool hasVisiblePixels(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(argb.pixel(x, y)) > 0)
                return true;
        }
    }
    return false;
}

QString readResource(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

// Every ":/icons/..." name written in the sources of the editor and in the style sheet.
QMap<QString, QString> iconNamesInSources(const QString& root)
{
    static const QRegularExpression iconName(QStringLiteral(":/icons/[A-Za-z0-9_.\\-]+"));
    QMap<QString, QString> names; // name -> first file naming it
    QStringList files;
    for (const char* dir : {"app", "views", "codegen", "online", "model"}) {
        QDirIterator it(root + "/" + QLatin1String(dir), {"*.cpp", "*.h"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
    }
    files << root + "/app/styles.txt";
    for (const QString& path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromUtf8(file.readAll());
        auto matches = iconName.globalMatch(text);
        while (matches.hasNext()) {
            const QString name = matches.next().captured(0);
            if (!names.contains(name))
                names.insert(name, path.mid(root.size() + 1));
        }
    }
    return names;
}

QColor pixelAt(const QImage& image, int x, int y)
{
    return QColor::fromRgb(image.pixel(x, y));
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void iconsLoad_data();
    void iconsLoad();
    void iconsNamedInSourcesExist();
    void loaderAnimates();

    void styleSheetParses();
    void startButtonsAreSquareWithPictureOnTop();
    void presetSelectionIsPink();

    void fontsRegister_data();
    void fontsRegister();
    void fontLicenceShipsWithFonts();
};

void TestResources::initTestCase()
{
    // Linking the library is enough: a program that never calls the initialiser still has them.
    QVERIFY(QFile::exists(":/styles.txt"));
    QVERIFY(QFile::exists(":/icons/newDoc.png"));
    initKnotResources();
    initKnotResources(); // harmless when repeated
}

void TestResources::iconsLoad_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");

    const QSize toolbar(64, 64);
    const QSize startPicture(160, 120);
    QTest::newRow("newDoc") << ":/icons/newDoc.png" << toolbar;
    QTest::newRow("saveDoc") << ":/icons/saveDoc.png" << toolbar;
    QTest::newRow("openDoc") << ":/icons/openDoc.png" << toolbar;
    QTest::newRow("newfirmware") << ":/icons/newfirmware.png" << toolbar;
    QTest::newRow("undo") << ":/icons/undo.png" << toolbar;
    QTest::newRow("redo") << ":/icons/redo.png" << toolbar;
    QTest::newRow("community") << ":/icons/community.png" << toolbar;
    QTest::newRow("compile") << ":/icons/compile.png" << toolbar;
    QTest::newRow("switch") << ":/icons/switch.png" << toolbar;
    QTest::newRow("newplay") << ":/icons/newplay.png" << toolbar;
    QTest::newRow("newstop") << ":/icons/newstop.png" << toolbar;
    QTest::newRow("KL") << ":/icons/KL.png" << startPicture;
    QTest::newRow("wrench") << ":/icons/wrench.png" << startPicture;
    QTest::newRow("dockclose") << ":/icons/dockclose.png" << QSize(32, 32);
    QTest::newRow("dockfloat") << ":/icons/dockfloat.png" << QSize(32, 32);
    QTest::newRow("spinup") << ":/icons/spinup.png" << QSize(20, 12);
    QTest::newRow("spindown") << ":/icons/spindown.png" << QSize(20, 12);
    QTest::newRow("loader") << ":/icons/loader.gif" << QSize(48, 48);
}

void TestResources::iconsLoad()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);

    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QCOMPARE(image.size(), size);
    QVERIFY2(hasVisiblePixels(image), qPrintable(path + " is fully transparent"));
    QVERIFY(!QPixmap(path).isNull());
    QVERIFY(!QIcon(path).pixmap(24, 24).isNull());
}

void TestResources::iconsNamedInSourcesExist()
{
    const QString root = testsupport::sourcePath(QString());
    QVERIFY2(QFile::exists(root + "app/styles.txt"), qPrintable("no source tree at " + root));

    const QMap<QString, QString> names = iconNamesInSources(QDir::cleanPath(root));
    // The style sheet names the dock title buttons, so the scan always finds something.
    QVERIFY(names.contains(":/icons/dockclose.png"));
    QStringList missing;
    for (auto it = names.cbegin(); it != names.cend(); ++it) {
        if (QImage(it.key()).isNull())
            missing << it.key() + " (" + it.value() + ")";
    }
    QVERIFY2(missing.isEmpty(), qPrintable("missing icons: " + missing.join(", ")));
}

void TestResources::loaderAnimates()
{
    QImageReader reader(":/icons/loader.gif");
    QVERIFY(reader.supportsAnimation());
    QVERIFY(reader.imageCount() > 1);

    QMovie movie(":/icons/loader.gif");
    QVERIFY(movie.isValid());
    QVERIFY(movie.frameCount() > 1);
    QVERIFY(movie.jumpToFrame(0));
    const QImage first = movie.currentImage();
    QVERIFY(movie.jumpToNextFrame());
    QVERIFY(movie.currentImage() != first);
}

void TestResources::styleSheetParses()
{
    const QString sheet = readResource(":/styles.txt");
    QVERIFY(!sheet.trimmed().isEmpty());
    QVERIFY(sheet.contains("Futura Std"));

    MessageCapture capture;
    qApp->setStyleSheet(sheet);
    // The sheet is parsed when the first widget is polished.
    QWidget widget;
    QPushButton button(&widget);
    widget.ensurePolished();
    button.ensurePolished();
    qApp->setStyleSheet(QString());

    QStringList problems;
    for (const MessageCapture::Message& m : capture.messages()) {
        if (m.type != QtDebugMsg)
            problems << m.text;
    }
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join("\n")));
}

void TestResources::startButtonsAreSquareWithPictureOnTop()
{
    qApp->setStyleSheet(readResource(":/styles.txt"));

    StartWindow window;
    auto* layout = new QHBoxLayout(&window);
    auto* load = new QPushButton(QStringLiteral("Load Preset"), &window);
    load->setStyleSheet("background-image: url(':/icons/KL.png');");
    auto* create = new QPushButton(QStringLiteral("Create Patch"), &window);
    create->setStyleSheet("background-image: url(':/icons/wrench.png');");
    layout->addWidget(load);
    layout->addWidget(create);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    for (QPushButton* button : {load, create}) {
        QCOMPARE(button->size(), QSize(200, 200));
        QCOMPARE(button->font().pixelSize(), 20);
    }

    // The picture sits centred at the top: 20 px in from the side, inside the 2 px border.
    const QImage shot = load->grab().toImage();
    const QColor deviceBody = pixelAt(shot, 2 + 20 + 80, 2 + 25);
    QVERIFY2(deviceBody.lightness() < 80, qPrintable(deviceBody.name()));
    const QColor aboveDevice = pixelAt(shot, 100, 2 + 5);
    QVERIFY2(aboveDevice.lightness() > 200, qPrintable(aboveDevice.name()));
    const QColor belowPicture = pixelAt(shot, 12, 185);
    QVERIFY2(belowPicture.lightness() > 200, qPrintable(belowPicture.name()));
    const QColor border = pixelAt(shot, 100, 198);
    QVERIFY2(border.lightness() < 100, qPrintable(border.name()));

    qApp->setStyleSheet(QString());
}

void TestResources::presetSelectionIsPink()
{
    qApp->setStyleSheet(readResource(":/styles.txt"));

    PresetWindow window;
    auto* layout = new QHBoxLayout(&window);
    auto* list = new QListWidget(&window);
    layout->addWidget(list);
    auto* header = new QListWidgetItem(QStringLiteral("----- Bass -----"), list);
    header->setFlags(Qt::NoItemFlags);
    list->addItem(QStringLiteral("Deep"));
    list->setCurrentRow(1);
    window.resize(300, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const QImage shot = list->viewport()->grab().toImage();
    const QRect row = list->visualItemRect(list->item(1));
    const QColor selected = pixelAt(shot, row.right() - 5, row.center().y());
    QCOMPARE(selected, QColor("#ff3ea8"));

    qApp->setStyleSheet(QString());
}

void TestResources::fontsRegister_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("regular") << ":/fonts/Lato-Regular.ttf";
    QTest::newRow("bold") << ":/fonts/Lato-Bold.ttf";
    QTest::newRow("light") << ":/fonts/Lato-Light.ttf";
    QTest::newRow("medium") << ":/fonts/Lato-Medium.ttf";
}

void TestResources::fontsRegister()
{
    QFETCH(QString, path);
    const int id = QFontDatabase::addApplicationFont(path);
    QVERIFY2(id >= 0, qPrintable(path));
    QVERIFY2(QFontDatabase::applicationFontFamilies(id).contains("Lato"),
             qPrintable(QFontDatabase::applicationFontFamilies(id).join(", ")));

    // The family name the style sheet and the painters use resolves to the bundled one.
    QFont::insertSubstitution("Futura Std", "Lato");
    QCOMPARE(QFontInfo(QFont("Futura Std", 14)).family(), QString("Lato"));
    QFont::removeSubstitutions("Futura Std");
    QFontDatabase::removeApplicationFont(id);
}

void TestResources::fontLicenceShipsWithFonts()
{
    const QString licence = readResource(":/fonts/OFL.txt");
    QVERIFY(licence.contains("SIL Open Font License"));
    QVERIFY(licence.contains("Lato"));
}

KL_TEST_MAIN(TestResources)
#include "test_resources.moc"
