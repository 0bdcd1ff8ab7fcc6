// Writes the application icon as DIR/<size>/zok-compressor.png for each size given.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QString>

#include <cstdio>

#include "ui/app_icon.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: zok-make-icons DIR SIZE...\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = QString::fromLatin1(argv[i]).toInt();
        if (size <= 0) {
            std::fprintf(stderr, "zok-make-icons: bad size %s\n", argv[i]);
            return 2;
        }
        const QString folder = root + QStringLiteral("/%1").arg(size);
        const QString file = folder + QStringLiteral("/zok-compressor.png");
        if (!QDir().mkpath(folder) || !DrawAppIcon(size).save(file, "PNG")) {
            std::fprintf(stderr, "zok-make-icons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
