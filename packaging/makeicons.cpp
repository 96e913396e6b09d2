// mvlab-icons FOLDER
// Writes the program's icon laid out as an icon theme wants it (FOLDER is
// the theme's root): scalable/apps/mvlab.svg and NxN/apps/mvlab.png for the
// usual sizes, all drawn from the mark the windows show.

#include "pictures.h"

#include <QDir>
#include <QSaveFile>
#include <QTextStream>

int main(int argc, char **argv)
{
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: mvlab-icons FOLDER\n";
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    const auto fail = [&](const QString &path) {
        err << "mvlab-icons: cannot write " << path << "\n";
        return 1;
    };

    const QString svgPath = root.filePath(QStringLiteral("scalable/apps/mvlab.svg"));
    QSaveFile svg(svgPath);
    if (!root.mkpath(QStringLiteral("scalable/apps")) || !svg.open(QIODevice::WriteOnly)
        || svg.write(mv::pictures::programSvg(48)) < 0 || !svg.commit())
        return fail(svgPath);

    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        const QString path = root.filePath(folder + QStringLiteral("/mvlab.png"));
        if (!root.mkpath(folder) || !mv::pictures::programImage(size).save(path, "PNG"))
            return fail(path);
    }
    return 0;
}
