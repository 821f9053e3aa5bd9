#include "OpenOutcome.h"

#include "DisplayText.h"
#include "PatchFile.h"

#include <QCoreApplication>
#include <QSet>

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("OpenOutcome", text);
}

// "1 block file" or "3 block files", and the like.
QString counted(int n, const char* one, const char* many)
{
    return n == 1 ? tr(one) : tr(many).arg(n);
}

// Lines listed in one box at most.
constexpr int maxLines = 20;

} // namespace

OpenOutcome::OpenOutcome(const util::PatchFileContents& contents)
    : recordWhole(contents.complete), damagedStreams(contents.damagedBlocks),
      unnamedDamaged(contents.unnamedDamaged), tooLarge(contents.tooLarge)
{
}

void OpenOutcome::addBinding(const PatchOpener::Binding& binding)
{
    unreadable << binding.damaged;
    unnamed += binding.unnamed;
}

void OpenOutcome::addLeftOut(const PatchOpener::LeftOut& more)
{
    for (const QString& name : more.names) {
        if (!leftOut.counts.contains(name))
            leftOut.names << name;
        leftOut.counts[name] += more.counts.value(name);
    }
    for (const QString& name : more.repeatedNames) {
        if (!leftOut.repeatedCounts.contains(name))
            leftOut.repeatedNames << name;
        leftOut.repeatedCounts[name] += more.repeatedCounts.value(name);
    }
    leftOut.total += more.total;
}

bool OpenOutcome::whole() const
{
    return recordWhole && leftOut.total == 0 && unreadable.isEmpty() && unnamed <= 0 &&
           damagedStreams.isEmpty() && unnamedDamaged == 0 && tooLarge == 0;
}

QString OpenOutcome::report(bool ofFile) const
{
    const QSet<QString> damaged(damagedStreams.cbegin(), damagedStreams.cend());
    const QSet<QString> cannotRead(unreadable.cbegin(), unreadable.cend());
    auto reason = [&](const QString& name) {
        if (damaged.contains(name))
            return tr("the block file the patch carries for it is damaged");
        if (cannotRead.contains(name))
            return tr("the block file the patch carries for it cannot be read");
        if (fetched)
            return tr("the repository did not send it");
        return tr("no block description of that name was found");
    };

    QStringList lines;
    for (const QString& name : leftOut.names) {
        lines << tr("- %1 (%2): %3")
                     .arg(util::displayName(name),
                          counted(leftOut.counts.value(name), "1 block", "%1 blocks"),
                          reason(name));
    }
    for (const QString& name : leftOut.repeatedNames) {
        lines << tr("- %1 (%2): an earlier instance has the same id")
                     .arg(util::displayName(name),
                          counted(leftOut.repeatedCounts.value(name), "1 block", "%1 blocks"));
    }
    // Carried files that cost no block, since another description served it, still cost the
    // tab its file: a Save would leave them out.
    QStringList unused = damagedStreams;
    for (const QString& name : unreadable) {
        if (!damaged.contains(name))
            unused << name;
    }
    for (const QString& name : qAsConst(unused)) {
        if (!leftOut.counts.contains(name)) {
            lines << tr("- %1: %2; another description of it is used")
                         .arg(util::displayName(name), reason(name));
        }
    }
    // The too large and the damaged ones that name no block are among the unnamed too.
    if (tooLarge > 0) {
        lines << "- " + counted(tooLarge, "1 block file the patch carries is too large",
                                "%1 block files the patch carries are too large");
    }
    if (unnamedDamaged > 0) {
        lines << "- " + counted(unnamedDamaged, "1 block file the patch carries is damaged",
                                "%1 block files the patch carries are damaged");
    }
    const int nameless = unnamed - tooLarge - unnamedDamaged;
    if (nameless > 0) {
        lines << "- " + counted(nameless, "1 block file the patch carries cannot be read",
                                "%1 block files the patch carries cannot be read");
    }
    if (lines.isEmpty())
        return QString();

    QString text = tr("Part of the patch could not be opened:") + "\n\n";
    for (int i = 0; i < lines.size() && i < maxLines; ++i)
        text += lines.at(i) + "\n";
    if (lines.size() > maxLines)
        text += tr("and %1 more").arg(lines.size() - maxLines) + "\n";
    if (ofFile) {
        text += "\n" + tr("The tab is not tied to the file: Save asks where to save the patch, "
                          "and the file stays as it is.");
    }
    return text;
}
