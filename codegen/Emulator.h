#pragma once

#include "InstanceList.h"
#include "OutputLineBuffer.h"

#include <QDockWidget>
#include <QPointer>
#include <QProcess>
#include <QStringList>

#include <array>

class CheckBox;
class EmulatorWidget;
class Knob;
class QBoxLayout;

// Hosts the emulator program of a patch and its four live controls, two knobs and two switches
// on a picture of the device: writes the generated source, runs the build script, starts the
// built program as a child process, sends it the control values over its standard input and logs
// the values it prints (as debug messages, which reach the console). What the program writes to
// its standard error (the audio layer's notices) is logged the same way, line by line. At most
// one program runs per dock.
//
// Protocol on the program's standard input: a letter "a" to "d" for control 0 to 3, the value in
// decimal and a line feed; "x" to quit. The program prints one value per line, 1024 being 1.0.
class Emulator : public QDockWidget
{
    Q_OBJECT
public:
    static constexpr int ControlCount = 4;
    // How long one build, start, stop or write may block the user interface.
    static constexpr int DefaultWaitLimit = 30000;

    // Builds the panel and ends emulator programs left over from an earlier run of the editor
    // (the kill script).
    Emulator(const QString& title, QWidget* parent, Qt::WindowFlags flags = Qt::WindowFlags());
    // Tells a running program to quit and makes sure it has ended.
    ~Emulator() override;

    // Stops a running program, generates the patch's code from the emulator template and builds
    // and starts it with compile(). True when the program started.
    bool compilePatch(const InstanceList& instances);
    // Stops a running program, writes emul.c (the include lines, then `code`), runs the build
    // script and starts the built program. Builds nothing for empty code. A build that fails or
    // does not finish in time is reported and starts nothing. True when the program started.
    bool compile(const QString& code);
    // Stops a running program, starts `command` (a program path between double quotes, possibly
    // followed by arguments) and sends it the four control values. True when it started; a
    // program that cannot be started is reported.
    bool start(const QString& command);
    // Sends one control value to the running program; nothing when none runs.
    void sendValue(int index, int value);
    // Ends the running program and logs what it printed last; nothing when none runs.
    void stop();
    bool isRunning() const;

    // The four control values (knobs 0 ... 1024, switches 0 or 1024), all 0 at first. Setting
    // one moves its knob or switch (a knob is held to 0 ... 1024, a switch is on for any value
    // above 0), so the value sent to a running program is the one shown; start() sends all four.
    void setControlValue(int index, int value);
    int controlValue(int index) const;
    // Registers the widget that reports control `index` through handleSlider(): controls 0 and
    // 1 send their value, controls 2 and 3 their state (0 or 1). The panel's knobs and switches
    // are registered from the start.
    void attachControl(int index, QObject* control);

    // Tool tips of the two knobs and the two switches, in that order; missing entries are empty.
    void setToolTips(const QStringList& tips);

    // How long each wait may take; DefaultWaitLimit unless changed (tests shorten it).
    void setWaitLimit(int milliseconds) { waitLimit = milliseconds; }

public slots:
    // Takes a change from a registered control (the sender) as that control's new value.
    void handleSlider(int value);
    // Logs every complete line the program has printed; a partial line waits for its end.
    void readOutput();

signals:
    // The program ended by itself (it crashed, or its input ended), not through stop() or the
    // dock's end. The dock is idle again when this comes.
    void programEnded();

private:
    void programFinished();
    // Ends the program; `log` decides whether its last output is logged (not while the dock is
    // being destroyed).
    void endProcess(bool log);
    void logLines(const QList<QByteArray>& lines);
    void readErrors();
    // Logs lines of the program's standard error as they are.
    void logNotices(const QList<QByteArray>& lines);
    // Logs what is left of both channels of `ended`, which has stopped.
    void logRemains(QProcess* ended);
    void buildPanel();
    void runKillScript();

    QProcess* process = nullptr;
    EmulatorWidget* panel = nullptr;
    QBoxLayout* layout = nullptr;
    QBoxLayout* knobRow = nullptr;
    QBoxLayout* switchRow = nullptr;
    Knob* knob1 = nullptr;
    Knob* knob2 = nullptr;
    CheckBox* checkBox1 = nullptr;
    CheckBox* checkBox2 = nullptr;

    OutputLineBuffer output;
    OutputLineBuffer errors;
    std::array<int, ControlCount> values{};
    std::array<QPointer<QObject>, ControlCount> controls;
    int waitLimit = DefaultWaitLimit;
};
