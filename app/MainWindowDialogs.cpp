// The about box, patch info and the options dialog.
#include "MainWindow.h"

#include "BlockDescription.h"
#include "BlockInstance.h"
#include "PatchDocument.h"
#include "PreferencesWindow.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QMessageBox>

namespace {

const QString contactAddress = QStringLiteral("hello@knotlattice.org");

} // namespace

QString MainWindow::aboutText()
{
    return QStringLiteral("<p align='center'><b>%1</b><br/>Beta v%2</p>"
                          "<p align='center'>%3<br/><a href='mailto:%4'>%4</a></p>")
        .arg(QCoreApplication::applicationName().toHtmlEscaped(),
             QCoreApplication::applicationVersion().toHtmlEscaped(),
             QCoreApplication::organizationName().toHtmlEscaped(), contactAddress);
}

void MainWindow::about()
{
    QMessageBox::about(this, tr("About %1").arg(QCoreApplication::applicationName()), aboutText());
}

// The Console shows the newest line on top, so the document section is written last.
void MainWindow::patchInfo()
{
    if (!document)
        return;
    for (const BlockInstance* instance : document->blockInstances()) {
        const BlockDescription* description = instance->description;
        qDebug().noquote() << "\tX:" << instance->x;
        qDebug().noquote() << "\tY:" << instance->y;
        qDebug().noquote() << "\t" << tr("Hash:") << (description ? description->hash : QString());
        qDebug().noquote() << "\t" << tr("Name:") << (description ? description->name : QString());
        qDebug().noquote() << "\t" << tr("Node Id:") << instance->nodeId;
        qDebug().noquote() << "\t" << tr("Id:") << instance->id;
        qDebug().noquote() << tr("Instance:");
    }
    const PatchInfo* info = document->patchInfo();
    qDebug().noquote() << "\t" << tr("Custom blocks included:")
                       << (info->includeBlocks ? "true" : "false");
    qDebug().noquote() << "\t" << tr("Creator language:") << info->lang;
    qDebug().noquote() << "\t" << tr("Zoom Level:") << info->zoomLevel;
    qDebug().noquote() << "\t" << tr("Saved:") << info->saved;
    qDebug().noquote() << "\t" << tr("Creation date:")
                       << QDateTime::fromSecsSinceEpoch(info->date).toString(Qt::TextDate);
    qDebug().noquote() << "\t" << tr("Node Id:") << info->nodeId;
    qDebug().noquote() << "\t" << tr("Name:") << info->name;
    qDebug().noquote() << tr("Document:");
}

void MainWindow::displayOptionsDialog()
{
    PreferencesWindow dialog(this);
    dialog.exec();
}
