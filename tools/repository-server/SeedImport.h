#pragma once

#include <QString>

class RepositoryStore;

// Fills an empty repository from a seed folder: users.txt ("name password" a line; the first
// user owns the seeded entries), patches/*.ktl, blocks/*.xml and *.block, each with an optional
// description beside it in the same name plus ".txt", and version.txt ("major.sub.build").
// All or nothing, in one transaction.
class SeedImport
{
public:
    enum class Result
    {
        Applied,
        NotEmpty, // the repository holds entries already; nothing was changed
        Failed    // the folder is unreadable or malformed; `error` says why
    };

    static Result apply(RepositoryStore& store, const QString& folder, QString* error);
};
