#pragma once

#include "BlockConnection.h"
#include "BlockDescription.h"
#include "BlockInstance.h"
#include "Comment.h"
#include "PatchScene.h"

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QStringList>
#include <list>
#include <map>

namespace fixtures {

// A description with the given sockets and the trailing "rate" variable.
inline BlockDescription
description(const QString& name, int inputs, int outputs,
            const QString& category = QStringLiteral("Math"),
            BlockDescription::BlockOrigin origin = BlockDescription::OriginLibrary)
{
    BlockDescription d;
    d.name = name;
    d.category = category;
    d.origin = origin;
    d.info = name + QStringLiteral(" info");
    const auto add = [&d](qint32 kind, int index, const QString& varName, bool editable) {
        Variable v;
        v.id = static_cast<qint32>(d.variables.size());
        v.socketKind = kind;
        v.socketIndex = index;
        v.name = varName;
        v.editable = editable;
        v.value = QStringLiteral("0");
        v.info = varName + QStringLiteral(" tip");
        d.variables.push_back(v);
    };
    for (int i = 0; i < inputs; ++i)
        add(Variable::SocketInput, i, QStringLiteral("in%1").arg(i), i % 2 == 0);
    add(Variable::SocketNone, 0, QStringLiteral("setting"), true);
    for (int o = 0; o < outputs; ++o)
        add(Variable::SocketOutput, o, QStringLiteral("out%1").arg(o), false);
    add(Variable::SocketRate, 0, QStringLiteral("rate"), false);
    d.rebuildSockets();
    return d;
}

// Stands in for the document: owns the model values at stable addresses and carries out the
// scene's requests at once, as the real document's undo commands do.
class FakeDocument
{
public:
    explicit FakeDocument(PatchScene& scene) : scene(scene)
    {
        QObject::connect(&scene, &PatchScene::connectionAdded, &scene,
                         [this](int id, int outId, int outSocket, int inId, int inSocket) {
                             added.append(id);
                             if (carryOut)
                                 this->scene.addConnection(id, outId, outSocket, inId, inSocket);
                         });
        QObject::connect(&scene, &PatchScene::connectionRemoved, &scene,
                         [this](int id, int, int, int, int) {
                             removed.append(id);
                             if (carryOut)
                                 this->scene.removeConnection(id);
                         });
        QObject::connect(&scene, &PatchScene::blockRemoved, &scene, [this](int id) {
            log.append(QStringLiteral("block %1").arg(id));
            if (carryOut)
                this->scene.removeBlockItem(id);
        });
        QObject::connect(&scene, &PatchScene::commentRemoved, &scene, [this](int id) {
            log.append(QStringLiteral("comment %1").arg(id));
            if (carryOut)
                this->scene.removeComment(id);
        });
        QObject::connect(&scene, &PatchScene::beginUndo, &scene, [this](const QString& text) {
            log.append(QStringLiteral("begin ") + text);
        });
        QObject::connect(&scene, &PatchScene::endUndo, &scene,
                         [this] { log.append(QStringLiteral("end")); });
    }

    const BlockDescription*
    describe(const QString& name, int inputs, int outputs,
             const QString& category = QStringLiteral("Math"),
             BlockDescription::BlockOrigin origin = BlockDescription::OriginLibrary)
    {
        descriptions.push_back(description(name, inputs, outputs, category, origin));
        return &descriptions.back();
    }

    // Adds an instance and its block item at (x, y).
    BlockInstance* addBlock(int id, const BlockDescription* d, int x = 0, int y = 0,
                            const QString& rate = QStringLiteral("0"))
    {
        BlockInstance& instance = instances[id];
        instance.id = id;
        instance.description = d;
        instance.x = x;
        instance.y = y;
        instance.values.clear();
        for (const Variable& v : d->variables)
            instance.values.append(v.value);
        instance.values.last() = rate;
        scene.addBlockItem(&instance, x, y);
        return &instance;
    }

    Comment* addComment(int id, int x, int y, const QString& text)
    {
        Comment& comment = comments[id];
        comment.id = id;
        comment.x = x;
        comment.y = y;
        comment.text = text;
        scene.addComment(id, x, y, &comment);
        scene.editComment(id, x, y, text);
        return &comment;
    }

    PatchScene& scene;
    std::list<BlockDescription> descriptions;
    std::map<int, BlockInstance> instances;
    std::map<int, Comment> comments;
    bool carryOut = true;
    QList<int> added;
    QList<int> removed;
    QStringList log;
};

// The scene rendered one to one from its origin.
inline QImage render(QGraphicsScene& scene, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    scene.render(&painter, QRectF(0, 0, width, height), QRectF(0, 0, width, height));
    return image;
}

inline bool sameColour(const QColor& a, const QColor& b, int tolerance = 3)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance && qAbs(a.alpha() - b.alpha()) <= tolerance;
}

inline QByteArray describeColour(const QColor& actual, const QColor& expected)
{
    return QStringLiteral("got %1 (alpha %2), expected %3")
        .arg(actual.name())
        .arg(actual.alpha())
        .arg(expected.name())
        .toUtf8();
}

} // namespace fixtures
