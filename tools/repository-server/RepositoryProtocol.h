#pragma once

#include "QueryString.h"
#include "ReplyCache.h"

#include <QByteArray>
#include <QHash>

class RepositoryStore;

// The repository's one endpoint "/action.php": every action the editor sends, answered from
// the store. Knows nothing of HTTP framing; the web server hands it whole requests.
//
// Refusals: a log-in with an unknown name or a wrong password gets an empty body; a change
// (upload, update, delete, comment) whose uid and password do not name a user, or that touches
// an entry of another user or one that does not exist, or lacks a form part, gets the body "0".
// Both with status 200. A part past its size bound gets 413, a database failure 500.
class RepositoryProtocol
{
public:
    struct Request
    {
        QByteArray method;
        QByteArray path;
        QueryString::Pairs query;
        // The first form part of each name.
        QHash<QByteArray, QByteArray> parts;
        // The uid whose password the web server already checked against this query before the
        // body came; each check costs a key derivation.
        int checkedUser = 0;

        QString value(const QString& key) const { return QueryString::value(query, key); }
    };
    struct Reply
    {
        int status = 200;
        QByteArray contentType = "text/plain; charset=utf-8";
        QByteArray body;
    };

    explicit RepositoryProtocol(RepositoryStore& store) : store(store) {}

    Reply answer(const Request& request) const;

    // For a request whose body is still to come: true, with the answer in `reply`, for a change
    // whose uid and password name no user, which gets that answer whatever its body holds;
    // otherwise `checkedUser` is the user a change is made for (0 for other requests).
    bool refusedBeforeBody(const Request& request, Reply* reply, int* checkedUser) const;
    // Whether some action reads a form part of this name; the web server keeps no others.
    static bool readsPart(const QByteArray& name);
    // A block file as the editor accepts one it downloads: its name and category. False for
    // bytes the editor's block reader refuses, which the repository does not store either.
    static bool readBlockFile(const QByteArray& bytes, QString* name, QString* category);

private:
    Reply action(const Request& request) const;
    Reply change(const Request& request, const QString& action) const;
    // The uid a change is made for; 0, with the answer in `refused`, when its uid and password
    // name no user.
    int changingUser(const Request& request, Reply* refused) const;
    QByteArray patchList(int uid, bool* ok) const;
    QByteArray blockList(int uid, bool* ok) const;
    QByteArray commentList(bool onBlock, int target, bool* ok) const;

    RepositoryStore& store;
    mutable ReplyCache listReplies;
};
