#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

class PatchDocument;

// Places blocks, cables and comments into a document through its editing handlers, as the
// canvas does. Blocks stand on a grid: column c, row r at (60 + 170 c, 60 + 130 r), rounded.
class PatchBuilder
{
public:
    using Values = QList<QPair<int, QString>>;

    explicit PatchBuilder(PatchDocument* document) : doc(document) {}

    // The new block's id; values are (variable index, text).
    int block(const QString& name, double column, double row, const Values& values = {});
    void cable(int from, int output, int to, int input);
    void comment(double column, double row, const QString& text);

    // What could not be placed or connected.
    QStringList failures;

private:
    PatchDocument* doc;
};
