#pragma once

#include "RepositoryBlock.h"

#include <QByteArray>
#include <QString>

class QWidget;
class RepositoryHost;

// The block download a repository window waits for: the file it goes to. A window has one at a
// time, and a reply is written only for the block asked for, once, so no earlier download
// overwrites a file and no other window's download lands here.
class BlockDownload
{
public:
    // Asks where to save `entry`, in the custom blocks folder when one is set. False when the
    // user cancels; a download asked for before is then still the one waited for.
    bool choose(QWidget* parent, const RepositoryBlock& entry);
    // Waits for `entry`, to be written to `path`. For callers that know the path already.
    void expect(const RepositoryBlock& entry, const QString& path);
    bool isPending() const { return !savePath.isEmpty(); }
    QString path() const { return savePath; }
    bool intoCustomFolder() const { return customFolder; }
    void cancel();

    // A block file the client downloaded. Written when it is the block waited for and a
    // readable block description; a file in the custom blocks folder then joins the library
    // through `host`.
    void arrived(const QByteArray& data, RepositoryHost* host);

    // The name a block file gives when its first element is "block" with a name and the whole
    // file reads as a block description; empty otherwise.
    static QString validBlockName(const QByteArray& data);

private:
    QString savePath;
    QString blockName;
    bool customFolder = false;
};
