#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

// The editor's settings store. Every read and write opens the store afresh; only the recent
// files are kept, as read at construction.
class Preferences
{
public:
    Preferences();

    QVariant getSetting(const QString& key, const QString& defaultValue = QString()) const;
    void saveSetting(const QString& key, const QVariant& value);
    QStringList getRecentFiles() const { return recentFiles; }

    static const QString CustomBlocksPath;
    static const QString DefaultPatchPath;
    static const QString RecentFiles;
    static const QString DisplayCharacters;
    static const QString ShowStartWindow;
    static const QString RememberLogIn;
    static const QString UserName;
    static const QString UserPassword;
    static const QString WindowState;
    static const QString WindowGeometry;

private:
    QStringList recentFiles;
};
