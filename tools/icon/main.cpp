// velmora-icon OUTDIR: renders the program's icon into OUTDIR/NxN/apps/
// velmora.png for the sizes a hicolor theme usually holds, so that the
// installed icons and the window's own are one drawing.
#include <QDir>
#include <QImage>

#include <cstdio>

#include "app/AppIcon.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora-icon OUTDIR\n");
        return 2;
    }
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString dir = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/%1x%1/apps").arg(size);
        if (!QDir().mkpath(dir) || !velmora::DrawAppIcon(size).save(dir + QStringLiteral("/velmora.png"))) {
            std::fprintf(stderr, "velmora-icon: cannot write %s\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
