#include "filedigest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <openssl/evp.h>

#include <memory>

namespace {

constexpr qint64 readSize = 1048576;

struct DigestContextDeleter
{
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

void collectFiles(const QString& dirPath, const QString& root, QMap<QString, QString>& manifest)
{
    // Without QDir::Hidden the listing leaves out dot names, so hidden folders are never entered.
    const QFileInfoList items = QDir(dirPath).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    for (const QFileInfo& item : items) {
        // A folder reached through a symbolic link is not entered: it may lead anywhere,
        // even back up the tree.
        if (item.isDir()) {
            if (!item.isSymLink())
                collectFiles(item.filePath(), root, manifest);
            continue;
        }
        const QString path = QDir::cleanPath(item.absoluteFilePath());
        if (!path.startsWith(root))
            continue;
        const std::optional<QString> digest = FileDigest::sha256Hex(path);
        if (!digest)
            continue;
        QString relative = path.mid(root.size());
        while (relative.startsWith(QLatin1Char('/')))
            relative.remove(0, 1);
        while (relative.endsWith(QLatin1Char('/')))
            relative.chop(1);
        if (!relative.isEmpty())
            manifest.insert(relative, *digest);
    }
}

} // namespace

std::optional<QString> FileDigest::sha256Hex(const QString& filePath)
{
    // Only regular files have a digest: opening a named pipe or a device would block or never end.
    if (!QFileInfo(filePath).isFile())
        return std::nullopt;
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;

    std::unique_ptr<EVP_MD_CTX, DigestContextDeleter> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return std::nullopt;

    QByteArray buffer(readSize, Qt::Uninitialized);
    for (;;) {
        const qint64 got = file.read(buffer.data(), readSize);
        if (got < 0)
            return std::nullopt; // a digest of part of the file would pass for the whole
        if (got == 0)
            break;
        EVP_DigestUpdate(context.get(), buffer.constData(), size_t(got));
    }

    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1)
        return std::nullopt;
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex());
}

QMap<QString, QString> FileDigest::sha256Manifest(const QString& dirPath)
{
    QMap<QString, QString> manifest;
    const QFileInfo rootInfo(dirPath);
    if (!rootInfo.isDir())
        return manifest;
    QString root = QDir::cleanPath(rootInfo.absoluteFilePath());
    if (root.size() > 1 && root.endsWith(QLatin1Char('/')))
        root.chop(1);
    collectFiles(root, root, manifest);
    return manifest;
}
