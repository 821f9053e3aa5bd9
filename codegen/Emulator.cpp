#include "Emulator.h"

#include "CheckBox.h"
#include "CodeCompiler.h"
#include "DisplayText.h"
#include "EmulatorWidget.h"
#include "Knob.h"
#include "ProcessTree.h"
#include "ProgramPaths.h"

#include <QBoxLayout>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const char IncludeLines[] = "#include \"bass.h\"\n#include <stdio.h>\n#include <stdint.h>\n";

// A program that read "x" ends at once; this is only how long it may take to go.
constexpr int QuitWait = 1000;

QString emulatorDir()
{
    return util::compileDir() + QStringLiteral("/emulator");
}

} // namespace

Emulator::Emulator(const QString& title, QWidget* parent, Qt::WindowFlags flags)
    : QDockWidget(title, parent, flags)
{
    buildPanel();
    runKillScript();
}

Emulator::~Emulator()
{
    endProcess(false);
}

void Emulator::buildPanel()
{
    setFixedHeight(200);
    setMinimumWidth(220);

    knob1 = new Knob;
    knob2 = new Knob;
    checkBox1 = new CheckBox;
    checkBox2 = new CheckBox;
    knob1->setObjectName(QStringLiteral("knob1"));
    knob2->setObjectName(QStringLiteral("knob2"));
    checkBox1->setObjectName(QStringLiteral("checkBox1"));
    checkBox2->setObjectName(QStringLiteral("checkBox2"));
    for (Knob* knob : {knob1, knob2})
        knob->setFixedSize(55, 55);
    for (CheckBox* box : {checkBox1, checkBox2})
        box->setFixedSize(32, 32);

    knobRow = new QHBoxLayout;
    knobRow->addStretch();
    knobRow->addWidget(knob1);
    knobRow->addSpacing(15);
    knobRow->addWidget(knob2);
    knobRow->addStretch();

    switchRow = new QHBoxLayout;
    switchRow->addStretch();
    switchRow->addWidget(checkBox1, 0, Qt::AlignCenter);
    switchRow->addSpacing(25);
    switchRow->addWidget(checkBox2, 0, Qt::AlignCenter);
    switchRow->addStretch();

    layout = new QVBoxLayout;
    layout->addStretch();
    layout->addLayout(knobRow);
    layout->addSpacing(10);
    layout->addLayout(switchRow);
    layout->addStretch();

    panel = new EmulatorWidget(this);
    panel->setLayout(layout);
    setWidget(panel);

    attachControl(0, knob1);
    attachControl(1, knob2);
    attachControl(2, checkBox1);
    attachControl(3, checkBox2);
    connect(knob1, &Knob::valueChanged, this, &Emulator::handleSlider);
    connect(knob2, &Knob::valueChanged, this, &Emulator::handleSlider);
    connect(checkBox1, &CheckBox::stateChanged, this, &Emulator::handleSlider);
    connect(checkBox2, &CheckBox::stateChanged, this, &Emulator::handleSlider);
}

void Emulator::runKillScript()
{
    const QString dir = emulatorDir();
    const QString script = dir + QStringLiteral("/kill.sh");
    if (!QFileInfo(script).isFile())
        return;
    QProcess kill;
    kill.setWorkingDirectory(QDir::toNativeSeparators(dir));
    kill.setProcessChannelMode(QProcess::ForwardedChannels);
    kill.start(QDir::toNativeSeparators(script), QStringList());
    if (!kill.waitForStarted(waitLimit))
        return;
    if (!kill.waitForFinished(waitLimit)) {
        kill.kill();
        kill.waitForFinished(waitLimit);
    }
}

bool Emulator::compilePatch(const InstanceList& instances)
{
    stop();
    CodeCompiler compiler;
    const QString code =
        compiler.createCode(instances, QDir::toNativeSeparators(util::compileDir() +
                                                                QStringLiteral("/templ_emul.txt")));
    return compile(code);
}

bool Emulator::compile(const QString& code)
{
    stop();
    if (code.trimmed().isEmpty()) {
        // The code generator has said why (a feedback loop, a missing template).
        qDebug().noquote() << tr("No code was generated, so the emulator has nothing to build.");
        return false;
    }

    const QString dir = QDir::toNativeSeparators(emulatorDir());
    QSaveFile source(QDir::toNativeSeparators(emulatorDir() + QStringLiteral("/emul.c")));
    if (!source.open(QIODevice::WriteOnly | QIODevice::Text) ||
        source.write(QByteArray(IncludeLines) + code.toLocal8Bit()) < 0 || !source.flush() ||
        !source.commit()) {
        qWarning() << tr("can't write file for emulator") << source.fileName()
                   << source.errorString();
        return false;
    }

    QProcess build;
    build.setProcessChannelMode(QProcess::MergedChannels);
    build.setWorkingDirectory(dir);
    build.start(QDir::toNativeSeparators(emulatorDir() + QStringLiteral("/compile.sh")),
                QStringList());
    if (!build.waitForStarted(waitLimit)) {
        qWarning().noquote() << tr("The emulator build script could not be run:")
                             << build.errorString();
        return false;
    }
    const bool finished = build.waitForFinished(waitLimit);
    if (!finished) {
        util::killProcessTree(build.processId());
        build.waitForFinished(waitLimit);
    }
    const QByteArray log = build.readAll();
    if (!log.trimmed().isEmpty())
        qDebug().noquote() << QString::fromLocal8Bit(log);

    const QString program = emulatorDir() + QStringLiteral("/emulate");
    if (!finished) {
        qWarning().noquote() << tr("The emulator build did not finish within %1 seconds, so "
                                   "nothing was started.")
                                    .arg(waitLimit / 1000.0);
        return false;
    }
    if (build.exitStatus() != QProcess::NormalExit || build.exitCode() != 0 ||
        !QFileInfo(program).isExecutable()) {
        qWarning().noquote() << tr("The emulator program could not be built, so nothing was "
                                   "started. The console shows the build's messages.");
        return false;
    }
    return start(QLatin1Char('"') + QDir::toNativeSeparators(program) + QLatin1Char('"'));
}

bool Emulator::start(const QString& command)
{
    stop();
    const QStringList parts = QProcess::splitCommand(command);
    if (parts.isEmpty()) {
        qWarning().noquote() << tr("No emulator program was given.");
        return false;
    }

    output = OutputLineBuffer();
    errors = OutputLineBuffer();
    process = new QProcess(this);
    // Standard output carries the values only; the audio layer says on standard error why a
    // program plays silently, which the user would otherwise never learn.
    connect(process, &QProcess::readyReadStandardOutput, this, &Emulator::readOutput);
    connect(process, &QProcess::readyReadStandardError, this, &Emulator::readErrors);
    connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            &Emulator::programFinished);
    process->start(parts.first(), parts.mid(1));
    if (!process->waitForStarted(waitLimit)) {
        qWarning() << tr("can't start the emulator program") << parts.first()
                   << process->errorString();
        QProcess* failed = process;
        process = nullptr;
        disconnect(failed, nullptr, this, nullptr);
        failed->deleteLater();
        return false;
    }
    for (int index = 0; index < ControlCount; ++index)
        sendValue(index, values[index]);
    // Started, even when it has already ended again (it then logged what it printed).
    return true;
}

void Emulator::sendValue(int index, int value)
{
    QProcess* target = process;
    if (!target || target->state() != QProcess::Running || index < 0 || index >= ControlCount)
        return;
    // One write per message: the program takes the letter and its number together.
    const QByteArray message =
        QByteArray(1, char('a' + index)) + QString::number(value).toLocal8Bit() + '\n';
    target->write(message);
    target->waitForBytesWritten(waitLimit);
}

void Emulator::stop()
{
    endProcess(true);
}

bool Emulator::isRunning() const
{
    return process && process->state() != QProcess::NotRunning;
}

void Emulator::setControlValue(int index, int value)
{
    if (index < 0 || index >= ControlCount)
        return;
    int shown = 0;
    if (index < 2) {
        Knob* knob = index == 0 ? knob1 : knob2;
        knob->setValue(value);
        shown = int(knob->value());
    } else {
        CheckBox* box = index == 2 ? checkBox1 : checkBox2;
        box->setState(value);
        shown = box->checkState() * 1024;
    }
    values[index] = shown;
    sendValue(index, shown);
}

int Emulator::controlValue(int index) const
{
    return index >= 0 && index < ControlCount ? values[index] : 0;
}

void Emulator::attachControl(int index, QObject* control)
{
    if (index >= 0 && index < ControlCount)
        controls[index] = control;
}

void Emulator::setToolTips(const QStringList& tips)
{
    // The tips come from the preset catalogue: shown as the text they are.
    knob1->setToolTip(util::toolTipText(tips.value(0)));
    knob2->setToolTip(util::toolTipText(tips.value(1)));
    checkBox1->setToolTip(util::toolTipText(tips.value(2)));
    checkBox2->setToolTip(util::toolTipText(tips.value(3)));
}

void Emulator::handleSlider(int value)
{
    const QObject* from = sender();
    for (int index = 0; from && index < ControlCount; ++index) {
        if (controls[index] == from) {
            // The switches report their state, 0 or 1.
            setControlValue(index, index < 2 ? value : value * 1024);
            return;
        }
    }
}

void Emulator::readOutput()
{
    if (process)
        logLines(output.append(process->readAllStandardOutput()));
}

void Emulator::logLines(const QList<QByteArray>& lines)
{
    for (const QByteArray& line : lines)
        qDebug() << OutputLineBuffer::valueOf(line);
}

void Emulator::readErrors()
{
    if (process)
        logNotices(errors.append(process->readAllStandardError()));
}

void Emulator::logNotices(const QList<QByteArray>& lines)
{
    for (const QByteArray& line : lines)
        qDebug().noquote() << QString::fromLocal8Bit(line);
}

void Emulator::logRemains(QProcess* ended)
{
    logLines(output.append(ended->readAllStandardOutput()));
    const QByteArray rest = output.takeRest();
    if (!rest.isEmpty())
        logLines({rest});
    logNotices(errors.append(ended->readAllStandardError()));
    const QByteArray unfinished = errors.takeRest();
    if (!unfinished.isEmpty())
        logNotices({unfinished});
}

void Emulator::programFinished()
{
    // The program ended by itself (it crashed, or its input ended): log what it printed last
    // and become idle.
    QProcess* ended = process;
    if (!ended)
        return;
    process = nullptr;
    disconnect(ended, nullptr, this, nullptr);
    logRemains(ended);
    ended->deleteLater();
    emit programEnded();
}

void Emulator::endProcess(bool log)
{
    QProcess* ending = process;
    if (!ending)
        return;
    process = nullptr;
    disconnect(ending, nullptr, this, nullptr);
    if (ending->state() != QProcess::NotRunning) {
        ending->write("x");
        ending->waitForBytesWritten(QuitWait);
        ending->closeWriteChannel();
        if (!ending->waitForFinished(QuitWait)) {
            ending->kill();
            ending->waitForFinished(waitLimit);
        }
    }
    if (log)
        logRemains(ending);
    output = OutputLineBuffer();
    errors = OutputLineBuffer();
    ending->deleteLater();
}
