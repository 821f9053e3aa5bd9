#pragma once

#include "CanvasBlock.h"
#include "FixtureHost.h"
#include "PatchDocument.h"
#include "PatchScene.h"
#include "SocketItem.h"

#include <QApplication>
#include <QMouseEvent>
#include <QStringList>
#include <QUndoStack>
#include <QtTest>

namespace harness {

// A real document shown in its own view, driven by events sent to the viewport as a user's
// mouse and keyboard would send them. The library is the fixture host's.
class Canvas
{
public:
    Canvas() : doc(&host)
    {
        host.current = &doc;
        doc.resize(900, 700);
        doc.show();
        QApplication::setActiveWindow(&doc);
        activated = QTest::qWaitForWindowActive(&doc);
        doc.setFocus();
    }

    PatchScene* scene() const { return doc.patchScene(); }
    QUndoStack* stack() const { return doc.undoStack(); }

    // A block placed straight through the model, so the undo stack stays empty.
    CanvasBlock* place(const QString& name, int x, int y)
    {
        const BlockInstance* instance = doc.addBlock(name, x, y, nullptr);
        return instance ? scene()->blockItem(instance->id) : nullptr;
    }

    // A cable made straight through the model, under the next free id.
    void connect(const CanvasBlock* out, int outSocket, const CanvasBlock* in, int inSocket)
    {
        doc.addConnection(doc.highestConnectionId() + 1, out->instanceId(), outSocket,
                          in->instanceId(), inSocket);
    }

    static QPointF centre(const SocketItem* socket) { return socket->scenePos() + QPointF(7, 7); }
    static QPointF outSocket(const CanvasBlock* block, int i)
    {
        return centre(block->outSockets().at(i));
    }
    static QPointF inSocket(const CanvasBlock* block, int i)
    {
        return centre(block->inSockets().at(i));
    }
    // A point on the block's body, clear of its name and sockets.
    static QPointF body(const CanvasBlock* block) { return block->scenePos() + QPointF(5, 12); }

    void mouse(QEvent::Type type, const QPointF& at, Qt::MouseButton button,
               Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        const QPoint local = doc.mapFromScene(at);
        QMouseEvent event(type, local, doc.viewport()->mapToGlobal(local), button, buttons,
                          modifiers);
        QApplication::sendEvent(doc.viewport(), &event);
    }
    void press(const QPointF& at, Qt::MouseButton button = Qt::LeftButton,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        mouse(QEvent::MouseButtonPress, at, button, button, modifiers);
    }
    void moveTo(const QPointF& at, Qt::MouseButtons buttons = Qt::LeftButton)
    {
        mouse(QEvent::MouseMove, at, Qt::NoButton, buttons);
    }
    void release(const QPointF& at, Qt::MouseButton button = Qt::LeftButton)
    {
        mouse(QEvent::MouseButtonRelease, at, button, Qt::NoButton);
    }
    // Press, a few moves on the way, release.
    void drag(const QPointF& from, const QPointF& to, int steps = 4)
    {
        press(from);
        for (int i = 1; i <= steps; ++i)
            moveTo(from + (to - from) * i / steps);
        release(to);
    }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(&doc, Qt::Key(key), modifiers);
    }

    // The top-level undo steps, each with the texts of the commands it holds.
    QStringList steps() const
    {
        QStringList list;
        for (int i = 0; i < stack()->count(); ++i) {
            const QUndoCommand* command = stack()->command(i);
            QString text = command->text();
            if (command->childCount() > 0) {
                QStringList children;
                for (int c = 0; c < command->childCount(); ++c)
                    children << command->child(c)->text();
                text +=
                    QStringLiteral(" [") + children.join(QStringLiteral(", ")) + QLatin1Char(']');
            }
            list << text;
        }
        return list;
    }

    FixtureHost host;
    PatchDocument doc;
    bool activated = false;
};

} // namespace harness
