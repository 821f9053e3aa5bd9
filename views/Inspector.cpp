#include "Inspector.h"

#include "ArrayEdit.h"
#include "BlockDescription.h"
#include "BlockInstance.h"
#include "BoolEdit.h"
#include "DisplayText.h"
#include "NumberEdit.h"
#include "Preferences.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <type_traits>

namespace {

// A variable's label in characters: far beyond any shipped one, short of a label that takes
// the dock's width many times over.
constexpr int labelLimit = 200;

bool customBlocksFolderSet()
{
    return !Preferences().getSetting(Preferences::CustomBlocksPath).toString().isEmpty();
}

} // namespace

Inspector::Inspector(const QString& title, QWidget* parent) : QDockWidget(title, parent)
{
    setMinimumHeight(200);
    saveToUserFolder = customBlocksFolderSet();
}

// The old panel may be deleted from inside one of its own signals (a button's click, an
// editor's editingFinished), so it goes later; it is cut off first so that its editors, losing
// the focus as it hides, report nothing against the block shown next.
void Inspector::releasePanel()
{
    editors.clear();
    saveSeparator = nullptr;
    saveButton = nullptr;
    saveCheckBox = nullptr;
    QWidget* old = widget();
    if (!old)
        return;
    const QList<QObject*> children = old->findChildren<QObject*>();
    for (QObject* child : children)
        child->disconnect(this);
    setWidget(nullptr);
    old->hide();
    old->deleteLater();
}

void Inspector::clear()
{
    releasePanel();
    currentInstance = nullptr;
    currentInstanceId = 0;
}

void Inspector::showProperties(const BlockInstance* instance)
{
    clear();
    if (!instance || !instance->description)
        return;
    currentInstance = instance;
    currentInstanceId = instance->id;
    const BlockDescription& description = *instance->description;

    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    auto* panel = new QWidget;
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(10, 10, 15, 0);

    if (description.origin == BlockDescription::OriginPatch) {
        saveButton = new QPushButton(tr("Save Block"), panel);
        saveCheckBox = new QCheckBox(tr("Save in users folder"), panel);
        saveCheckBox->setChecked(saveToUserFolder);
        // Usable whenever there is a folder to save into, so an unticked box can be ticked
        // again.
        saveCheckBox->setEnabled(customBlocksFolderSet());
        saveSeparator = new QFrame(panel);
        saveSeparator->setFrameShape(QFrame::HLine);
        saveSeparator->setFrameShadow(QFrame::Sunken);
        layout->addWidget(saveButton);
        layout->addWidget(saveCheckBox);
        layout->addWidget(saveSeparator);
        connect(saveButton, &QPushButton::clicked, this, &Inspector::saveBlockButtonClicked);
        connect(saveCheckBox, &QCheckBox::stateChanged, this, &Inspector::checkBoxChanged);
    }

    for (int i = 0; i < static_cast<int>(description.variables.size()); ++i) {
        const Variable& variable = description.variables[static_cast<size_t>(i)];
        if (!variable.editable)
            continue;
        // The text comes from the block file: shown as it is, and never longer than a line.
        auto* label = new QLabel(util::displayName(variable.info, labelLimit), panel);
        label->setTextFormat(Qt::PlainText);
        layout->addWidget(label);
        const QString value = i < instance->values.size() ? instance->values.at(i) : QString();

        // Shown first and connected after, so building the panel reports nothing.
        const auto place = [&](auto* edit) {
            using Editor = std::remove_pointer_t<decltype(edit)>;
            edit->editValue(value, false);
            connect(edit, &Editor::variableEdited, this, &Inspector::handleEditingFinished);
            layout->addWidget(edit);
            editors.insert(variable.id, edit);
        };
        if (variable.socketKind == Variable::SocketInput &&
            instance->inputs.value(variable.socketIndex)) {
            label->setText(util::displayName(variable.info, labelLimit) + tr(" (used)"));
        } else if (variable.dtype == QLatin1String("bool")) {
            place(new BoolEdit(variable, panel));
        } else if (variable.dtype == QLatin1String("uint32_t")) {
            place(new NumberEdit(variable, 0, 16000, panel));
        } else if (variable.dtype == QLatin1String("int32_t") &&
                   variable.name.contains(QLatin1Char('['))) {
            place(new ArrayEdit(variable, panel));
        } else if (variable.dtype == QLatin1String("int32_t")) {
            place(new NumberEdit(variable, -8000, 8000, panel));
        }
        layout->addSpacing(10);
    }

    layout->addStretch();
    scroll->setWidget(panel);
    setWidget(scroll);
}

void Inspector::updateValue(int instanceId, int variableId, const QString& value)
{
    if (!currentInstance || instanceId != currentInstanceId)
        return;
    if (InspectorWidget* editor = editors.value(variableId))
        editor->editValue(value, true);
}

void Inspector::commitEdits()
{
    // A report may lead the caller to rebuild the panel; the old editors live on until the
    // event loop runs, cut off from this dock.
    const QList<InspectorWidget*> shown = editors.values();
    for (InspectorWidget* editor : shown)
        editor->commitEdit();
}

void Inspector::handleEditingFinished(int variableId, const QString& value)
{
    if (!currentInstance)
        return;
    emit variableEdited(currentInstanceId, variableId, value);
}

void Inspector::checkBoxChanged(int state)
{
    saveToUserFolder = state > 0;
}

void Inspector::saveBlockButtonClicked()
{
    for (QWidget* control :
         {static_cast<QWidget*>(saveSeparator.data()), static_cast<QWidget*>(saveButton.data()),
          static_cast<QWidget*>(saveCheckBox.data())}) {
        if (control)
            control->hide();
    }
    commitEdits();
    for (InspectorWidget* editor : editors) {
        if (auto* widget = dynamic_cast<QWidget*>(editor))
            widget->clearFocus();
    }
    emit saveBlockRequested(currentInstance, saveToUserFolder);
}
