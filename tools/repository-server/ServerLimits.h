#pragma once

#include <QtGlobal>

// Every bound of the repository server in one place. The file bound is the size the editor
// downloads (its reply limit), so whatever the server stores can be fetched again.
namespace serverlimits {

// A decoded upload file ("file" part), at most the editor's reply limit.
constexpr qint64 maxFileBytes = 16 * 1024 * 1024;
// One text part (name, title, description, comment ...): lists of many entries must stay
// below the editor's reply limit too.
constexpr qint64 maxTextPartBytes = 64 * 1024;
// A request body: the Base64 text of the largest file plus room for the other parts.
constexpr qint64 maxBodyBytes = (maxFileBytes + 2) / 3 * 4 + 256 * 1024;
// Upload bytes held by all connections at once; a new upload past it gets 503.
constexpr qint64 maxBufferedUploadBytes = 96 * 1024 * 1024;
// Request line and headers together.
constexpr qint64 maxHeaderBytes = 64 * 1024;
// libmicrohttpd's memory per connection: its read buffer holds the request line and the
// headers, so it must exceed maxHeaderBytes.
constexpr size_t connectionMemoryBytes = 128 * 1024;
// Part headers parsed by the multipart reader.
constexpr size_t postBufferBytes = 16 * 1024;

// Defaults that the command line can change.
constexpr unsigned defaultMaxConnections = 4096;
// Off: behind a reverse proxy every client has the proxy's address.
constexpr unsigned defaultMaxPerAddress = 0;
constexpr unsigned defaultIdleTimeoutSeconds = 30;
// File handles kept besides the connections: for the listening socket, the logs and the main
// thread's database connection, and for each worker its epoll handle and its own database
// connection (the file and its log).
constexpr unsigned reservedFileHandles = 16;
constexpr unsigned fileHandlesPerWorker = 3;
// Under a small open-file limit there are fewer workers, each with room for this many
// connections.
constexpr unsigned minConnectionsPerWorker = 4;

// List replies kept for answering again while the database is unchanged.
constexpr qint64 maxCacheBytes = 32 * 1024 * 1024;
constexpr int maxCacheEntries = 1024;
constexpr qint64 maxCachedReplyBytes = 4 * 1024 * 1024;

// SQLite waits this long for another writer before a change fails.
constexpr int busyTimeoutMs = 10000;
// PBKDF2-SHA256 rounds of a new password digest; each row keeps its own count.
constexpr int passwordIterations = 20000;

} // namespace serverlimits
