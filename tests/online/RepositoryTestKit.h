#pragma once

#include "Repository.h"
#include "RepositoryHost.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <QTcpServer>
#include <functional>

// The editor window's side of the repository client, recorded.
class FakeHost : public RepositoryHost
{
public:
    void repositoryPatchDownloaded(const QByteArray& data) override { patches << data; }
    void repositoryBlockFiles(QList<QByteArray>& files) override { blockFileSets << files; }
    void blockSaved(const QString& path) override { saved << path; }
    bool isDocumentEmpty() const override { return empty; }
    // Answers as the editor does: the name is kept and `uploader` gets the patch.
    bool repositoryPatchUploadRequest(const QString& name) override
    {
        uploadNames << name;
        if (empty || refuseUpload)
            return false;
        if (uploader)
            uploader();
        return true;
    }
    void setWindowEnabled(bool) override {}
    QWidget* hostWindow() override { return nullptr; }

    QList<QByteArray> patches;
    QList<QList<QByteArray>> blockFileSets;
    QStringList saved;
    QStringList uploadNames;
    bool empty = true;
    // The editor refuses the upload of a patch it has, as for an unreadable block file.
    bool refuseUpload = false;
    std::function<void()> uploader;
};

// Every signal of a client as one line of text, in the order emitted: "patches 2",
// "userPatches 1", "blocks 3", "userBlocks 0", "comments 2", "block <bytes>", "login <bytes>",
// "failed <kind> <message>".
class SignalLog : public QObject
{
    Q_OBJECT
public:
    explicit SignalLog(Repository* repository);

    QStringList lines;
    RepositoryPatches lastPatches;
    RepositoryBlocks lastBlocks;
    RepositoryComments lastComments;
};

// Answers every request with one status and body, as a server of another make might; keeps
// the request targets.
class StatusServer : public QTcpServer
{
public:
    StatusServer();
    QString endpoint() const;

    int status = 200;
    QByteArray body;
    QList<QByteArray> targets;

private:
    void read(QTcpSocket* socket);
};
