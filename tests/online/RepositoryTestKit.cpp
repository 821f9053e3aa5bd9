#include "RepositoryTestKit.h"

SignalLog::SignalLog(Repository* r) : QObject(r)
{
    connect(r, &Repository::replyPatchList, this, [this](RepositoryPatches& p) {
        lastPatches = p;
        lines << QStringLiteral("patches %1").arg(p.size());
    });
    connect(r, &Repository::replyUserPatchList, this, [this](RepositoryPatches& p) {
        lastPatches = p;
        lines << QStringLiteral("userPatches %1").arg(p.size());
    });
    connect(r, &Repository::replyBlockList, this, [this](RepositoryBlocks& b) {
        lastBlocks = b;
        lines << QStringLiteral("blocks %1").arg(b.size());
    });
    connect(r, &Repository::replyUserBlockList, this, [this](RepositoryBlocks& b) {
        lastBlocks = b;
        lines << QStringLiteral("userBlocks %1").arg(b.size());
    });
    connect(r, &Repository::replyComments, this, [this](RepositoryComments& c) {
        lastComments = c;
        lines << QStringLiteral("comments %1").arg(c.size());
    });
    connect(r, &Repository::replyBlock, this,
            [this](QByteArray& data) { lines << "block " + QString::fromUtf8(data); });
    connect(r, &Repository::loginReply, this,
            [this](QByteArray& data) { lines << "login " + QString::fromUtf8(data); });
    connect(r, &Repository::requestFailed, this, [this](const Repository::Answer& answer) {
        lines << QStringLiteral("failed %1 %2").arg(int(answer.kind)).arg(answer.message);
    });
}
