#include "picturefiles.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QUrl>

namespace mv::htmledit {

namespace {

// What the engine shows in a picture and nothing more; an SVG shown as a
// picture runs no script and loads nothing.
bool isShownType(const QString &name)
{
    static const QStringList types{
        QStringLiteral("image/png"),  QStringLiteral("image/jpeg"), QStringLiteral("image/gif"),
        QStringLiteral("image/bmp"),  QStringLiteral("image/webp"), QStringLiteral("image/vnd.microsoft.icon"),
        QStringLiteral("image/svg+xml"),
    };
    return types.contains(name);
}

QString folderPath(const QString &folder)
{
    return QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}

// The picture file path names, when it lies inside imageFolder after every
// link is followed.
QString pictureInside(const QString &imageFolder, const QString &path)
{
    const QString folder = QFileInfo(imageFolder).canonicalFilePath();
    const QString file = QFileInfo(path).canonicalFilePath();
    if (folder.isEmpty() || file.isEmpty())
        return QString();
    const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    if (!file.startsWith(prefix) || pictureType(file).isEmpty())
        return QString();
    return file;
}

} // namespace

QString pictureType(const QString &path)
{
    const QFileInfo info(path);
    // A pipe or a device would hold the reader up, or never end.
    if (!info.isFile())
        return QString();
    static const QMimeDatabase types;
    const QString name = types.mimeTypeForFile(info.absoluteFilePath(), QMimeDatabase::MatchContent).name();
    return isShownType(name) ? name : QString();
}

QString pictureExtension(const QString &fileName, const QString &type)
{
    static const QMimeDatabase types;
    const QMimeType mime = types.mimeTypeForName(type);
    const QString name = QFileInfo(fileName).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0 && mime.suffixes().contains(name.mid(dot + 1).toLower()))
        return name.mid(dot);
    const QString suffix = mime.preferredSuffix();
    return suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix;
}

QString linkBase(const QString &imageFolder)
{
    QDir folder(folderPath(imageFolder));
    if (!folder.isRoot())
        folder.setPath(QFileInfo(folder.path()).path());
    return folder.path();
}

QString pictureLink(const QString &imageFolder, const QString &fileName)
{
    const QString encodedName = QString::fromLatin1(QUrl::toPercentEncoding(fileName));
    const QDir folder(folderPath(imageFolder));
    if (folder.isRoot())
        return encodedName;
    return QString::fromLatin1(QUrl::toPercentEncoding(folder.dirName())) + QLatin1Char('/') + encodedName;
}

QString pictureForPath(const QString &imageFolder, const QString &path)
{
    return pictureInside(imageFolder, linkBase(imageFolder) + QLatin1Char('/') + path);
}

QString pictureForFileLink(const QString &imageFolder, const QString &link)
{
    QStringList candidates;
    const QString written = link.trimmed();
    if (written.startsWith(QLatin1String("file://"), Qt::CaseInsensitive) && written.mid(7).startsWith(QLatin1Char('/')))
        candidates << written.mid(7);
    const QUrl url(written);
    if (url.isLocalFile())
        candidates << url.toLocalFile();
    for (const QString &candidate : std::as_const(candidates)) {
        const QFileInfo info(candidate);
        if (info.isFile() && !pictureType(info.canonicalFilePath()).isEmpty())
            return info.canonicalFilePath();
    }
    for (const QString &candidate : std::as_const(candidates)) {
        const QString name = QFileInfo(candidate).fileName();
        if (name.isEmpty())
            continue;
        const QString moved = pictureInside(imageFolder, folderPath(imageFolder) + QLatin1Char('/') + name);
        if (!moved.isEmpty())
            return moved;
    }
    return QString();
}

} // namespace mv::htmledit
