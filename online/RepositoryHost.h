#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class QWidget;

// What the repository client and the online windows need from the editor window. The main
// window implements it; tests give the client a small host of their own.
class RepositoryHost
{
public:
    virtual ~RepositoryHost() = default;

    // A downloaded patch file, to be opened in a new tab.
    virtual void repositoryPatchDownloaded(const QByteArray& data) = 0;
    // The block files fetched for the patch that is waiting for them, in download order.
    virtual void repositoryBlockFiles(QList<QByteArray>& files) = 0;
    // A downloaded block file was saved into the custom blocks folder.
    virtual void blockSaved(const QString& path) = 0;
    virtual bool isDocumentEmpty() const = 0;
    // Names the current patch and hands it to the user window's upload; false when there is
    // nothing to upload.
    virtual bool repositoryPatchUploadRequest(const QString& name) = 0;
    // The editor window is disabled while the user window is open.
    virtual void setWindowEnabled(bool enabled) = 0;
    // Parent of the boxes the online side shows; may be null.
    virtual QWidget* hostWindow() = 0;
};
