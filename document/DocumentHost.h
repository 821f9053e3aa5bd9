#pragma once

#include <QString>

class BlockDescription;
class PatchDocument;
class QAction;

// What a patch document needs from the window that holds it. The main window implements it;
// tests give a document a small host of their own.
class DocumentHost
{
public:
    virtual ~DocumentHost() = default;

    // A shared action by its registered name, or null.
    virtual QAction* getAction(const QString& name) const = 0;
    // A block description by name: the library only when `libraryOnly`, else the current
    // document's own descriptions first, then the library.
    virtual const BlockDescription* blockDescription(const QString& name,
                                                     bool libraryOnly) const = 0;
    virtual PatchDocument* currentDocument() const = 0;
    virtual void openFromPath(QString path) = 0;
    // A variable of an instance changed in the model; the inspector follows when it shows
    // that instance.
    virtual void variableChanged(int instanceId, int variableId, const QString& value) = 0;
};
