#include "Startup.h"

#include "MainApp.h"
#include "MessageHandler.h"
#include "StartupResources.h"

#include <QDir>

void setApplicationIdentity()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Velmora Ltd"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("knotlattice.org"));
    QCoreApplication::setApplicationName(QStringLiteral("Knotlattice"));
    QCoreApplication::setApplicationVersion(QStringLiteral("%1.%2.%3").arg(1).arg(0).arg(0));
}

void startUp(MainApp& app)
{
    setMessageTarget(&app);

    QCoreApplication::setAttribute(Qt::AA_DontShowIconsInMenus);
    QDir::setCurrent(QCoreApplication::applicationDirPath());

    // Messages from building the windows went to the default output; from here on they
    // reach boxes and the Console.
    qInstallMessageHandler(messageHandler);

    applyStyleSheet(app);
    // The fonts were registered as the application object was made, before its windows.
    applyApplicationFont();

    app.showWindow();
}
