#pragma once

#include <QDockWidget>

struct BlockInstance;

// Edits the variables of the one selected block.
class Inspector : public QDockWidget
{
    Q_OBJECT
public:
    Inspector(const QString& title, QWidget* parent);

    void clear();
    void showProperties(const BlockInstance* instance);
    void updateValue(int instanceId, int variableId, const QString& value);

signals:
    void variableEdited(int blockId, int variableId, QString value);
    void saveBlockRequested(const BlockInstance* instance, bool toUserFolder);
};
