#pragma once

#include <QFileDialog>

class QCheckBox;

// The save dialog: a file dialog with an "Include custom blocks" box.
class SaveWindow : public QFileDialog
{
    Q_OBJECT
public:
    explicit SaveWindow(bool includeBlocks);

    bool wantIncludeBlocks() const { return include; }
    QCheckBox* includeBox() const { return box; }

private slots:
    void includeChecked(bool checked);

private:
    QCheckBox* box = nullptr;
    bool include;
};
