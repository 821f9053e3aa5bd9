// The block-description reader, fed what a patch carries: a block file as it stands, or (after
// a first byte 01) a carried part still compressed as a patch file holds it. Every description read
// must be whole: its variables numbered in order and ending in "rate", its socket lists pointing
// into its own variables (in a copy too), its bytes kept, and its name what the name reader alone
// finds.
#include "FuzzTarget.h"

#include "BinaryUtil.h"
#include "BlockDescription.h"
#include "BlockManager.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QRegularExpression>
#include <cstdio>
#include <cstdlib>

namespace {

void fail(const char* what)
{
    std::fprintf(stderr, "fuzz property broken: %s\n", what);
    std::abort();
}

void check(bool ok, const char* what)
{
    if (!ok)
        fail(what);
}

void checkSockets(const BlockDescription& d)
{
    int inputs = 0;
    int outputs = 0;
    for (const Variable& v : d.variables) {
        if (v.socketKind == Variable::SocketInput) {
            check(inputs < d.inputs.size() && d.inputs.at(inputs) == &v,
                  "inputs list the input variables in order");
            check(v.socketIndex == inputs, "inputs are numbered from 0");
            ++inputs;
        } else if (v.socketKind == Variable::SocketOutput) {
            check(outputs < d.outputs.size() && d.outputs.at(outputs) == &v,
                  "outputs list the output variables in order");
            check(v.socketIndex == outputs, "outputs are numbered from 0");
            ++outputs;
        }
    }
    check(inputs == d.inputs.size() && outputs == d.outputs.size(), "no other sockets listed");
}

void checkDescription(const BlockDescription& d, const QByteArray& bytes)
{
    check(!d.variables.empty(), "a description has variables");
    for (size_t i = 0; i < d.variables.size(); ++i)
        check(d.variables[i].id == qint32(i), "variables are numbered in order");
    const Variable& rate = d.variables.back();
    check(rate.name == QLatin1String("rate") && rate.socketKind == Variable::SocketRate,
          "the last variable is the rate");
    checkSockets(d);
    check(d.origin == BlockDescription::OriginPatch && d.rawData == bytes,
          "a carried description keeps its bytes");
    QByteArray withoutReturns = bytes;
    withoutReturns.replace('\r', QByteArray());
    const QString hash = QString::fromLatin1(
        QCryptographicHash::hash(withoutReturns, QCryptographicHash::Sha1).toHex().left(4));
    check(d.hash == hash, "the hash is that of the bytes");

    const BlockDescription copy = d;
    checkSockets(copy);
    check(copy.name == d.name && copy.variables.size() == d.variables.size(),
          "a copy holds the same description");
}

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

void fuzzSetUp(int*, char***)
{
    qInstallMessageHandler(quiet);
}

int fuzzOne(const uint8_t* data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), int(size));
    if (size > 0 && data[0] == 1)
        bytes = util::bin::uncompress(bytes.mid(1));
    const BlockDescription d =
        BlockManager::loadBlock(bytes, BlockDescription::OriginPatch, QString(), QString());
    checkDescription(d, bytes);
    const BlockDescription again =
        BlockManager::loadBlock(bytes, BlockDescription::OriginPatch, QString(), QString());
    check(again.name == d.name && again.variables.size() == d.variables.size() &&
              again.functions.size() == d.functions.size(),
          "reading the same bytes twice gives the same description");
    // The document reader keeps line breaks and tabs in attribute values, where the name
    // reader turns them into spaces as XML asks.
    const QString alone = BlockManager::blockName(bytes);
    if (!d.name.isEmpty() && !d.name.contains(QRegularExpression(QStringLiteral("[\\t\\n\\r]"))))
        check(alone == d.name, "the name read alone is the block's");
    return 0;
}
