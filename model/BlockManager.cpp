#include "BlockManager.h"

#include "BoundedXml.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QXmlStreamReader>
#include <QtDebug>

#include <utility>

namespace {

// A block file nests three deep (block, data, variable); the document reader recurses once per
// level and would run out of stack on a file nested many thousands deep.
constexpr int maxNesting = 64;
// The document reader makes a node, and the block a variable, of each; the largest block the
// library ships has about 15,000.
constexpr int maxNodes = 131072;

// The document reader makes a node of each attribute too.
BoundedXml::Limits attributeLimits()
{
    BoundedXml::Limits limits;
    limits.attributes = maxNodes;
    return limits;
}

// Checks what the document reader cannot be trusted with, without building anything: false,
// with the reason in `error`, for text that is not well-formed XML or is nested too deep.
bool readableXml(const QString& text, QString& error)
{
    QXmlStreamReader reader(text);
    int depth = 0;
    int nodes = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token != QXmlStreamReader::EndElement && ++nodes > maxNodes) {
            error = QObject::tr("line %1: more than %2 elements and texts")
                        .arg(reader.lineNumber())
                        .arg(maxNodes);
            return false;
        }
        if (token == QXmlStreamReader::StartElement && ++depth > maxNesting) {
            error = QObject::tr("line %1: elements nested deeper than %2")
                        .arg(reader.lineNumber())
                        .arg(maxNesting);
            return false;
        }
        if (token == QXmlStreamReader::EndElement)
            --depth;
    }
    if (reader.hasError()) {
        error = QObject::tr("line %1, column %2: %3")
                    .arg(reader.lineNumber())
                    .arg(reader.columnNumber())
                    .arg(reader.errorString());
        return false;
    }
    return true;
}

Variable readVariable(const QDomNode& node, int id, int& inputCount, int& outputCount)
{
    // A node that is not an element (a comment, stray text) reads as a null element: every
    // attribute is empty, which gives a plain variable without a socket.
    const QDomElement element = node.toElement();
    Variable variable;
    variable.id = id;
    const QString socket = element.attribute(QStringLiteral("socket"));
    if (socket == QLatin1String("in")) {
        variable.socketKind = Variable::SocketInput;
        variable.socketIndex = inputCount++;
        variable.dtype = QStringLiteral("int32_t");
        variable.name = QStringLiteral("in%1").arg(variable.socketIndex);
    } else if (socket == QLatin1String("out")) {
        variable.socketKind = Variable::SocketOutput;
        variable.socketIndex = outputCount++;
        variable.dtype = QStringLiteral("int32_t");
        variable.name = QStringLiteral("out%1").arg(variable.socketIndex);
    } else {
        variable.socketKind = Variable::SocketNone;
        variable.dtype = element.attribute(QStringLiteral("dtype"));
        variable.name = element.attribute(QStringLiteral("name"));
    }
    variable.editable = element.attribute(QStringLiteral("editable")) == QLatin1String("1");
    variable.value = element.attribute(QStringLiteral("value"));
    variable.info = element.attribute(QStringLiteral("info"));
    return variable;
}

QString wrappedParameters(const QString& parameter)
{
    if (parameter.isEmpty())
        return QStringLiteral("()");
    if (parameter.contains(QLatin1Char('(')) && parameter.contains(QLatin1Char(')')))
        return parameter;
    return QLatin1Char('(') + parameter + QLatin1Char(')');
}

// Reads one block-description file. With `parseError` set, a text that is not well-formed XML
// is reported there; the description is filled either way.
BlockDescription parseBlock(const QByteArray& data, BlockDescription::BlockOrigin origin,
                            const QString& fileName, const QString& filePath, QString* parseError)
{
    BlockDescription description;
    description.hash = BlockManager::blockHash(data);

    QDomDocument document;
    QString text;
    QString error;
    int line = 0;
    int column = 0;
    if (!BoundedXml::decode(data, text, &error, attributeLimits()) || !readableXml(text, error)) {
        if (parseError)
            *parseError = error;
    } else if (!document.setContent(text, &error, &line, &column)) {
        // The parser keeps what it built before the error; a broken file must read as empty.
        document = QDomDocument();
        if (parseError)
            *parseError = QObject::tr("line %1, column %2: %3").arg(line).arg(column).arg(error);
    }
    const QDomElement root = document.documentElement();

    description.name = root.attribute(QStringLiteral("name"));
    description.category = root.firstChildElement(QStringLiteral("category")).text();
    description.info = root.firstChildElement(QStringLiteral("info")).text();
    const QDomElement dataElement = root.firstChildElement(QStringLiteral("data"));
    description.dataName = dataElement.attribute(QStringLiteral("name"));

    int inputCount = 0;
    int outputCount = 0;
    const QDomNodeList dataNodes = dataElement.childNodes();
    description.variables.reserve(static_cast<size_t>(dataNodes.count()) + 1);
    for (int i = 0; i < dataNodes.count(); ++i)
        description.variables.push_back(readVariable(dataNodes.at(i), i, inputCount, outputCount));

    bool controlRate = false;
    const QDomNodeList functionNodes = document.elementsByTagName(QStringLiteral("function"));
    for (int i = 0; i < functionNodes.count(); ++i) {
        const QDomElement element = functionNodes.at(i).toElement();
        BlockCode code;
        code.name = element.attribute(QStringLiteral("name"));
        code.code = element.text();
        const QString type = element.attribute(QStringLiteral("type")).toLower().trimmed();
        if (type == QLatin1String("init")) {
            code.type = BlockCode::Init;
        } else if (type == QLatin1String("custom")) {
            code.type = BlockCode::Custom;
            code.parameters = wrappedParameters(element.attribute(QStringLiteral("parameter")));
            code.returnType = element.attribute(QStringLiteral("return")).trimmed();
            if (code.returnType.isEmpty())
                code.returnType = QStringLiteral("void");
        } else if (type.isEmpty() || type == QLatin1String("main")) {
            code.type = BlockCode::Main;
            description.mainName = code.name;
            description.mainCode = code.code;
            controlRate = element.attribute(QStringLiteral("rate")).toLower().trimmed() ==
                          QLatin1String("control");
        } else {
            // An unknown kind is kept as a plain block function but never becomes the block's
            // main function.
            code.type = BlockCode::Main;
        }
        description.functions.append(code);
    }

    const QDomNodeList globalNodes = document.elementsByTagName(QStringLiteral("global"));
    for (int i = 0; i < globalNodes.count(); ++i) {
        const QDomElement element = globalNodes.at(i).toElement();
        BlockCode code;
        code.name = element.attribute(QStringLiteral("name"));
        code.code = element.text();
        description.globals.append(code);
    }

    description.help = root.firstChildElement(QStringLiteral("help")).text();

    Variable rate;
    rate.id = static_cast<qint32>(description.variables.size());
    rate.socketKind = Variable::SocketRate;
    rate.dtype = QStringLiteral("bool");
    rate.name = QStringLiteral("rate");
    rate.editable = true;
    rate.value = controlRate ? QStringLiteral("1") : QStringLiteral("0");
    rate.info = QStringLiteral("Control Rate");
    description.variables.push_back(rate);

    description.rebuildSockets();

    description.origin = origin;
    description.fileName = fileName;
    description.filePath = filePath;
    if (origin == BlockDescription::OriginPatch)
        description.rawData = data;
    return description;
}

// Only user blocks remember their file: saving and carrying them go back to it.
BlockDescription parseFile(QFile& file, BlockDescription::BlockOrigin origin, QString* parseError)
{
    const QByteArray data = file.readAll();
    if (origin != BlockDescription::OriginUser)
        return parseBlock(data, origin, QString(), QString(), parseError);
    const QFileInfo info(file);
    return parseBlock(data, origin, info.fileName(), info.absoluteFilePath(), parseError);
}

} // namespace

BlockManager::BlockManager(QObject* parent) : QObject(parent)
{
    // `categories` and callers keep pointers into `blocks`. A shared hash would detach on our
    // next write and leave those pointers in the other copy, so copies made by callers are
    // always deep. The hash is never cleared or assigned, which would reset this.
    blocks.setSharable(false);
}

BlockDescription BlockManager::loadBlock(const QByteArray& data,
                                         BlockDescription::BlockOrigin origin,
                                         const QString& fileName, const QString& filePath)
{
    return parseBlock(data, origin, fileName, filePath, nullptr);
}

BlockDescription BlockManager::loadBlock(QFile& file, BlockDescription::BlockOrigin origin)
{
    return parseFile(file, origin, nullptr);
}

QString BlockManager::blockName(const QByteArray& data)
{
    // However wide the first tag, the reader is given its name alone: entities and attribute
    // defaults of a block file are refused when it is read, and its name does without them.
    BoundedXml::Limits limits;
    limits.firstElementAttribute = QStringLiteral("name");
    QString text;
    if (!BoundedXml::decode(data, text, nullptr, limits))
        return QString();
    QXmlStreamReader reader(text);
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement)
            return reader.attributes().value(QStringLiteral("name")).toString();
    }
    return QString();
}

QString BlockManager::validBlockName(const QByteArray& data)
{
    QString text;
    if (!BoundedXml::decode(data, text))
        return QString();
    QXmlStreamReader reader(text);
    while (!reader.atEnd() && !reader.isStartElement())
        reader.readNext();
    if (reader.hasError() || !reader.isStartElement() || reader.name() != QLatin1String("block") ||
        !reader.attributes().hasAttribute(QStringLiteral("name")))
        return QString();
    return loadBlock(data, BlockDescription::OriginPatch).name;
}

QString BlockManager::readBlockFile(const QString& path, BlockDescription::BlockOrigin origin,
                                    BlockDescription& description)
{
    // A folder named like a block file is no block file, whether or not it opens.
    QFile file(path);
    const bool isFolder = QFileInfo(path).isDir();
    if (isFolder || !file.open(QIODevice::ReadOnly)) {
        return tr("Cannot read block file %1: %2")
            .arg(path, isFolder ? tr("it is a folder") : file.errorString());
    }

    // The reader takes what it can from any bytes; the library keeps only real descriptions.
    QString parseError;
    description = parseFile(file, origin, &parseError);
    file.close();
    if (!parseError.isEmpty())
        return tr("Block file %1 is not well-formed XML: %2").arg(path, parseError);
    if (description.name.isEmpty())
        return tr("Block file %1 gives no block name").arg(path);
    return QString();
}

bool BlockManager::readLibraryFile(const QString& path, BlockDescription::BlockOrigin origin,
                                   BlockDescription& description)
{
    const QString error = readBlockFile(path, origin, description);
    if (!error.isEmpty())
        qWarning().noquote() << error;
    return error.isEmpty();
}

bool BlockManager::loadNewBlock(const QString& path, BlockDescription::BlockOrigin origin)
{
    BlockDescription description;
    if (!readLibraryFile(path, origin, description))
        return false;
    if (blocks.contains(description.name))
        return false;
    store(std::move(description));
    return true;
}

void BlockManager::loadBlocks(const QString& folder, BlockDescription::BlockOrigin origin)
{
    if (!QFileInfo(folder).isDir()) {
        qWarning().noquote() << tr("directory %1 does not exist").arg(folder);
        return;
    }

    // One bad file must not hide the rest of the library.
    QSet<QString> visited;
    walkFolder(folder, visited, [this, origin](const QString& path) {
        BlockDescription description;
        if (readLibraryFile(path, origin, description))
            store(std::move(description));
    });
}

QStringList BlockManager::scannedFilesOf(const QString& folder, const QString& name)
{
    QStringList files;
    if (!QFileInfo(folder).isDir())
        return files;
    QSet<QString> visited;
    walkFolder(folder, visited, [&files, &name](const QString& path) {
        BlockDescription description;
        if (readBlockFile(path, BlockDescription::OriginUser, description).isEmpty() &&
            description.name == name)
            files << path;
    });
    return files;
}

void BlockManager::walkFolder(const QString& folder, QSet<QString>& visited,
                              const std::function<void(const QString&)>& visit)
{
    // Every entry counts, hidden ones too, and linked folders are entered; each real folder is
    // read once, so a link that leads back up cannot send the scan round for ever.
    const QString real = QFileInfo(folder).canonicalFilePath();
    if (real.isEmpty() || visited.contains(real))
        return;
    visited.insert(real);

    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info = it.fileInfo();
        const QString suffix = info.suffix();
        if (suffix == QLatin1String("xml") || suffix == QLatin1String("block"))
            visit(path);
        if (info.isDir())
            walkFolder(path, visited, visit);
    }
}

void BlockManager::store(BlockDescription&& description)
{
    auto it = blocks.find(description.name);
    const bool known = it != blocks.end();
    if (!known)
        it = blocks.insert(description.name, BlockDescription());

    // Overwrite in place so every pointer to the stored description shows the new content.
    BlockDescription* stored = &*it;
    const QString oldCategory = stored->category;
    *stored = std::move(description);
    if (known) {
        if (stored->category == oldCategory)
            return;
        const auto oldList = categories.find(oldCategory);
        if (oldList != categories.end()) {
            oldList->removeAll(stored);
            if (oldList->isEmpty())
                categories.erase(oldList);
        }
    }
    categories[stored->category].append(stored);
}

const BlockDescription* BlockManager::blockDescription(const QString& name) const
{
    const auto it = blocks.constFind(name);
    return it == blocks.constEnd() ? nullptr : &*it;
}

QString BlockManager::blockHash(const QByteArray& data)
{
    // Line ends must not change a block's identity, so the hash ignores carriage returns.
    QByteArray copy = data;
    copy.replace('\r', QByteArray());
    return QString::fromLatin1(
        QCryptographicHash::hash(copy, QCryptographicHash::Sha1).toHex().left(4));
}
