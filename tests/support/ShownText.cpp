#include "ShownText.h"

#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QTextFrame>
#include <QTextImageFormat>

namespace testsupport {

QString shownToolTip(const QString& tip)
{
    if (!Qt::mightBeRichText(tip))
        return tip;
    QTextDocument document;
    document.setHtml(tip);
    return document.toPlainText();
}

bool showsPlainText(const QLabel* label)
{
    return label->textFormat() == Qt::PlainText ||
           (label->textFormat() == Qt::AutoText && !Qt::mightBeRichText(label->text()));
}

bool showsPlainText(const QMessageBox* box)
{
    for (const QLabel* label : box->findChildren<QLabel*>()) {
        if (!label->text().isEmpty() && !showsPlainText(label))
            return false;
    }
    return true;
}

namespace {

QImage imageOf(const QVariant& shown)
{
    return shown.value<QImage>().isNull() ? shown.value<QPixmap>().toImage()
                                          : shown.value<QImage>();
}

bool large(const QImage& image)
{
    return image.width() > 1 || image.height() > 1;
}

// A background picture of the page, a paragraph or a stretch of text.
bool backgroundPicture(const QTextFormat& format)
{
    return format.background().style() == Qt::TexturePattern &&
           large(format.background().textureImage());
}

} // namespace

int loadedImages(QTextDocument* document)
{
    int count = backgroundPicture(document->rootFrame()->frameFormat()) ? 1 : 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (backgroundPicture(block.blockFormat()))
            ++count;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (backgroundPicture(format))
                ++count;
            if (!format.isImageFormat())
                continue;
            const QString name = format.toImageFormat().name();
            if (large(imageOf(document->resource(QTextDocument::ImageResource, name))))
                ++count;
        }
    }
    return count;
}

} // namespace testsupport
