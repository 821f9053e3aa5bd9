#pragma once

#include <QTextDocument>

class QGraphicsTextItem;
class QTextEdit;

// A rich-text document for text that comes from a file or a server: it loads no resource but
// the program's own images (":/" and "qrc:"). Any other image shows as nothing, so neither a
// file nor a device such as /dev/zero is read, and no style sheet is fetched.
class SafeTextDocument : public QTextDocument
{
    Q_OBJECT
public:
    explicit SafeTextDocument(QObject* parent = nullptr);

    // Gives the view or item a document of this kind, owned by it, in place of its own.
    static SafeTextDocument* install(QTextEdit* view);
    static SafeTextDocument* install(QGraphicsTextItem* item);

protected:
    QVariant loadResource(int type, const QUrl& name) override;
};
