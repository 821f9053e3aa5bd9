#pragma once

#include "InstanceList.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <initializer_list>

class BlockDescription;
struct BlockCode;
struct Variable;

// The C text of one patch in execution order: record types, block functions, globals, one record
// per instance, init_dsp_objects and the two rate handlers. Holds the working state of one
// generation; make one per text.
class GeneratedSource
{
public:
    explicit GeneratedSource(const InstanceList& order);

    QString text();

    // A value text as the blocks' fixed point: times 1024, truncated toward zero, held to the
    // 32-bit range. Text that is not a number, and "nan", give 0.
    static qint32 fixedPoint(const QString& text);

    // Writes `pattern` with %1 ... %9 replaced by `args` in one pass, so arguments that hold
    // such markers themselves (block code does) stay as they are.
    static void put(QString& out, const char* pattern, std::initializer_list<QString> args);

    // Where the digits of per-instance names come from; null restores the built-in sequence.
    using NumberSource = quint32 (*)();
    static void setNumberSource(NumberSource source);

    // How messages name a block: its type's name and its id.
    static QString blockLabel(const BlockInstance& instance);

private:
    struct ArrayShape
    {
        QString name;    // the member name with its sizes filled in
        qint64 size = 0; // element count of the first dimension
        bool fromValues = false;
    };

    void reservePlainNames();
    void writeInstance(int position, const BlockInstance& instance);
    ArrayShape arrayShape(const BlockInstance& instance, const Variable& variable,
                          const QString& valueText);
    QString freshSuffix(const BlockDescription& description, int numbers);
    bool sourceOf(const BlockInstance& instance, int socket, QString* record,
                  QString* output) const;
    void writeFunction(const BlockCode& function, const QString& typeName, bool controlRate);

    const InstanceList& order;
    QHash<const BlockInstance*, int> position;

    // Names written so far, by kind.
    QSet<QString> typeNames;
    QSet<QString> mainNames;
    QSet<QString> controlNames;
    QSet<QString> initNames;
    QSet<QString> customNames;
    QSet<QString> globalNames;

    // Every plain name of the patch's descriptions and every name made with digits, so that
    // names with digits never meet another name.
    QSet<QString> takenNames;
    // The array sizes that each written record type was made with, and the suffix of the copy
    // made for other sizes.
    QHash<QString, QString> typeShapes;
    QHash<QString, QString> shapeSuffixes;
    QSet<QString> warned;

    QString globalsText, typesText, declarationsText, functionsText;
    QString staticsText, valuesText, pointersText, initCallsText;
    QString audioCallsText, controlCallsText;
};
