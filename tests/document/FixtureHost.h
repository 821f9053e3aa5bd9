#pragma once

#include "BlockManager.h"
#include "DocumentHost.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class QAction;

// A stand-in for the main window: a library of its own built from small block files, the shared
// actions by name, and a record of what the document asked of it.
class FixtureHost : public DocumentHost
{
public:
    struct VariableChange
    {
        int instanceId;
        int variableId;
        QString value;
    };

    // The library starts with the standard fixtures: "Audio Output" (two inputs), "Oscillator"
    // (one input, an editable scalar "freq" = 2.000000, an array "table[4]", one output) and
    // "Mixer" (two inputs, one output, "gain" = 0.50).
    FixtureHost();
    ~FixtureHost() override;

    // Writes a block file into the host's own folder and loads it into the library.
    bool addLibraryBlock(const QByteArray& xml,
                         BlockDescription::BlockOrigin origin = BlockDescription::OriginLibrary);
    // Path of the file addLibraryBlock wrote for that block name.
    QString blockFilePath(const QString& name) const { return files.value(name); }

    QAction* getAction(const QString& name) const override;
    const BlockDescription* blockDescription(const QString& name, bool libraryOnly) const override;
    PatchDocument* currentDocument() const override { return current; }
    void openFromPath(QString path) override { openedPaths.append(path); }
    void variableChanged(int instanceId, int variableId, const QString& value) override;

    // A block file with the given variable elements inside its data element.
    static QByteArray blockXml(const QString& name, const QString& category,
                               const QString& variables);

    BlockManager library;
    PatchDocument* current = nullptr;
    QStringList openedPaths;
    QList<VariableChange> variableChanges;

private:
    QTemporaryDir folder;
    QObject actionOwner;
    QHash<QString, QAction*> actions;
    QHash<QString, QString> files;
};
