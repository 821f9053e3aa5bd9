#pragma once

#include "RepositoryBlock.h"

#include <QByteArray>
#include <QString>

class QWidget;
class RepositoryHost;

// The block download a repository window waits for: the file it goes to and the request that
// fetches it. A window has one at a time, and only the answer to that request is written, once,
// so no earlier download overwrites a file and no other window's download lands here.
class BlockDownload
{
public:
    // Asks where to save `entry`, in the custom blocks folder when one is set. False when the
    // user cancels; a download asked for before is then still the one waited for.
    bool choose(QWidget* parent, const RepositoryBlock& entry);
    // Waits for `entry`, to be written to `path`. For callers that know the path already.
    void expect(const RepositoryBlock& entry, const QString& path);
    // The number of the request that fetches the block waited for.
    void setRequest(int number) { request = number; }
    bool isPending() const { return !savePath.isEmpty(); }
    QString path() const { return savePath; }
    bool intoCustomFolder() const { return customFolder; }
    void cancel();
    // The request of that number failed; the download ends only when it was the one waited for.
    void failed(int number);

    // A block file the client downloaded for the request `number`. Only the answer waited for
    // counts: written when it reads as the block asked for, otherwise the user is told why not;
    // a file in the custom blocks folder then joins the library through `host`.
    void arrived(const QByteArray& data, int number, RepositoryHost* host);

private:
    QString savePath;
    QString blockName;
    bool customFolder = false;
    int request = 0;
};
