#include "CodeCompiler.h"

#include "BlockDescription.h"
#include "BlockInstance.h"
#include "GeneratedSource.h"

#include <QDebug>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <QVector>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

const QString Marker = QStringLiteral("###dynamic###");

// The blocks a block feeds (downward) or is fed by (upward), by socket number so the order is
// the same on every run. Cables with a missing end are not part of the graph.
QVector<const BlockInstance*> neighbours(const BlockInstance* block, bool downward)
{
    const QHash<qint32, const BlockConnection*>& sockets =
        downward ? block->outputs : block->inputs;
    std::vector<std::pair<qint32, const BlockInstance*>> found;
    found.reserve(sockets.size());
    for (auto it = sockets.cbegin(); it != sockets.cend(); ++it) {
        const BlockConnection* cable = it.value();
        if (!cable)
            continue;
        const BlockInstance* other = downward ? cable->inBlock : cable->outBlock;
        if (other)
            found.emplace_back(it.key(), other);
    }
    std::sort(found.begin(), found.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    QVector<const BlockInstance*> result;
    result.reserve(int(found.size()));
    for (const auto& entry : found)
        result.append(entry.second);
    return result;
}

void warnFeedbackLoop(const QList<const BlockInstance*>& loop)
{
    QStringList names;
    for (const BlockInstance* block : loop)
        names << GeneratedSource::blockLabel(*block);
    if (!loop.isEmpty())
        names << GeneratedSource::blockLabel(*loop.first());
    qWarning().noquote()
        << QStringLiteral("Feedback loop: the cables lead from %1 back to itself. No code was "
                          "generated; pass values back through a send and a receive block.")
               .arg(names.join(QStringLiteral(" -> ")));
}

// Depth-first walk without recursion, so long chains cannot exhaust the stack. Every block is
// entered once; a block met again while it is still being walked closes a feedback loop.
class Walk
{
public:
    Walk(bool downward, bool reversed) : downward(downward), reversed(reversed) {}

    // Walks everything reachable from `root` that no earlier call reached, calling
    // finished(block, isLeaf) in post-order. False on a feedback loop (see loop()).
    template <typename Finished> bool from(const BlockInstance* root, Finished&& finished)
    {
        if (state.contains(root))
            return true;
        std::vector<Frame> stack;
        enter(stack, root);
        while (!stack.empty()) {
            Frame& top = stack.back();
            if (top.index < top.next.size()) {
                const BlockInstance* next = top.next.at(top.index++);
                const auto seen = state.constFind(next);
                if (seen == state.cend()) {
                    enter(stack, next);
                } else if (seen.value() == Open) {
                    recordLoop(stack, next);
                    return false;
                }
            } else {
                state.insert(top.node, Done);
                finished(top.node, top.next.isEmpty());
                stack.pop_back();
            }
        }
        return true;
    }

    // The blocks of the loop found, in the direction the signal flows.
    const QList<const BlockInstance*>& loop() const { return foundLoop; }

private:
    enum State : quint8
    {
        Open,
        Done
    };
    struct Frame
    {
        const BlockInstance* node;
        QVector<const BlockInstance*> next;
        int index;
    };

    void enter(std::vector<Frame>& stack, const BlockInstance* node)
    {
        state.insert(node, Open);
        QVector<const BlockInstance*> next = neighbours(node, downward);
        if (reversed)
            std::reverse(next.begin(), next.end());
        stack.push_back(Frame{node, std::move(next), 0});
    }

    void recordLoop(const std::vector<Frame>& stack, const BlockInstance* again)
    {
        foundLoop.clear();
        bool inLoop = false;
        for (const Frame& frame : stack) {
            inLoop = inLoop || frame.node == again;
            if (inLoop)
                foundLoop.append(frame.node);
        }
        if (!downward)
            std::reverse(foundLoop.begin(), foundLoop.end());
    }

    bool downward;
    bool reversed;
    QHash<const BlockInstance*, State> state;
    QList<const BlockInstance*> foundLoop;
};

// The sources whose bubbling down the climb from `starts` would set off, in the order their
// last bubbling happens. Reading the climb backwards, each source counts at its first sighting,
// which a walk over the starts and the feeding cables taken in reverse gives directly.
bool sourcesAbove(const QList<const BlockInstance*>& starts, QList<const BlockInstance*>* sources)
{
    Walk climb(false, true);
    for (int i = starts.size() - 1; i >= 0; --i) {
        const bool ok = climb.from(starts.at(i), [sources](const BlockInstance* block, bool leaf) {
            if (leaf)
                sources->append(block);
        });
        if (!ok) {
            warnFeedbackLoop(climb.loop());
            return false;
        }
    }
    return true;
}

} // namespace

QString CodeCompiler::createCode(const QList<const BlockInstance*>& instances,
                                 const QString& templatePath)
{
    order.clear();
    if (!orderFromSinks(instances)) {
        order.clear();
        return QString();
    }

    GeneratedSource source(order);
    const QString generated = source.text();

    QFile file(templatePath);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "can't open template file for compiler:" << templatePath;
        return QString();
    }
    QString result = QString::fromUtf8(file.readAll());
    file.close();
    result.replace(Marker, generated);
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return result;
}

void CodeCompiler::moveToTail(const BlockInstance* instance)
{
    order.removeAll(instance);
    order.append(instance);
}

bool CodeCompiler::bubbleDown(const BlockInstance* instance)
{
    if (!instance)
        return true;
    return placeBelow({instance});
}

bool CodeCompiler::bubbleUp(const BlockInstance* instance)
{
    if (!instance)
        return true;
    QList<const BlockInstance*> sources;
    return sourcesAbove({instance}, &sources) && placeBelow(sources);
}

bool CodeCompiler::orderFromSinks(const QList<const BlockInstance*>& instances)
{
    // A loop that no sink reaches would otherwise be left out without a word.
    Walk check(true, false);
    QList<const BlockInstance*> sinks;
    for (const BlockInstance* instance : instances) {
        if (!instance)
            continue;
        if (!check.from(instance, [](const BlockInstance*, bool) {})) {
            warnFeedbackLoop(check.loop());
            return false;
        }
        if (neighbours(instance, true).isEmpty())
            sinks.append(instance);
    }
    QList<const BlockInstance*> sources;
    return sourcesAbove(sinks, &sources) && placeBelow(sources);
}

// Bubbling down from a block moves it and then each block it feeds, so a block ends where its
// last move put it. Read backwards, that is the first sighting of each block in a post-order
// walk that takes the fed blocks in reverse; several sources in a row share one walk.
bool CodeCompiler::placeBelow(const QList<const BlockInstance*>& sources)
{
    Walk descent(true, true);
    QList<const BlockInstance*> backwards;
    for (const BlockInstance* source : sources) {
        if (!descent.from(source, [&backwards](const BlockInstance* block, bool) {
                backwards.append(block);
            })) {
            warnFeedbackLoop(descent.loop());
            return false;
        }
    }
    std::reverse(backwards.begin(), backwards.end());
    appendMoved(backwards);
    return true;
}

void CodeCompiler::appendMoved(const QList<const BlockInstance*>& tail)
{
    if (tail.isEmpty())
        return;
    if (!order.isEmpty()) {
        const QSet<const BlockInstance*> moved(tail.cbegin(), tail.cend());
        InstanceList kept;
        kept.reserve(order.size());
        for (const BlockInstance* block : qAsConst(order)) {
            if (!moved.contains(block))
                kept.append(block);
        }
        order = std::move(kept);
    }
    order.append(tail);
}
