#include "Repository.h"

#include "BlockManager.h"
#include "ProgramPaths.h"
#include "RepositoryHost.h"
#include "RepositoryReader.h"
#include "UserCredentials.h"

#include <QDebug>
#include <QHttpMultiPart>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslError>
#include <QTimer>
#include <QUrl>

namespace {

// Set on every reply this client sends: what the reply answers.
const char* const kindProperty = "knotlattice.kind";
const char* const requestProperty = "knotlattice.request";
const char* const chainProperty = "knotlattice.chain";
const char* const entryProperty = "knotlattice.entry";
// The name of the block a missing-block download asked for.
const char* const blockNameProperty = "knotlattice.blockName";
const char* const oversizeProperty = "knotlattice.oversize";
const char* const timedOutProperty = "knotlattice.timedOut";

// Every query value is percent-encoded on its own, so "&", "=", "#", "+", blanks and
// non-ASCII letters arrive as they were, whichever way the server decodes its query.
QString value(const QString& text)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(text));
}

QString value(int number)
{
    return QString::number(number);
}

QString base64(const QString& text)
{
    return value(QString::fromLatin1(text.toUtf8().toBase64()));
}

} // namespace

Repository::Repository(RepositoryHost* host, UserCredentials* credentials, QObject* parent)
    : QObject(parent), host(host), manager(new QNetworkAccessManager(this)),
      endpoint(util::repositoryUrl()), credentials(credentials)
{
    // Answers may travel through queued connections and signal spies.
    qRegisterMetaType<Repository::Answer>();
    connect(manager, &QNetworkAccessManager::finished, this, &Repository::replyFinished);
    connect(manager, &QNetworkAccessManager::sslErrors, this,
            [](QNetworkReply*, const QList<QSslError>& errors) {
                for (const QSslError& e : errors)
                    qDebug().noquote()
                        << tr("Repository certificate refused: %1").arg(e.errorString());
            });
}

void Repository::setBaseUrl(const QString& address)
{
    endpoint = address;
}

// --- Sending --------------------------------------------------------------------------------

QNetworkReply* Repository::download(const QString& query, RequestKind kind, int entry)
{
    QNetworkRequest request(QUrl(endpoint + "?action=" + query, QUrl::TolerantMode));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = manager->get(request);
    watch(reply, kind, entry);
    return reply;
}

QNetworkReply* Repository::upload(const QString& query, RequestKind kind,
                                  const QList<FormPart>& parts, int entry)
{
    QNetworkRequest request(QUrl(endpoint + "?action=" + query, QUrl::TolerantMode));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    auto* body = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    for (const FormPart& part : parts) {
        QHttpPart p;
        p.setHeader(QNetworkRequest::ContentDispositionHeader,
                    QStringLiteral("form-data; name=\"%1\"").arg(part.first));
        if (part.first == QLatin1String("file"))
            p.setHeader(QNetworkRequest::ContentTypeHeader,
                        QStringLiteral("application/octet-stream"));
        p.setBody(part.second);
        body->append(p);
    }
    QNetworkReply* reply = manager->post(request, body);
    body->setParent(reply);
    watch(reply, kind, entry);
    return reply;
}

// Marks the reply with what it answers and bounds its size and time; an aborted reply finishes
// as a failure through replyFinished like any other.
void Repository::watch(QNetworkReply* reply, RequestKind kind, int entry)
{
    reply->setProperty(kindProperty, int(kind));
    reply->setProperty(requestProperty, ++lastRequest);
    reply->setProperty(entryProperty, entry);
    const qint64 limit = maxReplySize;
    // Reading stops one byte past the limit, so a longer body is noticed without being held.
    reply->setReadBufferSize(limit + 1);
    auto tooLarge = [reply, limit](qint64 size) {
        if (size <= limit)
            return;
        reply->setProperty(oversizeProperty, true);
        if (reply->isRunning())
            reply->abort();
    };
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, tooLarge] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid())
            tooLarge(length.toLongLong());
    });
    connect(reply, &QNetworkReply::downloadProgress, reply,
            [tooLarge](qint64 received, qint64) { tooLarge(received); });

    auto* timer = new QTimer(reply);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, reply, [reply] {
        if (reply->isRunning()) {
            reply->setProperty(timedOutProperty, true);
            reply->abort();
        }
    });
    timer->start(timeout);
}

QString Repository::credentialQuery(const UserCredentials* c)
{
    return "&uid=" + value(c->uid) + "&pass=" + base64(c->password);
}

bool Repository::usable(const UserCredentials* given, const char* what) const
{
    if (given)
        return true;
    qDebug().noquote()
        << tr("Repository request not sent (%1): no credentials").arg(QLatin1String(what));
    return false;
}

bool Repository::storedCredentials(const char* what) const
{
    if (credentials)
        return true;
    qDebug().noquote()
        << tr("The %1 was not refreshed: no credentials are stored").arg(QLatin1String(what));
    return false;
}

int Repository::logIn(UserCredentials* c)
{
    if (!usable(c, "log-in"))
        return 0;
    credentials = c;
    return download("get_uid&name=" + base64(c->name) + "&pass=" + base64(c->password),
                    LogInRequest)
        ->property(requestProperty)
        .toInt();
}

void Repository::getUserPatchList(UserCredentials* c)
{
    if (!usable(c, "user patch list"))
        return;
    download("list_user_patches&uid=" + value(c->uid), UserPatchListRequest);
}

void Repository::getBlockList()
{
    download(QStringLiteral("list_blocks"), BlockListRequest);
}

void Repository::getUserBlockList(UserCredentials* c)
{
    if (!usable(c, "user block list"))
        return;
    download("list_user_blocks&uid=" + value(c->uid), UserBlockListRequest);
}

void Repository::getPatch(int id)
{
    download("get_patch&id=" + value(id), PatchRequest);
}

int Repository::getBlock(const RepositoryBlock& block, bool single)
{
    QNetworkReply* reply =
        download("get_block&name=" + value(block.name) + "&hash=" + value(block.hash),
                 single ? SingleBlockRequest : MissingBlockRequest);
    if (!single) {
        reply->setProperty(chainProperty, chain);
        reply->setProperty(blockNameProperty, block.name);
    }
    return reply->property(requestProperty).toInt();
}

void Repository::getBlockList(RepositoryBlocks& missing)
{
    ++chain;
    missingBlocks = missing;
    blocksToFetch.clear();
    fetchedBlockFiles.clear();
    blocksNotFound.clear();
    pendingBlockCount = 0;
    download(QStringLiteral("list_blocks"), MissingBlockListRequest)
        ->setProperty(chainProperty, chain);
}

void Repository::cancelMissingBlocks()
{
    ++chain;
    missingBlocks.clear();
    blocksToFetch.clear();
    fetchedBlockFiles.clear();
    blocksNotFound.clear();
    pendingBlockCount = 0;
    for (QNetworkReply* reply : manager->findChildren<QNetworkReply*>()) {
        const int kind = reply->property(kindProperty).toInt();
        if ((kind == MissingBlockListRequest || kind == MissingBlockRequest) && reply->isRunning())
            reply->abort();
    }
}

void Repository::uploadPatch(RepositoryPatch& patch, UserCredentials* c, bool overwrite)
{
    if (!usable(c, "patch upload"))
        return;
    const QString query = overwrite ? "update_patch&id=" + value(patch.id) + credentialQuery(c)
                                    : "upload_patch" + credentialQuery(c);
    upload(query, PatchUploadRequest,
           {{QStringLiteral("name"), patch.name.toUtf8()},
            {QStringLiteral("filename"), patch.filename.toUtf8()},
            {QStringLiteral("description"), patch.description.toUtf8()},
            {QStringLiteral("file"), patch.data.toBase64()}});
}

void Repository::editPatch(int id, UserCredentials* c, const QString& name,
                           const QString& description)
{
    if (!usable(c, "patch edit"))
        return;
    upload("update_patch&id=" + value(id) + credentialQuery(c), PatchUploadRequest,
           {{QStringLiteral("name"), name.toUtf8()},
            {QStringLiteral("description"), description.toUtf8()}});
}

void Repository::uploadBlock(RepositoryBlock& block, UserCredentials* c, bool overwrite)
{
    if (!usable(c, "block upload"))
        return;
    const QString query = overwrite ? "update_block&id=" + value(block.id) + credentialQuery(c)
                                    : "upload_block" + credentialQuery(c);
    upload(query, BlockUploadRequest,
           {{QStringLiteral("name"), block.name.toUtf8()},
            {QStringLiteral("title"), block.title.toUtf8()},
            {QStringLiteral("description"), block.description.toUtf8()},
            {QStringLiteral("hash"), block.hash.toUtf8()},
            {QStringLiteral("filename"), block.filename.toUtf8()},
            {QStringLiteral("file"), block.data.toBase64()}});
}

void Repository::editBlock(int id, UserCredentials* c, const QString& title,
                           const QString& description)
{
    if (!usable(c, "block edit"))
        return;
    upload("update_block&id=" + value(id) + credentialQuery(c), BlockUploadRequest,
           {{QStringLiteral("title"), title.toUtf8()},
            {QStringLiteral("description"), description.toUtf8()}});
}

void Repository::deletePatch(int id, UserCredentials* c)
{
    if (!usable(c, "patch delete"))
        return;
    credentials = c;
    download("delete_patch&id=" + value(id) + credentialQuery(c), PatchDeleteRequest);
}

void Repository::deleteBlock(int id, UserCredentials* c)
{
    if (!usable(c, "block delete"))
        return;
    credentials = c;
    download("delete_block&id=" + value(id) + credentialQuery(c), BlockDeleteRequest);
}

void Repository::getPatchComments(int id, UserCredentials* c)
{
    if (c)
        credentials = c;
    download("list_patch_comments&id=" + value(id), PatchCommentsRequest, id);
}

void Repository::getBlockComments(int id, UserCredentials* c)
{
    if (c)
        credentials = c;
    download("list_block_comments&id=" + value(id), BlockCommentsRequest, id);
}

void Repository::postPatchComment(int id, QString comment, UserCredentials* c)
{
    if (!usable(c, "patch comment"))
        return;
    credentials = c;
    upload("upload_patch_comment" + credentialQuery(c) + "&id=" + value(id),
           PatchCommentPostRequest, {{QStringLiteral("comment"), comment.toUtf8()}}, id);
}

void Repository::postBlockComment(int id, QString comment, UserCredentials* c)
{
    if (!usable(c, "block comment"))
        return;
    credentials = c;
    upload("upload_block_comment" + credentialQuery(c) + "&id=" + value(id),
           BlockCommentPostRequest, {{QStringLiteral("comment"), comment.toUtf8()}}, id);
}

void Repository::getCommunityDatabase()
{
    download(QStringLiteral("list_patches"), CommunityRequest);
}

void Repository::getUserDatabase(UserCredentials* c)
{
    if (!usable(c, "user lists"))
        return;
    credentials = c;
    download("list_user_patches&uid=" + value(c->uid), UserDatabaseRequest);
}

void Repository::getVersion()
{
    download(QStringLiteral("version"), VersionRequest);
}

// --- Replies --------------------------------------------------------------------------------

QString Repository::errorText(Error e)
{
    switch (e) {
    case DatabaseError:
        return tr("Database Error!");
    case BlockListError:
        return tr("Could not find block's in database");
    case BlockDownloadError:
        return tr("Could not download block from database");
    case PatchListError:
        return tr("Could not find patches in database");
    case PatchDownloadError:
        return tr("Could not download patch from database");
    case CommentListError:
        return tr("Could not load comments from database");
    case CommentPostError:
        return tr("Could not post comment to database");
    case VersionError:
        return tr("Could not check for a newer version");
    }
    return QString();
}

void Repository::error(Error e)
{
    qDebug().noquote() << errorText(e);
}

void Repository::fail(Answer answer, Error e)
{
    // Without an answer the texts that speak of the database would mislead.
    if (answer.outcome != Unreachable)
        answer.message = errorText(e);
    qDebug().noquote() << answer.message;
    emit requestFailed(answer);
}

// The body was no list of the expected kind; the unpacking logged why.
void Repository::unreadable(const Answer& answer)
{
    Answer refused = answer;
    refused.outcome = Refused;
    refused.message = errorText(DatabaseError);
    emit requestFailed(refused);
}

Repository::Outcome Repository::judge(QNetworkReply* reply, RequestKind kind, QByteArray& data,
                                      QString& reason) const
{
    const QNetworkReply::NetworkError code = reply->error();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const bool oversize =
        reply->property(oversizeProperty).toBool() || reply->bytesAvailable() > maxReplySize;
    const int number = status.toInt();
    // The log-in alone needs exactly 200: another success says nothing about the password.
    const int highest = kind == LogInRequest ? 200 : 299;
    if (status.isValid() && (number < 200 || number > highest)) {
        reason = tr("HTTP status %1").arg(number);
        return BadStatus;
    }
    if (oversize) {
        reason = tr("the reply is larger than %1 bytes").arg(maxReplySize);
        return Refused;
    }
    if (reply->property(timedOutProperty).toBool()) {
        reason = tr("no reply within %1 ms").arg(timeout);
        return Unreachable;
    }
    // The toolkit's text names the address, whose query holds the password.
    auto networkReason = [reply] {
        QString text = reply->errorString();
        const QString bare = reply->url().toString(QUrl::RemoveQuery);
        for (QUrl::ComponentFormattingOptions form : {QUrl::PrettyDecoded, QUrl::FullyEncoded})
            text.replace(reply->url().toString(form), bare);
        return text;
    };
    // No answer came at all, or it broke off.
    if (!status.isValid() || code != QNetworkReply::NoError) {
        reason = networkReason();
        return Unreachable;
    }

    data = reply->readAll();
    switch (kind) {
    case LogInRequest: {
        int uid = -1;
        if (!RepositoryReader::readUserId(data, uid)) {
            reason = tr("the log-in was refused");
            return Refused;
        }
        data = QByteArray::number(uid);
        return Accepted;
    }
    case PatchUploadRequest:
    case BlockUploadRequest:
    case PatchDeleteRequest:
    case BlockDeleteRequest:
    case PatchCommentPostRequest:
    case BlockCommentPostRequest:
        if (!RepositoryReader::readAcceptance(data)) {
            reason = tr("the server refused the change");
            return Refused;
        }
        return Accepted;
    default:
        if (data.isEmpty()) {
            reason = tr("the reply is empty");
            return Refused;
        }
        return Accepted;
    }
}

void Repository::replyFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    const QVariant kindValue = reply->property(kindProperty);
    if (!kindValue.isValid())
        return;
    const auto kind = RequestKind(kindValue.toInt());

    // A reply of a chain that a newer one replaced is not looked at.
    if ((kind == MissingBlockListRequest || kind == MissingBlockRequest) &&
        (reply->property(chainProperty).toInt() != chain ||
         (kind == MissingBlockRequest && pendingBlockCount <= 0)))
        return;

    Answer answer;
    answer.kind = kind;
    answer.request = reply->property(requestProperty).toInt();
    answer.entry = reply->property(entryProperty).toInt();
    QByteArray data;
    QString reason;
    answer.outcome = judge(reply, kind, data, reason);

    if (reply->error() == QNetworkReply::ContentNotFoundError)
        qWarning().noquote() << tr("Content Not Found!");

    if (answer.outcome != Accepted) {
        qDebug().noquote() << tr("Repository request failed: %1").arg(reason);
        data.clear();
        const QString address = reply->url().toString(QUrl::RemoveQuery);
        if (answer.outcome == Unreachable)
            answer.message = tr("Cannot reach the repository at %1: %2").arg(address, reason);
        else if (kind == LogInRequest && answer.outcome == BadStatus)
            answer.message = tr("The repository at %1 answered with %2").arg(address, reason);
    }
    handle(answer, reply, data);
}

void Repository::handle(const Answer& answer, QNetworkReply* reply, QByteArray& data)
{
    const RequestKind kind = answer.kind;
    const bool ok = answer.outcome == Accepted;
    if (ok) {
        switch (kind) {
        case PatchUploadRequest:
            qWarning().noquote() << tr("Patch uploaded successfully");
            break;
        case BlockUploadRequest:
            qWarning().noquote() << tr("Block uploaded successfully");
            break;
        case PatchDeleteRequest:
            qWarning().noquote() << tr("Patch deleted successfully");
            break;
        case BlockDeleteRequest:
            qWarning().noquote() << tr("Block deleted successfully");
            break;
        default:
            break;
        }
    }

    switch (kind) {
    case LogInRequest:
        if (!ok) {
            if (!answer.message.isEmpty())
                qDebug().noquote() << answer.message;
            emit requestFailed(answer);
        }
        emit loginReply(data, answer);
        return;
    case UserPatchListRequest:
    case CommunityRequest:
    case UserDatabaseRequest:
        if (!ok)
            return fail(answer, PatchListError);
        if (!unpackPatchList(data))
            return unreadable(answer);
        if (kind == CommunityRequest) {
            emit replyPatchList(patches);
            getBlockList();
        } else {
            emit replyUserPatchList(patches);
            if (kind == UserDatabaseRequest && storedCredentials("user block list"))
                getUserBlockList(credentials);
        }
        return;
    case BlockListRequest:
    case UserBlockListRequest:
        if (!ok)
            return fail(answer, BlockListError);
        if (!unpackBlockList(data))
            return unreadable(answer);
        if (kind == BlockListRequest) {
            emit replyBlockList(blocks);
        } else {
            emit replyUserBlockList(blocks);
            getBlockList();
        }
        return;
    case PatchRequest:
        if (!ok)
            return fail(answer, PatchDownloadError);
        if (host)
            host->repositoryPatchDownloaded(data);
        else
            qDebug().noquote() << tr("Downloaded patch dropped: no editor window");
        return;
    case SingleBlockRequest:
        if (!ok)
            return fail(answer, BlockDownloadError);
        emit replyBlock(data, answer);
        return;
    case MissingBlockListRequest:
        if (!ok)
            return fail(answer, BlockListError);
        if (!unpackBlockList(data))
            return unreadable(answer);
        resolveBlocks();
        return;
    case MissingBlockRequest:
        return missingBlockArrived(answer, reply, data);
    case PatchUploadRequest:
    case PatchDeleteRequest:
        if (!ok)
            return fail(answer, PatchDownloadError);
        if (storedCredentials("user patch list"))
            getUserPatchList(credentials);
        return;
    case BlockUploadRequest:
        if (!ok)
            return fail(answer, PatchDownloadError);
        if (storedCredentials("user block list"))
            getUserBlockList(credentials);
        return;
    case BlockDeleteRequest:
        if (!ok)
            return fail(answer, BlockDownloadError);
        if (storedCredentials("user block list"))
            getUserBlockList(credentials);
        return;
    case PatchCommentsRequest:
    case BlockCommentsRequest:
        if (!ok)
            return fail(answer, CommentListError);
        if (!unpackComments(data))
            return unreadable(answer);
        emit replyComments(comments, answer);
        return;
    case PatchCommentPostRequest:
    case BlockCommentPostRequest:
        if (!ok)
            return fail(answer, CommentPostError);
        if (kind == PatchCommentPostRequest)
            getPatchComments(answer.entry, credentials);
        else
            getBlockComments(answer.entry, credentials);
        return;
    case VersionRequest:
        if (!ok || !versionCheck(data))
            return fail(answer, VersionError);
        return;
    }
}

// A file that does not read as the block asked for counts as a block the server lacks: the
// others still come, and the patch opens as with any block still missing.
void Repository::missingBlockArrived(const Answer& answer, QNetworkReply* reply, QByteArray& data)
{
    if (answer.outcome != Accepted) {
        pendingBlockCount = 0;
        return fail(answer, BlockDownloadError);
    }
    const QString wanted = reply->property(blockNameProperty).toString();
    if (BlockManager::validBlockName(data) == wanted)
        fetchedBlockFiles << data;
    else
        blocksNotFound << wanted;
    --pendingBlockCount;
    if (pendingBlockCount > 0)
        return fetchNextMissingBlock();
    finishMissingBlocks();
}

void Repository::finishMissingBlocks()
{
    if (!blocksNotFound.isEmpty()) {
        qDebug().noquote() << tr("Blocks still missing");
        for (const QString& name : qAsConst(blocksNotFound))
            qDebug() << name;
    }
    if (host)
        host->repositoryBlockFiles(fetchedBlockFiles);
    else
        qDebug().noquote() << tr("Downloaded blocks dropped: no editor window");
}

void Repository::fetchNextMissingBlock()
{
    getBlock(blocksToFetch.at(pendingBlockCount - 1), false);
}

bool Repository::unpackPatchList(QByteArray& data)
{
    if (RepositoryReader::readPatches(data, patches))
        return true;
    error(DatabaseError);
    return false;
}

bool Repository::unpackBlockList(QByteArray& data)
{
    if (RepositoryReader::readBlocks(data, blocks))
        return true;
    error(DatabaseError);
    return false;
}

bool Repository::unpackComments(QByteArray& data)
{
    if (RepositoryReader::readComments(data, comments))
        return true;
    error(DatabaseError);
    return false;
}

void Repository::resolveBlocks()
{
    blocksToFetch = RepositoryReader::matchMissing(blocks, missingBlocks);
    fetchedBlockFiles.clear();
    blocksNotFound.clear();
    Answer answer;
    answer.kind = MissingBlockListRequest;
    answer.outcome = Refused;
    if (blocksToFetch.size() == missingBlocks.size()) {
        pendingBlockCount = blocksToFetch.size();
        if (pendingBlockCount == 0)
            return fail(answer, BlockListError);
        return fetchNextMissingBlock();
    }
    pendingBlockCount = 0;
    qDebug().noquote() << tr("Blocks still missing");
    for (const RepositoryBlock& block : qAsConst(missingBlocks))
        qDebug() << block.name;
    fail(answer, BlockListError);
}

bool Repository::versionCheck(QByteArray& data)
{
    RepositoryReader::Version offered;
    if (!RepositoryReader::readVersion(data, offered))
        return false;
    const RepositoryReader::Version running{KNOTLATTICE_VERSION_MAJOR, KNOTLATTICE_VERSION_MINOR,
                                            KNOTLATTICE_VERSION_PATCH};
    if (!RepositoryReader::isNewer(offered, running))
        return true;
    QUrl page(endpoint);
    page.setPath(QStringLiteral("/"));
    page.setQuery(QString());
    QMessageBox::about(
        host ? host->hostWindow() : nullptr, QStringLiteral("Knotlattice"),
        "<p align='center'>New Knotlattice version is available : " +
            QStringLiteral("%1.%2.%3").arg(offered.major).arg(offered.sub).arg(offered.build) +
            "<br/><a href='" + page.toString(QUrl::FullyEncoded).toHtmlEscaped() +
            "'>Download</a></p>");
    return true;
}
