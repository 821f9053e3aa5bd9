#include "PlainBox.h"

#include <QLabel>
#include <QMessageBox>

namespace util {

void setPlainTexts(QMessageBox& box, const QString& text, const QString& informative)
{
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setInformativeText(informative);
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
}

} // namespace util
