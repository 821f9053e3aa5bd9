#include "StartupResources.h"

#include <QApplication>
#include <QFile>
#include <QFont>
#include <QFontDatabase>

void applyStyleSheet(QApplication& app)
{
    QFile file(QStringLiteral(":/styles.txt"));
    file.open(QIODevice::ReadOnly | QIODevice::Text);
    app.setStyleSheet(QString::fromUtf8(file.readAll()));
    file.close();
}

void registerFonts()
{
    QFontDatabase::removeAllApplicationFonts();
    // The family the painters and the style sheet name; not shipped, so these may fail.
    for (const char* name : {":/FuturaStd-Bold.otf", ":/FuturaStd-Book.otf",
                             ":/FuturaStd-Light.otf", ":/FuturaStd-Medium.otf"})
        QFontDatabase::addApplicationFont(QString::fromLatin1(name));

    // Our bundled free family stands in for it.
    for (const char* name : {":/fonts/Lato-Regular.ttf", ":/fonts/Lato-Bold.ttf",
                             ":/fonts/Lato-Light.ttf", ":/fonts/Lato-Medium.ttf"})
        QFontDatabase::addApplicationFont(QString::fromLatin1(name));
    QFont::insertSubstitution(QStringLiteral("Futura Std"), QStringLiteral("Lato"));
}

void applyApplicationFont()
{
    const QFont current = QApplication::font();
    QApplication::setFont(QFont(current.defaultFamily(), 14, -1, false));
}
