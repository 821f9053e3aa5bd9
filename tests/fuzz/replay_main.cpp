// Feeds every file of the given folders (or the given files) to the fuzz entry once, so the
// corpus is checked in every build, with or without a fuzzing compiler.
#include "FuzzTarget.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <cstdio>

int main(int argc, char** argv)
{
    fuzzSetUp(&argc, &argv);
    int fed = 0;
    for (int i = 1; i < argc; ++i) {
        QStringList files;
        const QString path = QString::fromLocal8Bit(argv[i]);
        if (QFileInfo(path).isDir()) {
            QDirIterator it(path, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                files << it.next();
        } else {
            files << path;
        }
        files.sort();
        for (const QString& file : files) {
            QFile in(file);
            if (!in.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "cannot read %s\n", qPrintable(file));
                return 1;
            }
            const QByteArray bytes = in.readAll();
            fuzzOne(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
            ++fed;
        }
    }
    std::printf("replayed %d inputs\n", fed);
    return fed > 0 ? 0 : 1;
}
