#include "SaveWindow.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>

SaveWindow::SaveWindow(bool includeBlocks)
    : QFileDialog(nullptr, QString(), QString(), QString()), include(includeBlocks)
{
    setOption(QFileDialog::DontUseNativeDialog, true);
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        auto* row = new QHBoxLayout;
        box = new QCheckBox(QStringLiteral("Include custom blocks"), this);
        box->setChecked(includeBlocks);
        row->addWidget(box);
        grid->addLayout(row, grid->rowCount(), 0, 1, 1);
        connect(box, &QCheckBox::toggled, this, &SaveWindow::includeChecked);
    }
}

void SaveWindow::includeChecked(bool checked)
{
    include = checked;
}
