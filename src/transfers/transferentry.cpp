#include "transferentry.h"

#include <QSet>

QString TransferEntry::iconName() const
{
    if (isDirectory)
        return QStringLiteral("folder.fill");
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? QString() : name.mid(dot + 1).toLower();
    static const QSet<QString> photos{"jpg", "jpeg", "png", "gif", "heic", "webp", "tiff", "bmp"};
    static const QSet<QString> films{"mp4", "mov", "m4v", "avi", "mkv", "webm", "flv", "wmv", "3gp", "mts", "m2ts"};
    static const QSet<QString> archives{"zip", "rar", "7z", "tar", "gz"};
    static const QSet<QString> music{"mp3", "wav", "flac", "aac", "m4a"};
    if (photos.contains(extension))
        return QStringLiteral("photo.fill");
    if (films.contains(extension))
        return QStringLiteral("film.fill");
    if (archives.contains(extension))
        return QStringLiteral("archivebox.fill");
    if (extension == QLatin1String("pdf"))
        return QStringLiteral("doc.richtext.fill");
    if (music.contains(extension))
        return QStringLiteral("music.note");
    return QStringLiteral("doc.fill");
}

QString TransferEntry::formattedSize() const
{
    if (isDirectory)
        return QStringLiteral("—");
    if (size < 1024)
        return QString::number(size) + QStringLiteral(" B");
    if (size < 1024 * 1024)
        return QString::asprintf("%.1f KB", double(size) / 1024.0);
    if (size >= qint64(1) << 30)
        return QString::asprintf("%.2f GB", double(size) / double(qint64(1) << 30));
    return QString::asprintf("%.1f MB", double(size) / double(1 << 20));
}
