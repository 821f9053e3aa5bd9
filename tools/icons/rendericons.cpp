// Renders one SVG drawing to a PNG at the drawing's own size (its width and height attributes).
//
//   rendericons <input.svg> <output.png>
//
// Any warning from the SVG reader (an unsupported element, a bad attribute) fails the run, so a
// drawing that would render wrongly breaks the build instead of shipping.

#include <QCoreApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <QSvgRenderer>

#include <cstdio>

namespace {

int warningCount = 0;

void countingHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        ++warningCount;
    std::fprintf(stderr, "rendericons: %s\n", qPrintable(message));
}

bool hasVisiblePixels(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) != 0)
                return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(countingHandler);

    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: rendericons <input.svg> <output.png>\n");
        return 2;
    }
    const QString input = args.at(1);
    const QString output = args.at(2);

    QSvgRenderer renderer(input);
    if (!renderer.isValid() || warningCount > 0) {
        std::fprintf(stderr, "rendericons: %s is not a usable SVG drawing\n", qPrintable(input));
        return 1;
    }
    const QSize size = renderer.defaultSize();
    if (size.isEmpty()) {
        std::fprintf(stderr, "rendericons: %s has no width and height\n", qPrintable(input));
        return 1;
    }

    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    }
    if (warningCount > 0)
        return 1;
    if (!hasVisiblePixels(image.convertToFormat(QImage::Format_ARGB32))) {
        std::fprintf(stderr, "rendericons: %s renders nothing\n", qPrintable(input));
        return 1;
    }

    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "rendericons: cannot write %s: %s\n", qPrintable(output),
                     qPrintable(file.errorString()));
        return 1;
    }
    QImageWriter writer(&file, "png");
    if (!writer.write(image.convertToFormat(QImage::Format_ARGB32)) || !file.commit()) {
        std::fprintf(stderr, "rendericons: cannot write %s: %s\n", qPrintable(output),
                     qPrintable(writer.errorString()));
        return 1;
    }
    return 0;
}
