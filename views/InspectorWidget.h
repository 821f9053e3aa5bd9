#pragma once

class QString;

// One editor of the inspector: shows a variable's value and reports the user's changes.
class InspectorWidget
{
public:
    virtual ~InspectorWidget();

    // Shows the model's value. The shown text becomes the editor's baseline: only a later
    // difference from it counts as an edit. Silent mutes the editor's signals meanwhile.
    virtual void editValue(const QString& value, bool silent) = 0;

    // Reports an edit that is still being typed, as finishing the edit would.
    virtual void commitEdit() = 0;

protected:
    InspectorWidget() = default;
    InspectorWidget(const InspectorWidget&) = default;
    InspectorWidget& operator=(const InspectorWidget&) = default;
};
