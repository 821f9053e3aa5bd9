#pragma once

#include <QDockWidget>
#include <QHash>
#include <QPointer>

class InspectorWidget;
class QCheckBox;
class QFrame;
class QPushButton;
struct BlockInstance;

// Edits the variables of the one selected block. Edits leave as requests (variableEdited); the
// shown values follow the model through updateValue.
class Inspector : public QDockWidget
{
    Q_OBJECT
public:
    Inspector(const QString& title, QWidget* parent = nullptr);

    void clear();
    void showProperties(const BlockInstance* instance);
    // Shows a value the model now holds, without reporting it back as an edit. Applies only
    // when instanceId is the block shown.
    void updateValue(int instanceId, int variableId, const QString& value);
    // Makes every editor report the edit it is still holding (text typed but not yet
    // finished), so it reaches the model before the caller saves, closes or emulates.
    void commitEdits();

    const BlockInstance* shownInstance() const { return currentInstance; }
    // The editor of a variable shown, or null.
    InspectorWidget* editor(int variableId) const { return editors.value(variableId); }

signals:
    void variableEdited(int blockId, int variableId, QString value);
    void saveBlockRequested(const BlockInstance* instance, bool toUserFolder);

public slots:
    void handleEditingFinished(int variableId, const QString& value);
    void saveBlockButtonClicked();
    void checkBoxChanged(int state);

private:
    void releasePanel();

    QHash<int, InspectorWidget*> editors;
    const BlockInstance* currentInstance = nullptr;
    bool saveToUserFolder = false;
    QPointer<QFrame> saveSeparator;
    QPointer<QPushButton> saveButton;
    QPointer<QCheckBox> saveCheckBox;
    // Kept apart from currentInstance: the instance may be gone before the panel is cleared.
    int currentInstanceId = 0;
};
