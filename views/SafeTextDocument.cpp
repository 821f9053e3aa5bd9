#include "SafeTextDocument.h"

#include <QGraphicsTextItem>
#include <QImage>
#include <QTextEdit>
#include <QUrl>

namespace {

// The resource file a name points at, or empty when it names anything else.
QString ownResource(const QUrl& name)
{
    if (name.scheme() == QLatin1String("qrc"))
        return QLatin1Char(':') + name.path();
    if (name.scheme().isEmpty() && name.path().startsWith(QLatin1String(":/")))
        return name.path();
    return QString();
}

} // namespace

SafeTextDocument::SafeTextDocument(QObject* parent) : QTextDocument(parent) {}

SafeTextDocument* SafeTextDocument::install(QTextEdit* view)
{
    auto* document = new SafeTextDocument(view);
    view->setDocument(document);
    return document;
}

SafeTextDocument* SafeTextDocument::install(QGraphicsTextItem* item)
{
    auto* document = new SafeTextDocument(item);
    item->setDocument(document);
    return document;
}

QVariant SafeTextDocument::loadResource(int type, const QUrl& name)
{
    if (type != ImageResource)
        return QVariant();
    const QString resource = ownResource(name);
    if (!resource.isEmpty()) {
        const QImage image(resource);
        if (!image.isNull())
            return image;
    }
    // Not nothing: given no image, the toolkit reads the named file itself.
    static const QImage blank = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        return image;
    }();
    return blank;
}
