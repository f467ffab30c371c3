// Writes the program icon as PNG files for the hicolor icon theme,
// <folder>/<n>x<n>/apps/<name>.png for every size n given, drawn at that
// size rather than scaled.
#include "session/Icons.h"

#include <QDir>
#include <QString>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc < 4) {
        std::fputs("usage: tarvo_render_icons FOLDER NAME SIZE...\n", stderr);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const QString name = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        const int nSize = QString::fromLocal8Bit(argv[i]).toInt();
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(nSize);
        if (nSize <= 0 || !QDir().mkpath(dir) ||
            !RenderProgramImage(nSize).save(QStringLiteral("%1/%2.png").arg(dir, name), "PNG")) {
            std::fprintf(stderr, "tarvo_render_icons: cannot write the %s icon\n", argv[i]);
            return 1;
        }
    }
    return 0;
}
