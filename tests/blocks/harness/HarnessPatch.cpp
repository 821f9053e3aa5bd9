#include "HarnessPatch.h"

#include "BlockManager.h"

#include <QRegularExpression>

namespace {

// Splits at blanks; a double-quoted part is one word without its quotes.
QStringList words(const QString& statement)
{
    QStringList result;
    QString word;
    bool quoted = false;
    bool any = false;
    for (const QChar c : statement) {
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            any = true;
        } else if (c.isSpace() && !quoted) {
            if (any)
                result << word;
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (any)
        result << word;
    return result;
}

const BlockDescription* findBlock(const BlockManager& library, const QString& key)
{
    const BlockManager::Blocks* blocks = library.getBlockDescriptions();
    for (auto it = blocks->cbegin(); it != blocks->cend(); ++it) {
        if (it.value().mainName == key)
            return &it.value();
    }
    return library.blockDescription(key);
}

QString baseName(const QString& name)
{
    return name.left(name.indexOf(QLatin1Char('[')));
}

const QRegularExpression labelPattern(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
const QRegularExpression endPattern(QStringLiteral("^([A-Za-z_][A-Za-z0-9_]*)\\.(in|out)(\\d+)$"));

} // namespace

bool HarnessPatch::parse(const BlockManager& library, const QString& text, QString* error)
{
    QString cleaned;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const int comment = line.indexOf(QLatin1Char('#'));
        cleaned += (comment < 0 ? line : line.left(comment)) + QLatin1Char(';');
    }
    for (const QString& statement : cleaned.split(QLatin1Char(';'))) {
        const QStringList w = words(statement);
        if (w.isEmpty())
            continue;
        const bool ok = w.size() == 3 && w.at(1) == QLatin1String("->") ? connect(w, error)
                                                                        : place(library, w, error);
        if (!ok) {
            *error = QStringLiteral("patch statement \"%1\": %2").arg(statement.trimmed(), *error);
            return false;
        }
    }
    return true;
}

bool HarnessPatch::place(const BlockManager& library, const QStringList& w, QString* error)
{
    if (w.size() < 3 || w.at(1) != QLatin1String("=") || !labelPattern.match(w.at(0)).hasMatch()) {
        *error = QStringLiteral("expected \"label = block [variable=value ...]\" or a cable");
        return false;
    }
    if (patch.named(w.at(0))) {
        *error = QStringLiteral("the label is taken");
        return false;
    }
    const BlockDescription* type = findBlock(library, w.at(2));
    if (!type) {
        *error = QStringLiteral("no block %1 in the library").arg(w.at(2));
        return false;
    }
    BlockInstance* block = patch.add(type, w.at(0));
    for (int i = 3; i < w.size(); ++i) {
        const int equals = w.at(i).indexOf(QLatin1Char('='));
        const QString name = w.at(i).left(equals);
        const Variable* found = nullptr;
        for (const Variable& v : type->variables) {
            if (!name.isEmpty() && (v.name == name || baseName(v.name) == name))
                found = &v;
        }
        if (equals <= 0 || !found) {
            *error = QStringLiteral("%1 is not \"variable=value\" for a variable of %2")
                         .arg(w.at(i), type->name);
            return false;
        }
        block->values[found->id] = w.at(i).mid(equals + 1);
    }
    return true;
}

bool HarnessPatch::connect(const QStringList& w, QString* error)
{
    const QRegularExpressionMatch from = endPattern.match(w.at(0));
    const QRegularExpressionMatch to = endPattern.match(w.at(2));
    if (!from.hasMatch() || !to.hasMatch() || from.captured(2) != QLatin1String("out") ||
        to.captured(2) != QLatin1String("in")) {
        *error = QStringLiteral("a cable runs from label.outN to label.inN");
        return false;
    }
    BlockInstance* source = patch.named(from.captured(1));
    BlockInstance* target = patch.named(to.captured(1));
    if (!source || !target) {
        *error = QStringLiteral("unknown label");
        return false;
    }
    const int out = from.captured(3).toInt();
    const int in = to.captured(3).toInt();
    if (out >= source->description->outputs.size() || in >= target->description->inputs.size()) {
        *error = QStringLiteral("no such socket");
        return false;
    }
    // As in the editor, a socket carries one cable; a signal goes to two places by a split.
    if (target->inputs.contains(in) || source->outputs.contains(out)) {
        *error = QStringLiteral("the socket has a cable already");
        return false;
    }
    patch.connect(source, out, target, in);
    return true;
}
