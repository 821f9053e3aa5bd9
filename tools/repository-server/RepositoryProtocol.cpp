#include "RepositoryProtocol.h"

#include "BlockFileFacts.h"
#include "RepositoryStore.h"
#include "ServerLimits.h"

#include <QXmlStreamWriter>

namespace {

using Outcome = RepositoryStore::Outcome;
using Reply = RepositoryProtocol::Reply;

// Base64 text of bytes; false when it is no valid Base64.
bool fromBase64(const QByteArray& text, QByteArray& out)
{
    const auto result =
        QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!result)
        return false;
    out = *result;
    return true;
}

// XML 1.0 has no place for most control characters, nor for U+FFFE and U+FFFF.
QString xmlSafe(QString text)
{
    for (QChar& c : text) {
        const ushort u = c.unicode();
        if ((u < 0x20 && u != '\t' && u != '\n' && u != '\r') || u == 0xfffe || u == 0xffff)
            c = QLatin1Char(' ');
    }
    return text;
}

Reply plain(const QByteArray& body, int status = 200)
{
    Reply r;
    r.status = status;
    r.body = body;
    return r;
}

Reply notFound()
{
    return plain("Not Found", 404);
}

Reply failed()
{
    return plain("The repository's database failed", 500);
}

Reply tooLarge()
{
    return plain("A form part is larger than this repository accepts", 413);
}

Reply xml(const QByteArray& body)
{
    Reply r;
    r.contentType = "text/xml; charset=utf-8";
    r.body = body;
    return r;
}

Reply file(const QByteArray& bytes)
{
    Reply r;
    r.contentType = "application/octet-stream";
    r.body = bytes;
    return r;
}

// Descriptions go out with one line feed before them; the client drops it.
void writeLongText(QXmlStreamWriter& w, const QString& name, const QString& text,
                   bool leadingLineFeed)
{
    w.writeStartElement(name);
    w.writeCDATA((leadingLineFeed ? QStringLiteral("\n") : QString()) + xmlSafe(text));
    w.writeEndElement();
}

// A non-negative id from the query; false for anything else.
bool idValue(const QString& text, int& out)
{
    bool ok = false;
    out = text.toInt(&ok);
    return ok && out >= 0;
}

} // namespace

RepositoryProtocol::Reply RepositoryProtocol::answer(const Request& request) const
{
    if (request.path == "/" && request.method == "GET") {
        int v[3];
        if (!store.version(v))
            return failed();
        Reply r;
        r.contentType = "text/html; charset=utf-8";
        r.body = "<html><body><p>Knotlattice repository. The newest editor version is " +
                 QByteArray::number(v[0]) + "." + QByteArray::number(v[1]) + "." +
                 QByteArray::number(v[2]) + ".</p></body></html>";
        return r;
    }
    if (request.path != "/action.php")
        return notFound();
    if (request.method != "GET" && request.method != "POST")
        return plain("Method Not Allowed", 405);
    return action(request);
}

RepositoryProtocol::Reply RepositoryProtocol::action(const Request& request) const
{
    const QString action = request.value(QStringLiteral("action"));
    int id = 0;
    const bool idOk = idValue(request.value(QStringLiteral("id")), id);
    bool ok = true;

    if (action == QLatin1String("get_uid")) {
        QByteArray name;
        QByteArray password;
        if (!fromBase64(request.value(QStringLiteral("name")).toLatin1(), name) ||
            !fromBase64(request.value(QStringLiteral("pass")).toLatin1(), password))
            return plain(QByteArray());
        const int uid = store.logIn(QString::fromUtf8(name), password);
        if (uid < 0)
            return failed();
        return plain(uid > 0 ? QByteArray::number(uid) : QByteArray());
    }
    const int listUid = qMax(0, request.value(QStringLiteral("uid")).toInt());
    QByteArray body;
    if (action == QLatin1String("list_patches"))
        body = patchList(-1, &ok);
    else if (action == QLatin1String("list_user_patches"))
        body = patchList(listUid, &ok);
    else if (action == QLatin1String("list_blocks"))
        body = blockList(-1, &ok);
    else if (action == QLatin1String("list_user_blocks"))
        body = blockList(listUid, &ok);
    else if (action == QLatin1String("list_patch_comments"))
        body = commentList(false, idOk ? id : 0, &ok);
    else if (action == QLatin1String("list_block_comments"))
        body = commentList(true, idOk ? id : 0, &ok);
    if (!body.isNull())
        return ok ? xml(body) : failed();

    if (action == QLatin1String("version")) {
        int v[3];
        if (!store.version(v))
            return failed();
        QXmlStreamWriter w(&body);
        w.writeStartDocument();
        w.writeStartElement(QStringLiteral("version"));
        w.writeAttribute(QStringLiteral("major"), QString::number(v[0]));
        w.writeAttribute(QStringLiteral("sub"), QString::number(v[1]));
        w.writeAttribute(QStringLiteral("build"), QString::number(v[2]));
        w.writeEndDocument();
        return xml(body);
    }
    if (action == QLatin1String("get_patch")) {
        if (!idOk)
            return notFound();
        const Outcome o = store.patchData(id, body);
        return o == Outcome::Done ? file(body) : o == Outcome::Refused ? notFound() : failed();
    }
    if (action == QLatin1String("get_block")) {
        const Outcome o = store.blockData(request.value(QStringLiteral("name")),
                                          request.value(QStringLiteral("hash")), body);
        return o == Outcome::Done ? file(body) : o == Outcome::Refused ? notFound() : failed();
    }
    static const QStringList changes{"upload_patch",         "update_patch",        "upload_block",
                                     "update_block",         "delete_patch",        "delete_block",
                                     "upload_patch_comment", "upload_block_comment"};
    if (!changes.contains(action))
        return notFound();
    return change(request, action);
}

// Everything that changes the repository needs the user's password.
RepositoryProtocol::Reply RepositoryProtocol::change(const Request& request,
                                                     const QString& action) const
{
    for (auto it = request.parts.cbegin(); it != request.parts.cend(); ++it) {
        const qint64 bound = it.key() == "file" ? (serverlimits::maxFileBytes + 2) / 3 * 4
                                                : serverlimits::maxTextPartBytes;
        if (it.value().size() > bound)
            return tooLarge();
    }
    QByteArray data;
    const bool hasFile = request.parts.contains("file");
    const bool fileOk = hasFile && fromBase64(request.parts.value("file"), data);
    if (data.size() > serverlimits::maxFileBytes)
        return tooLarge();

    bool uidOk = false;
    const int uid = request.value(QStringLiteral("uid")).toInt(&uidOk);
    QByteArray password;
    bool failedCheck = false;
    if (!uidOk || uid <= 0 ||
        !fromBase64(request.value(QStringLiteral("pass")).toLatin1(), password) ||
        !store.checkPassword(uid, password, &failedCheck))
        return failedCheck ? failed() : plain("0");

    int id = 0;
    const bool idOk = idValue(request.value(QStringLiteral("id")), id);
    auto text = [&request](const char* name, QString& out) {
        const auto it = request.parts.constFind(name);
        if (it == request.parts.cend())
            return false;
        out = QString::fromUtf8(it.value());
        return true;
    };
    auto result = [](Outcome o) {
        return o == Outcome::Done ? plain("1") : o == Outcome::Refused ? plain("0") : failed();
    };

    if (action == QLatin1String("upload_patch")) {
        RepositoryStore::Patch p;
        p.uid = uid;
        if (!text("name", p.name) || !text("filename", p.filename) ||
            !text("description", p.description) || !fileOk)
            return plain("0");
        p.data = data;
        return store.addPatch(p) > 0 ? plain("1") : failed();
    }
    if (action == QLatin1String("upload_block")) {
        RepositoryStore::Block b;
        b.uid = uid;
        if (!text("name", b.name) || !text("title", b.title) ||
            !text("description", b.description) || !text("hash", b.hash) ||
            !text("filename", b.filename) || !fileOk)
            return plain("0");
        b.data = data;
        b.category = BlockFileFacts::category(data);
        return store.addBlock(b) > 0 ? plain("1") : failed();
    }
    if (!idOk)
        return plain("0");
    if (action == QLatin1String("update_patch")) {
        RepositoryStore::PatchEdit edit;
        if (!text("name", edit.name) || !text("description", edit.description))
            return plain("0");
        if (hasFile) {
            if (!text("filename", edit.filename) || !fileOk)
                return plain("0");
            edit.withFile = true;
            edit.data = data;
        }
        return result(store.updatePatch(id, uid, edit));
    }
    if (action == QLatin1String("update_block")) {
        RepositoryStore::BlockEdit edit;
        if (!text("title", edit.title) || !text("description", edit.description))
            return plain("0");
        if (hasFile) {
            if (!text("name", edit.name) || !text("hash", edit.hash) ||
                !text("filename", edit.filename) || !fileOk)
                return plain("0");
            edit.withFile = true;
            edit.data = data;
            edit.category = BlockFileFacts::category(data);
        }
        return result(store.updateBlock(id, uid, edit));
    }
    if (action == QLatin1String("delete_patch"))
        return result(store.deletePatch(id, uid));
    if (action == QLatin1String("delete_block"))
        return result(store.deleteBlock(id, uid));
    // upload_patch_comment, upload_block_comment
    RepositoryStore::Comment c;
    c.onBlock = action == QLatin1String("upload_block_comment");
    c.target = id;
    c.uid = uid;
    if (!text("comment", c.content))
        return plain("0");
    return result(store.addComment(c));
}

// --- Lists -------------------------------------------------------------------------------

QByteArray RepositoryProtocol::patchList(int uid, bool* ok) const
{
    QList<RepositoryStore::Patch> patches;
    *ok = store.patches(patches, uid);
    QByteArray body("");
    QXmlStreamWriter w(&body);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("patches"));
    for (const RepositoryStore::Patch& p : qAsConst(patches)) {
        w.writeStartElement(QStringLiteral("patch"));
        w.writeAttribute(QStringLiteral("id"), QString::number(p.id));
        w.writeAttribute(QStringLiteral("uid"), QString::number(p.uid));
        w.writeAttribute(QStringLiteral("pname"), xmlSafe(p.name));
        w.writeAttribute(QStringLiteral("uname"), xmlSafe(p.user));
        w.writeAttribute(QStringLiteral("filename"), xmlSafe(p.filename));
        w.writeAttribute(QStringLiteral("date"), QString::number(p.date));
        writeLongText(w, QStringLiteral("description"), p.description, true);
        w.writeEndElement();
    }
    w.writeEndDocument();
    return body;
}

QByteArray RepositoryProtocol::blockList(int uid, bool* ok) const
{
    QList<RepositoryStore::Block> blocks;
    *ok = store.blocks(blocks, uid);
    QByteArray body("");
    QXmlStreamWriter w(&body);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("blocks"));
    for (const RepositoryStore::Block& b : qAsConst(blocks)) {
        w.writeStartElement(QStringLiteral("block"));
        w.writeAttribute(QStringLiteral("hash"), xmlSafe(b.hash));
        w.writeAttribute(QStringLiteral("id"), QString::number(b.id));
        w.writeAttribute(QStringLiteral("uid"), QString::number(b.uid));
        w.writeAttribute(QStringLiteral("bname"), xmlSafe(b.name));
        w.writeAttribute(QStringLiteral("title"), xmlSafe(b.title));
        w.writeAttribute(QStringLiteral("uname"), xmlSafe(b.user));
        w.writeAttribute(QStringLiteral("filename"), xmlSafe(b.filename));
        w.writeAttribute(QStringLiteral("category"), xmlSafe(b.category));
        w.writeAttribute(QStringLiteral("date"), QString::number(b.date));
        writeLongText(w, QStringLiteral("description"), b.description, true);
        w.writeEndElement();
    }
    w.writeEndDocument();
    return body;
}

QByteArray RepositoryProtocol::commentList(bool onBlock, int target, bool* ok) const
{
    QList<RepositoryStore::Comment> comments;
    *ok = store.comments(comments, onBlock, target);
    QByteArray body("");
    QXmlStreamWriter w(&body);
    w.writeStartDocument();
    w.writeStartElement(QStringLiteral("comments"));
    for (const RepositoryStore::Comment& c : qAsConst(comments)) {
        w.writeStartElement(QStringLiteral("comment"));
        w.writeAttribute(QStringLiteral("date"), QString::number(c.date));
        w.writeAttribute(QStringLiteral("id"), QString::number(c.id));
        w.writeAttribute(QStringLiteral("uid"), QString::number(c.uid));
        w.writeAttribute(QStringLiteral("uname"), xmlSafe(c.user));
        writeLongText(w, QStringLiteral("content"), c.content, false);
        w.writeEndElement();
    }
    w.writeEndDocument();
    return body;
}
