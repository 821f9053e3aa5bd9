#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// knotlattice-repository run by a test: on a free loopback port, always with its database in
// a temporary folder, its log in a file beside it (so a busy log never fills a pipe).
class ServerProcess
{
public:
    ServerProcess();
    ~ServerProcess();

    // Starts the program with --port 0 --data FILE and `arguments`, and waits for the address
    // it prints. `openFiles` > 0 starts it under that open-file limit.
    bool start(const QStringList& arguments = {}, int openFiles = 0);
    // SIGKILL, as a crash or a power cut of the process would.
    void kill();
    // SIGTERM; true when it ended by itself with exit code 0.
    bool stop();
    bool isRunning() const { return process.state() != QProcess::NotRunning; }

    quint16 port() const { return boundPort; }
    QString endpoint() const { return address; }
    QString dataFile() const { return folder.filePath(QStringLiteral("repository.sqlite")); }
    QString folderPath() const { return folder.path(); }
    QByteArray log() const;
    QByteArray errors() const;
    // The process's resident memory in bytes (VmRSS), -1 when unknown.
    qint64 residentBytes() const;
    // A seed folder with users ann ("pw-ann", uid 1) and bob ("a?>b", uid 2), ann's patch
    // "Bells" (id 1, bytes "bells-bytes"), her blocks "demo.Half" (id 1) and "demo.a+b" (id 2)
    // and version 1.2.3.
    QString writeSeed();

    static QString program();

private:
    QTemporaryDir folder;
    QProcess process;
    quint16 boundPort = 0;
    QString address;
    int runs = 0;
};
