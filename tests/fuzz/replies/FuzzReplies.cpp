#include "FuzzReplies.h"

#include "RepositoryReader.h"

#include <QByteArray>
#include <QSet>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz property broken: %s\n", what);
        std::abort();
    }
}

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// A list that a failed read must leave as it was.
template <typename List> List sentinel()
{
    List list;
    list.append(typename List::value_type());
    list.first().id = 4242;
    return list;
}

template <typename List, typename Read> void readList(const QByteArray& body, Read read)
{
    List list = sentinel<List>();
    const bool ok = read(body, list);
    if (!ok) {
        check(list.size() == 1 && list.first().id == 4242, "a failed read changed the list");
        return;
    }
    // The same body reads the same way again.
    List again;
    check(read(body, again) == ok, "second read differs");
    check(again.size() == list.size(), "second read has another length");
    for (int i = 0; i < list.size(); ++i)
        check(again.at(i).id == list.at(i).id, "second read has other ids");
}

void matchMissing(const QByteArray& body, uint8_t pick)
{
    RepositoryBlocks server;
    if (!RepositoryReader::readBlocks(body, server))
        return;
    // Missing: every entry whose position has its bit set in `pick`, and one unknown name.
    RepositoryBlocks missing;
    for (int i = 0; i < server.size(); ++i) {
        if (pick & (1u << (i % 8)))
            missing << server.at(i);
    }
    RepositoryBlock unknown;
    unknown.name = QStringLiteral("\x01not on the server");
    if (pick & 1)
        missing << unknown;
    QSet<QString> names;
    for (const RepositoryBlock& b : missing)
        names.insert(b.name);

    const RepositoryBlocks matched = RepositoryReader::matchMissing(server, missing);
    int next = 0;
    for (const RepositoryBlock& m : matched) {
        check(names.contains(m.name), "matched a name nobody asked for");
        // In server order: each match is a later server entry than the one before.
        while (next < server.size() &&
               !(server.at(next).name == m.name && server.at(next).id == m.id &&
                 server.at(next).hash == m.hash))
            ++next;
        check(next < server.size(), "match out of server order");
        ++next;
    }
    int expected = 0;
    for (const RepositoryBlock& s : server)
        expected += names.contains(s.name) ? 1 : 0;
    check(matched.size() == expected, "a server entry of a missing name was left out");
}

void version(const QByteArray& body)
{
    RepositoryReader::Version v;
    if (!RepositoryReader::readVersion(body, v))
        return;
    const RepositoryReader::Version running{1, 0, 0};
    check(!RepositoryReader::isNewer(v, v), "a version newer than itself");
    check(!(RepositoryReader::isNewer(v, running) && RepositoryReader::isNewer(running, v)),
          "two versions each newer than the other");
}

} // namespace

void silenceMessages()
{
    qInstallMessageHandler(quiet);
}

int fuzzReplies(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray body(reinterpret_cast<const char*>(data + 1), int(size - 1));
    switch (data[0] % 5) {
    case 0:
        readList<RepositoryPatches>(body, RepositoryReader::readPatches);
        break;
    case 1:
        readList<RepositoryBlocks>(body, RepositoryReader::readBlocks);
        break;
    case 2:
        readList<RepositoryComments>(body, RepositoryReader::readComments);
        break;
    case 3:
        version(body);
        break;
    case 4:
        matchMissing(body, data[0]);
        break;
    }
    return 0;
}
