// The open path, from the bytes of a patch file to a document and its canvas, offscreen: the
// file is read, its blocks bound to the shipped library and to the blocks it carries, and the
// blocks, cables and comments added, as every way of opening a patch does. The document must
// then hold what its tables and its canvas say, with one cable per socket, and saving it must
// give a file that opens with every block, cable and comment again.
#include "FuzzTarget.h"

#include "BlockDescription.h"
#include "BlockInstance.h"
#include "BlockManager.h"
#include "CanvasBlock.h"
#include "Comment.h"
#include "DocumentHost.h"
#include "PatchCable.h"
#include "PatchComment.h"
#include "PatchDocument.h"
#include "PatchFile.h"
#include "PatchOpener.h"
#include "PatchRecord.h"
#include "PatchScene.h"

#include <QApplication>
#include <QByteArray>
#include <QGraphicsItem>
#include <QSet>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

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

// The shipped block library and nothing of a main window.
class LibraryHost : public DocumentHost
{
public:
    BlockManager library;

    QAction* getAction(const QString&) const override { return nullptr; }
    const BlockDescription* blockDescription(const QString& name, bool) const override
    {
        return library.blockDescription(name);
    }
    PatchDocument* currentDocument() const override { return nullptr; }
    void openFromPath(QString) override {}
    void variableChanged(int, int, const QString&) override {}
};

LibraryHost* host = nullptr;

std::unique_ptr<PatchDocument> open(const util::PatchFileContents& contents)
{
    auto document = std::make_unique<PatchDocument>(host);
    const PatchOpener::Library library = [](const QString& name) {
        return host->library.blockDescription(name);
    };
    PatchOpener::bindBlocks(document.get(), contents.patch, contents.blockFiles, library);
    PatchOpener::addBlocks(document.get(), contents.patch, library);
    PatchOpener::addCables(document.get(), contents.patch);
    PatchOpener::addComments(document.get(), contents.patch);
    return document;
}

// The model's tables agree with each other and with the canvas.
void checkDocument(PatchDocument& document)
{
    const InstanceList instances = document.blockInstances();
    QSet<const BlockInstance*> stored;
    for (const BlockInstance* instance : instances) {
        stored.insert(instance);
        check(instance->description != nullptr, "every block has a description");
        check(document.patchScene()->blockItem(instance->id) != nullptr, "every block is shown");
        for (auto it = instance->inputs.cbegin(); it != instance->inputs.cend(); ++it)
            check(it.value()->inBlock == instance && it.value()->inBlockSocketId == it.key(),
                  "an input records its own cable");
        for (auto it = instance->outputs.cbegin(); it != instance->outputs.cend(); ++it)
            check(it.value()->outBlock == instance && it.value()->outBlockSocketId == it.key(),
                  "an output records its own cable");
    }
    const QList<const BlockConnection*> cables = document.blockConnections();
    for (const BlockConnection* cable : cables) {
        check(stored.contains(cable->outBlock) && stored.contains(cable->inBlock),
              "a cable joins two stored blocks");
        check(cable->inBlock->inputs.value(cable->inBlockSocketId) == cable &&
                  cable->outBlock->outputs.value(cable->outBlockSocketId) == cable,
              "both sockets of a cable record it");
        check(cable->outBlockSocketId >= 0 &&
                  cable->outBlockSocketId < cable->outBlock->description->outputs.size() &&
                  cable->inBlockSocketId >= 0 &&
                  cable->inBlockSocketId < cable->inBlock->description->inputs.size(),
              "a cable joins sockets the blocks have");
        check(document.patchScene()->cableItem(cable->id) != nullptr, "every cable is shown");
    }
    const QList<Comment*> comments = document.comments();
    int blockItems = 0;
    int cableItems = 0;
    int commentItems = 0;
    for (QGraphicsItem* item : document.patchScene()->items()) {
        blockItems += item->type() == CanvasBlock::Type;
        cableItems += item->type() == PatchCable::Type;
        commentItems += item->type() == PatchComment::Type;
    }
    check(blockItems == instances.size() && cableItems == cables.size() &&
              commentItems == comments.size(),
          "the canvas shows what the model holds, once");
    const BlockInstance* mainOut = document.mainOut();
    check(!mainOut || (stored.contains(mainOut) &&
                       mainOut->description->name == PatchDocument::audioOutputName),
          "the main output is a stored Audio Output");
}

// A text as a record keeps it: at most 65535 bytes of UTF-8, cut where a character begins.
QString stored(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.size() <= 0xFFFF)
        return text;
    int cut = 0xFFFF;
    while (cut > 0 && (uchar(bytes.at(cut)) & 0xC0) == 0x80)
        --cut;
    return QString::fromUtf8(bytes.left(cut));
}

QStringList blockLines(PatchDocument& document)
{
    QStringList lines;
    for (const BlockInstance* b : document.blockInstances()) {
        // One pass of arg: a name may itself hold "%1".
        lines << QStringLiteral("%1 %2 %3,%4 %5")
                     .arg(QString::number(b->id), b->description->name, QString::number(b->x),
                          QString::number(b->y), stored(b->values.join(QLatin1Char(';'))));
    }
    return lines;
}

QStringList cableLines(PatchDocument& document)
{
    QStringList lines;
    for (const BlockConnection* c : document.blockConnections())
        lines << QStringLiteral("%1.%2 %3.%4")
                     .arg(QString::number(c->outBlock->id), QString::number(c->outBlockSocketId),
                          QString::number(c->inBlock->id), QString::number(c->inBlockSocketId));
    lines.sort();
    return lines;
}

QStringList commentLines(PatchDocument& document)
{
    QStringList lines;
    for (const Comment* c : document.comments())
        lines << QStringLiteral("%1,%2 %3")
                     .arg(QString::number(c->x), QString::number(c->y), stored(c->text));
    lines.sort();
    return lines;
}

void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

void fuzzSetUp(int*, char***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_openpatch";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    qInstallMessageHandler(quiet);
    host = new LibraryHost;
    host->library.loadBlocks(QStringLiteral(KL_SOURCE_DIR "/runtime/blocks"),
                             BlockDescription::OriginLibrary);
    if (!host->library.blockDescription(PatchDocument::audioOutputName))
        fail("the shipped blocks load");
}

int fuzzOne(const uint8_t* data, size_t size)
{
    const QByteArray file(reinterpret_cast<const char*>(data), int(size));
    const util::PatchFileContents contents = util::readPatchFile(file);
    std::unique_ptr<PatchDocument> document = open(contents);
    checkDocument(*document);

    // Saved as the main window saves, and opened again.
    const QByteArray record = util::makePatchRecord(
        document->blockInstances(),
        [&] {
            QList<const Comment*> comments;
            for (const Comment* c : document->comments())
                comments << c;
            return comments;
        }(),
        *document->patchInfo(), 2000, 2000);
    const QByteArray saved = util::patchFileBytes(record, document->getUserBlockFiles(), true);
    std::unique_ptr<PatchDocument> reopened = open(util::readPatchFile(saved));
    checkDocument(*reopened);
    check(blockLines(*reopened) == blockLines(*document), "every block comes back");
    check(cableLines(*reopened) == cableLines(*document), "every cable comes back");
    check(commentLines(*reopened) == commentLines(*document), "every comment comes back");
    return 0;
}
