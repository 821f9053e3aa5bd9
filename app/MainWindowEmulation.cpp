// Playing the current patch in the emulator.
#include "MainWindow.h"

#include "Console.h"
#include "Emulator.h"
#include "PatchDocument.h"

#include <QAction>
#include <QIcon>
#include <QTabWidget>

void MainWindow::emulateToggle()
{
    if (emulating) {
        emulateStop();
        showStopped();
        return;
    }
    if (!document)
        return;
    commitPendingEdits();
    console->clearConsole();
    emulateCode();
    if (emulating) {
        getAction("emulator_toggle")->setIcon(QIcon(QStringLiteral(":/icons/newstop.png")));
        document->setIsPlaying(true);
    }
}

// The playing state follows only a program that really started.
void MainWindow::emulateCode()
{
    emulator->stop();
    showStopped();
    emulating = document && emulator->compilePatch(document->blockInstances());
}

void MainWindow::emulateStop()
{
    emulator->stop();
    emulating = false;
}

void MainWindow::showStopped()
{
    getAction("emulator_toggle")->setIcon(QIcon(QStringLiteral(":/icons/newplay.png")));
    for (int i = 0; i < tabs->count(); ++i) {
        if (PatchDocument* doc = documentAt(i))
            doc->setIsPlaying(false);
    }
}
