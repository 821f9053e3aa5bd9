// The emulator dock in the editor: a shipped example played through the real build folder into
// the audio layer's file sink, its controls worked through the panel's own mouse events; and
// the audio layer's notice of a sink that cannot open, shown in the Console.
#include "CheckBox.h"
#include "Console.h"
#include "Emulator.h"
#include "Knob.h"
#include "MainWindow.h"
#include "MessageHandler.h"
#include "ModalDriver.h"
#include "PatchDocument.h"
#include "Preferences.h"
#include "TempProgramDir.h"
#include "TestMain.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QSettings>
#include <QTemporaryDir>

#include <cmath>
#include <memory>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Frames in the file sink so far: 16-bit stereo.
qint64 framesIn(const QString& path)
{
    return QFileInfo(path).size() / 4;
}

// The left channel as block values: the output block negates, the audio layer plays v as v x 16.
QVector<double> leftChannel(const QByteArray& raw)
{
    QVector<double> left;
    const auto* bytes = reinterpret_cast<const uchar*>(raw.constData());
    for (int i = 0; i + 3 < raw.size(); i += 4)
        left << -double(qint16(quint16(bytes[i] | bytes[i + 1] << 8))) / 16.0;
    return left;
}

// Frequency from the rising zero crossings of `x` (20000 samples a second), each placed
// between its two samples; 0 with fewer than two.
// The first frame with sound in it, or -1.
int firstSound(const QByteArray& raw)
{
    const QVector<double> left = leftChannel(raw);
    for (int i = 0; i < left.size(); ++i) {
        if (left[i] != 0)
            return i;
    }
    return -1;
}

double frequencyOf(const QVector<double>& x)
{
    double first = -1, last = -1;
    int crossings = 0;
    for (int i = 1; i < x.size(); ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            const double at = i - 1 + -x[i - 1] / (x[i] - x[i - 1]);
            if (first < 0)
                first = at;
            last = at;
            ++crossings;
        }
    }
    return crossings < 2 ? 0 : (crossings - 1) * 20000.0 / (last - first);
}

QAction* exampleAction(QMenuBar* bar, const QString& folder, const QString& name)
{
    for (QAction* top : bar->actions()) {
        if (!top->menu() || top->text() != QLatin1String("&Examples"))
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

// A drag with the left button held, one event per pixel row.
void dragUp(QWidget* widget, int pixels)
{
    const double x = widget->width() / 2;
    const double from = widget->height() / 2;
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(x, from), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    for (int i = 1; i <= pixels; ++i) {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, from - i), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(widget, &move);
    }
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(x, from - pixels), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

// The editor's message routing without its boxes: what the handler would show in the Console
// goes there; what would raise a box is kept instead.
class ConsoleRouting
{
public:
    explicit ConsoleRouting(MainWindow* window)
    {
        target = window;
        previous = qInstallMessageHandler(&ConsoleRouting::handler);
    }
    ~ConsoleRouting()
    {
        qInstallMessageHandler(previous);
        target = nullptr;
    }
    static QStringList boxes;

private:
    static void handler(QtMsgType type, const QMessageLogContext&, const QString& text)
    {
        const MessageRoute route = routeMessage(type, text);
        if (route.box != MessageRoute::NoBox)
            boxes << route.text;
        if (target && !route.text.isEmpty())
            target->log(route.text.toUtf8().constData());
    }
    static MainWindow* target;
    QtMessageHandler previous = nullptr;
};

QStringList ConsoleRouting::boxes;
MainWindow* ConsoleRouting::target = nullptr;

} // namespace

class TestEmulatorPlay : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void knobSynthThroughThePanel();
    void silentPlayingIsLogged();

private:
    bool openExample(const QString& name);
    void play() { window->getAction(QStringLiteral("emulator_toggle"))->trigger(); }

    QTemporaryDir scratch;
    std::unique_ptr<TempProgramDir> program;
    std::unique_ptr<MainWindow> window;
};

void TestEmulatorPlay::initTestCase()
{
    QVERIFY(scratch.isValid());
    QVERIFY2(QFileInfo(testsupport::binPath("compile/emulator/libbass.so")).isFile(),
             "the program folder is not staged");
}

void TestEmulatorPlay::init()
{
    QSettings().clear();
    program = std::make_unique<TempProgramDir>();
    QVERIFY(program->copyIn(testsupport::binPath("blocks"), "blocks"));
    QVERIFY(program->copyIn(testsupport::binPath("compile"), "compile"));
    QVERIFY(program->copyIn(testsupport::sourcePath("data/examples"), "examples"));
    QSettings().setValue(Preferences::DefaultPatchPath, scratch.path());
    window = std::make_unique<MainWindow>();
    window->show();
}

void TestEmulatorPlay::cleanup()
{
    window.reset();
    program.reset();
    qunsetenv("KNOTLATTICE_AUDIO");
}

bool TestEmulatorPlay::openExample(const QString& name)
{
    QAction* entry = exampleAction(window->menuBar(), QStringLiteral("Basics"), name);
    if (!entry)
        return false;
    ModalDriver driver;
    entry->trigger();
    const PatchDocument* doc = window->currentDocument();
    return driver.seen().isEmpty() && doc && doc->patchInfo()->name == name;
}

void TestEmulatorPlay::knobSynthThroughThePanel()
{
    const QString sound = scratch.filePath("played.raw");
    qputenv("KNOTLATTICE_AUDIO", ("file:" + sound).toLocal8Bit());
    QVERIFY(openExample("Knob Synth"));
    Emulator* dock = window->emulatorDock();
    CheckBox* gate = dock->findChild<CheckBox*>("checkBox1");
    Knob* pitch = dock->findChild<Knob*>("knob1");
    QVERIFY(gate && pitch);

    play();
    QVERIFY(window->isEmulating() && dock->isRunning());
    // Everything played until the gate is pressed was made with the gate closed.
    QTRY_VERIFY_WITH_TIMEOUT(framesIn(sound) >= 6000, 10000);
    const qint64 beforeGate = framesIn(sound);
    QTest::mouseClick(gate, Qt::LeftButton);
    QCOMPARE(dock->controlValue(2), 1024);
    // The tone starts once the program has read the gate, however loaded the machine is.
    int onset = -1;
    QTRY_VERIFY_WITH_TIMEOUT((onset = firstSound(readAll(sound))) >= 0, 10000);
    QVERIFY2(onset >= beforeGate,
             qPrintable(QStringLiteral("tone from %1, gate at %2").arg(onset).arg(beforeGate)));
    QTRY_VERIFY_WITH_TIMEOUT(framesIn(sound) >= onset + 12000, 10000);
    const qint64 beforeKnob = framesIn(sound);
    // 103 pixels take the knob from 0 to the top; a few more stay there.
    dragUp(pitch, 110);
    QCOMPARE(pitch->value(), 1024.0f);
    QCOMPARE(dock->controlValue(0), 1024);
    const qint64 afterKnob = framesIn(sound);
    // Measured well after the change, so the program's read of it has surely happened.
    QTRY_VERIFY_WITH_TIMEOUT(framesIn(sound) >= afterKnob + 20000, 10000);
    play();
    QVERIFY(!window->isEmulating());

    const QVector<double> left = leftChannel(readAll(sound));
    QVERIFY(left.size() >= afterKnob + 20000);

    // The knob's lowest pitch, 110 Hz, until it was turned; then its highest, 880 Hz.
    const double low = frequencyOf(left.mid(onset + 1000, int(beforeKnob) - onset - 1000));
    const double high = frequencyOf(left.mid(int(afterKnob) + 12000, 8000));
    QVERIFY2(std::fabs(low / 110 - 1) < 0.01, qPrintable(QString::number(low)));
    QVERIFY2(std::fabs(high / 880 - 1) < 0.01, qPrintable(QString::number(high)));
    qInfo("gate pressed at frame %lld, tone from %d; %.2f Hz, then %.2f Hz", beforeGate, onset, low,
          high);
}

void TestEmulatorPlay::silentPlayingIsLogged()
{
    // A sink that cannot open: the program plays silently and says why on standard error.
    qputenv("KNOTLATTICE_AUDIO", "file:/nonexistent-dir/played.raw");
    QVERIFY(openExample("Knob Synth"));
    ConsoleRouting routing(window.get());
    ConsoleRouting::boxes.clear();

    play();
    QVERIFY(window->isEmulating());
    const QString notice =
        QStringLiteral("audio: cannot write \"/nonexistent-dir/played.raw\"; playing silently");
    QTRY_VERIFY_WITH_TIMEOUT(window->consoleDock()->text().contains(notice), 10000);
    QVERIFY2(ConsoleRouting::boxes.isEmpty(), qPrintable(ConsoleRouting::boxes.join('\n')));
    // Silent, but running.
    QVERIFY(window->emulatorDock()->isRunning());
    play();
}

KL_TEST_MAIN(TestEmulatorPlay)
#include "test_emulatorplay.moc"
