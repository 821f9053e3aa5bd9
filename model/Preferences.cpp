#include "Preferences.h"

#include <QSettings>

const QString Preferences::CustomBlocksPath = QStringLiteral("Knotlattice/CustomBlocksPath");
const QString Preferences::DefaultPatchPath = QStringLiteral("Knotlattice/DefaultPatchPath");
const QString Preferences::RecentFiles = QStringLiteral("Knotlattice/RecentFiles");
const QString Preferences::DisplayCharacters = QStringLiteral("Knotlattice/DisplayCharacters");
const QString Preferences::ShowStartWindow = QStringLiteral("Knotlattice/ShowStartWindow");
const QString Preferences::RememberLogIn = QStringLiteral("Knotlattice/ul");
const QString Preferences::UserName = QStringLiteral("Knotlattice/un");
const QString Preferences::UserPassword = QStringLiteral("Knotlattice/up");
const QString Preferences::WindowState = QStringLiteral("state");
const QString Preferences::WindowGeometry = QStringLiteral("geometry");

Preferences::Preferences()
{
    QSettings settings;
    recentFiles = settings.value(RecentFiles).toStringList();
}

QVariant Preferences::getSetting(const QString& key, const QString& defaultValue) const
{
    QSettings settings;
    return settings.value(key, defaultValue);
}

void Preferences::saveSetting(const QString& key, const QVariant& value)
{
    QSettings settings;
    settings.setValue(key, value);
}
