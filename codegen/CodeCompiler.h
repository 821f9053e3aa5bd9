#pragma once

#include "InstanceList.h"

#include <QList>
#include <QString>

// Turns a patch into C source: puts the block instances into execution order and writes the
// record types, functions, records, the initialisation function and the two rate handlers into a
// template in place of "###dynamic###".
//
// Lives on the stack of one build; createCode() starts from an empty order every time.
class CodeCompiler
{
public:
    CodeCompiler() = default;

    // The template's text with the generated code in place of the marker, CR LF turned into LF.
    // Empty when there is nothing to build: the template cannot be read, or the cables form a
    // feedback loop (both reported as warnings). Changes no instance or description.
    QString createCode(const QList<const BlockInstance*>& instances, const QString& templatePath);

    // The execution order of the last createCode() or of the moves below.
    const InstanceList& executionOrder() const { return order; }

    // Removes every occurrence of the instance from the order, then appends it once.
    void moveToTail(const BlockInstance* instance);
    // Moves the instance and everything downstream of it to the tail; each moved block ends up
    // after the moved blocks that feed it. False, with the order unchanged and a warning, on a
    // feedback loop.
    bool bubbleDown(const BlockInstance* instance);
    // Finds the sources that feed the instance and lets each of them bubble down. False, with
    // the order unchanged and a warning, on a feedback loop.
    bool bubbleUp(const BlockInstance* instance);

private:
    // The start step of createCode(): every sink of the list bubbles up, in list order.
    bool orderFromSinks(const QList<const BlockInstance*>& instances);
    // Moves `sources` (in bubbling order) and everything below them to the tail.
    bool placeBelow(const QList<const BlockInstance*>& sources);
    // Appends `tail` to the order after removing its members from where they stood.
    void appendMoved(const QList<const BlockInstance*>& tail);

    InstanceList order;
};
