#pragma once

#include "RepositoryBlock.h"
#include "RepositoryComment.h"
#include "RepositoryPatch.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

class QNetworkAccessManager;
class QNetworkReply;
class RepositoryHost;
struct UserCredentials;

// The client of the online repository: every operation is one request against the server's
// single endpoint, and every finished reply comes back through replyFinished. Each reply keeps
// the kind of request it answers, its number and, for comments, the entry, so several requests
// may be in flight at once and a caller takes only the answers to its own.
class Repository : public QObject
{
    Q_OBJECT
public:
    enum RequestKind
    {
        LogInRequest = 0,
        UserPatchListRequest = 2,
        BlockListRequest = 3,
        UserBlockListRequest = 4,
        PatchRequest = 5,
        SingleBlockRequest = 6,
        MissingBlockListRequest = 7,
        MissingBlockRequest = 8,
        PatchUploadRequest = 9,
        BlockUploadRequest = 10,
        PatchDeleteRequest = 11,
        BlockDeleteRequest = 12,
        PatchCommentsRequest = 13,
        BlockCommentsRequest = 14,
        PatchCommentPostRequest = 15,
        BlockCommentPostRequest = 16,
        CommunityRequest = 17,
        UserDatabaseRequest = 18,
        VersionRequest = 19
    };
    Q_ENUM(RequestKind)

    enum Error
    {
        DatabaseError = 2,
        BlockListError = 3,
        BlockDownloadError = 4,
        PatchListError = 5,
        PatchDownloadError = 6,
        CommentListError = 7,
        CommentPostError = 8,
        VersionError = 9
    };
    Q_ENUM(Error)

    // How a request ended.
    enum Outcome
    {
        Accepted,
        // The server answered with a success status, but not what the request needs: no body,
        // no "1" to a change, no user id, no list of the kind, or more than the bound.
        Refused,
        // No answer: no server at the address, the connection broke, or no reply in time.
        Unreachable,
        // An answer with a status that is no success (a redirection is not followed); for the
        // log-in, any status but 200.
        BadStatus
    };
    Q_ENUM(Outcome)

    // What a finished request was and how it ended.
    struct Answer
    {
        RequestKind kind = LogInRequest;
        // The number the operation returned; each request has its own.
        int request = 0;
        // The patch or block a comments request or a comment post is about, -1 for any other
        // request.
        int entry = -1;
        Outcome outcome = Accepted;
        // What was logged for a failure; empty for an accepted answer and a refused log-in.
        QString message;
    };

    static constexpr qint64 defaultMaxReplySize = 16 * 1024 * 1024;
    static constexpr int defaultTimeout = 30000;

    // `host` receives downloaded patches and missing-block files and parents the version box;
    // `credentials` is used by the refreshes that follow changes until a request stores others.
    Repository(RepositoryHost* host, UserCredentials* credentials, QObject* parent = nullptr);

    // The endpoint's address up to and including "action.php"; util::repositoryUrl() at start.
    void setBaseUrl(const QString& endpoint);
    QString baseUrl() const { return endpoint; }
    // Bounds on every reply: its size in bytes and its whole time in milliseconds.
    void setMaxReplySize(qint64 bytes) { maxReplySize = bytes; }
    qint64 maxReplyBytes() const { return maxReplySize; }
    void setTransferTimeout(int milliseconds) { timeout = milliseconds; }
    QNetworkAccessManager* networkManager() const { return manager; }

    // The operations that return a number return the request's, or 0 when nothing was sent.
    int logIn(UserCredentials* credentials);
    void getUserPatchList(UserCredentials* credentials);
    void getBlockList();
    void getUserBlockList(UserCredentials* credentials);
    // Downloads the patch of that id, whatever list came last.
    void getPatch(int id);
    int getBlock(const RepositoryBlock& block, bool single);
    void getBlockList(RepositoryBlocks& missing);
    // Stops the running missing-block chain: its requests are aborted and nothing of it reaches
    // the editor window.
    void cancelMissingBlocks();
    void uploadPatch(RepositoryPatch& patch, UserCredentials* credentials, bool overwrite);
    void editPatch(int id, UserCredentials* credentials, const QString& name,
                   const QString& description);
    void uploadBlock(RepositoryBlock& block, UserCredentials* credentials, bool overwrite);
    void editBlock(int id, UserCredentials* credentials, const QString& title,
                   const QString& description);
    void deletePatch(int id, UserCredentials* credentials);
    void deleteBlock(int id, UserCredentials* credentials);
    void getPatchComments(int id, UserCredentials* credentials);
    void getBlockComments(int id, UserCredentials* credentials);
    void postPatchComment(int id, QString comment, UserCredentials* credentials);
    void postBlockComment(int id, QString comment, UserCredentials* credentials);
    void getCommunityDatabase();
    void getUserDatabase(UserCredentials* credentials);
    void getVersion();

    // The requests that no repository window asked for: the log-in, the version check and the
    // missing-block fetch.
    static bool isBackground(RequestKind kind)
    {
        return kind == LogInRequest || kind == VersionRequest || kind == MissingBlockListRequest ||
               kind == MissingBlockRequest;
    }

    // Logs the error's message (console only).
    void error(Error e);
    static QString errorText(Error e);

    bool unpackPatchList(QByteArray& data);
    bool unpackBlockList(QByteArray& data);
    bool unpackComments(QByteArray& data);
    void resolveBlocks();
    // False when the body is no version reply.
    bool versionCheck(QByteArray& data);

signals:
    void replyPatchList(RepositoryPatches& patches);
    void replyUserPatchList(RepositoryPatches& patches);
    void replyBlockList(RepositoryBlocks& blocks);
    void replyUserBlockList(RepositoryBlocks& blocks);
    // The comments of the entry `answer` names.
    void replyComments(RepositoryComments& comments, const Repository::Answer& answer);
    void replyBlock(QByteArray& data, const Repository::Answer& answer);
    // Every log-in answer, accepted or not; `data` holds the user's id in decimal digits alone
    // when accepted.
    void loginReply(QByteArray& data, const Repository::Answer& answer);
    // A request failed; the answer's message is what was logged for it.
    void requestFailed(const Repository::Answer& answer);

public slots:
    void replyFinished(QNetworkReply* reply);

private:
    using FormPart = QPair<QString, QByteArray>;

    QNetworkReply* download(const QString& query, RequestKind kind, int entry = -1);
    QNetworkReply* upload(const QString& query, RequestKind kind, const QList<FormPart>& parts,
                          int entry = -1);
    void watch(QNetworkReply* reply, RequestKind kind, int entry);
    // Reads the reply into `data` when it is what its kind needs; otherwise says why.
    Outcome judge(QNetworkReply* reply, RequestKind kind, QByteArray& data, QString& reason) const;
    void fail(Answer answer, Error e);
    void unreadable(const Answer& answer);
    bool storedCredentials(const char* what) const;
    bool usable(const UserCredentials* given, const char* what) const;
    void handle(const Answer& answer, QNetworkReply* reply, QByteArray& data);
    void missingBlockArrived(const Answer& answer, QNetworkReply* reply, QByteArray& data);
    void fetchNextMissingBlock();
    void finishMissingBlocks();
    static QString credentialQuery(const UserCredentials* credentials);

    RepositoryHost* host = nullptr;
    QNetworkAccessManager* manager = nullptr;
    QString endpoint;
    qint64 maxReplySize = defaultMaxReplySize;
    int timeout = defaultTimeout;

    RepositoryPatches patches;
    RepositoryBlocks blocks;
    RepositoryBlocks missingBlocks;
    RepositoryBlocks blocksToFetch;
    QList<QByteArray> fetchedBlockFiles;
    // Names of the matched blocks whose download was no such block.
    QStringList blocksNotFound;
    RepositoryComments comments;
    int pendingBlockCount = 0;
    int lastRequest = 0;
    // Number of the running missing-block chain; replies of an earlier chain are ignored.
    int chain = 0;
    UserCredentials* credentials = nullptr;
};

Q_DECLARE_METATYPE(Repository::Answer)
