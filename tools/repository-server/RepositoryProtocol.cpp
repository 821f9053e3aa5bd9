#include "RepositoryProtocol.h"

#include "RepositoryStore.h"
#include "ServerLimits.h"
#include "XmlReply.h"

#include "BlockManager.h"
#include "BoundedXml.h"

#include <QSet>
#include <QXmlStreamReader>
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

const QStringList changes{"upload_patch",         "update_patch",        "upload_block",
                          "update_block",         "delete_patch",        "delete_block",
                          "upload_patch_comment", "upload_block_comment"};

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
    static const QStringList lists{"list_patches",        "list_user_patches",
                                   "list_blocks",         "list_user_blocks",
                                   "list_patch_comments", "list_block_comments"};
    const int list = lists.indexOf(action);
    if (list >= 0) {
        const int which = list == 1 || list == 3 ? listUid : list >= 4 ? (idOk ? id : 0) : -1;
        const QByteArray key = QByteArray::number(list) + ":" + QByteArray::number(which);
        const quint64 generation = store.generation();
        QByteArray body;
        if (listReplies.find(key, generation, &body))
            return xml(body);
        bool ok = true;
        body = list < 2   ? patchList(which, &ok)
               : list < 4 ? blockList(which, &ok)
                          : commentList(list == 5, which, &ok);
        if (!ok)
            return failed();
        listReplies.keep(key, generation, body);
        return xml(body);
    }
    QByteArray body;
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
    if (!changes.contains(action))
        return notFound();
    return change(request, action);
}

int RepositoryProtocol::changingUser(const Request& request, Reply* refused) const
{
    bool uidOk = false;
    const int uid = request.value(QStringLiteral("uid")).toInt(&uidOk);
    QByteArray password;
    bool failedCheck = false;
    if (uidOk && uid > 0 &&
        fromBase64(request.value(QStringLiteral("pass")).toLatin1(), password) &&
        store.checkPassword(uid, password, &failedCheck))
        return uid;
    *refused = failedCheck ? failed() : plain("0");
    return 0;
}

bool RepositoryProtocol::refusedBeforeBody(const Request& request, Reply* reply,
                                           int* checkedUser) const
{
    *checkedUser = 0;
    if (request.path != "/action.php" || !changes.contains(request.value(QStringLiteral("action"))))
        return false;
    *checkedUser = changingUser(request, reply);
    return *checkedUser == 0;
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
    Reply refused;
    const int uid = request.checkedUser > 0 ? request.checkedUser : changingUser(request, &refused);
    if (!uid)
        return refused;

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
    // Decoded only for an action that stores it, after the password.
    const bool hasFile = request.parts.contains("file");
    QByteArray data;
    auto decodeFile = [&] {
        if (!fromBase64(request.parts.value("file"), data))
            refused = plain("0");
        else if (!RepositoryStore::acceptableFile(data))
            refused = tooLarge();
        else
            return true;
        return false;
    };

    if (action == QLatin1String("upload_patch")) {
        RepositoryStore::Patch p;
        p.uid = uid;
        if (!text("name", p.name) || !text("filename", p.filename) ||
            !text("description", p.description) || !hasFile)
            return plain("0");
        if (!decodeFile())
            return refused;
        p.data = data;
        return store.addPatch(p) > 0 ? plain("1") : failed();
    }
    if (action == QLatin1String("upload_block")) {
        RepositoryStore::Block b;
        b.uid = uid;
        if (!text("name", b.name) || !text("title", b.title) ||
            !text("description", b.description) || !text("hash", b.hash) ||
            !text("filename", b.filename) || !hasFile)
            return plain("0");
        if (!decodeFile())
            return refused;
        if (!readBlockFile(data, nullptr, &b.category))
            return plain("0");
        b.data = data;
        return store.addBlock(b) > 0 ? plain("1") : failed();
    }
    if (!idOk)
        return plain("0");
    if (action == QLatin1String("update_patch")) {
        RepositoryStore::PatchEdit edit;
        if (!text("name", edit.name) || !text("description", edit.description))
            return plain("0");
        if (hasFile) {
            if (!text("filename", edit.filename))
                return plain("0");
            if (!decodeFile())
                return refused;
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
                !text("filename", edit.filename))
                return plain("0");
            if (!decodeFile())
                return refused;
            if (!readBlockFile(data, nullptr, &edit.category))
                return plain("0");
            edit.withFile = true;
            edit.data = data;
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

bool RepositoryProtocol::readsPart(const QByteArray& name)
{
    static const QSet<QByteArray> read{"name",  "filename", "description", "file",
                                       "title", "hash",     "comment"};
    return read.contains(name);
}

bool RepositoryProtocol::readBlockFile(const QByteArray& bytes, QString* name, QString* category)
{
    // BoundedXml first: the stream reader alone takes seconds over one tag of many attributes.
    QString text;
    if (!BoundedXml::decode(bytes, text))
        return false;
    QXmlStreamReader reader(text);
    while (!reader.atEnd() && !reader.isStartElement())
        reader.readNext();
    if (reader.hasError() || !reader.isStartElement() || reader.name() != QLatin1String("block") ||
        !reader.attributes().hasAttribute(QStringLiteral("name")))
        return false;
    const BlockDescription block = BlockManager::loadBlock(bytes, BlockDescription::OriginLibrary);
    if (block.name.isEmpty())
        return false;
    if (name)
        *name = block.name;
    if (category)
        *category = block.category;
    return true;
}

// --- Lists -------------------------------------------------------------------------------

QByteArray RepositoryProtocol::patchList(int uid, bool* ok) const
{
    QList<RepositoryStore::Patch> patches;
    *ok = store.patches(patches, uid);
    XmlReply xml("patches");
    for (const RepositoryStore::Patch& p : qAsConst(patches)) {
        xml.beginEntry("patch");
        xml.attribute("id", p.id);
        xml.attribute("uid", p.uid);
        xml.attribute("pname", p.name);
        xml.attribute("uname", p.user);
        xml.attribute("filename", p.filename);
        xml.attribute("date", p.date);
        xml.longText("description", p.description, true);
        xml.endEntry("patch");
    }
    return xml.finish();
}

QByteArray RepositoryProtocol::blockList(int uid, bool* ok) const
{
    QList<RepositoryStore::Block> blocks;
    *ok = store.blocks(blocks, uid);
    XmlReply xml("blocks");
    for (const RepositoryStore::Block& b : qAsConst(blocks)) {
        xml.beginEntry("block");
        xml.attribute("hash", b.hash);
        xml.attribute("id", b.id);
        xml.attribute("uid", b.uid);
        xml.attribute("bname", b.name);
        xml.attribute("title", b.title);
        xml.attribute("uname", b.user);
        xml.attribute("filename", b.filename);
        xml.attribute("category", b.category);
        xml.attribute("date", b.date);
        xml.longText("description", b.description, true);
        xml.endEntry("block");
    }
    return xml.finish();
}

QByteArray RepositoryProtocol::commentList(bool onBlock, int target, bool* ok) const
{
    QList<RepositoryStore::Comment> comments;
    *ok = store.comments(comments, onBlock, target);
    XmlReply xml("comments");
    for (const RepositoryStore::Comment& c : qAsConst(comments)) {
        xml.beginEntry("comment");
        xml.attribute("date", c.date);
        xml.attribute("id", c.id);
        xml.attribute("uid", c.uid);
        xml.attribute("uname", c.user);
        xml.longText("content", c.content, false);
        xml.endEntry("comment");
    }
    return xml.finish();
}
