#include "filedigest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <openssl/evp.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {

constexpr qint64 readSize = 1048576;

struct DigestContextDeleter
{
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

// One digest context and one read buffer, reused from file to file: a folder of many small files
// would otherwise spend most of its time setting up and tearing down a 1 MiB buffer per file.
class Hasher
{
public:
    explicit Hasher(const std::atomic<bool>* abandon) : m_abandon(abandon) {}

    bool abandoned() const { return m_abandon && m_abandon->load(std::memory_order_relaxed); }

    std::optional<QString> digestOf(const QString& filePath)
    {
        // Opened without blocking, then checked: only regular files have a digest (a named pipe or
        // a device would block or never end). Plain system calls: a folder of many small files
        // spends its time in them.
        const QByteArray name = QFile::encodeName(filePath);
        const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            return std::nullopt;
        const auto closeLater = qScopeGuard([fd] { ::close(fd); });
        struct stat status {};
        if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
            return std::nullopt;
        if (!m_context || EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr) != 1)
            return std::nullopt;
        if (m_buffer.isEmpty())
            m_buffer = QByteArray(readSize, Qt::Uninitialized);
        for (;;) {
            const ssize_t got = ::read(fd, m_buffer.data(), size_t(readSize));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return std::nullopt; // a digest of part of the file would pass for the whole
            if (got == 0)
                break;
            if (abandoned())
                return std::nullopt;
            EVP_DigestUpdate(m_context.get(), m_buffer.constData(), size_t(got));
        }
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (EVP_DigestFinal_ex(m_context.get(), digest, &length) != 1)
            return std::nullopt;
        return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex());
    }

private:
    std::unique_ptr<EVP_MD_CTX, DigestContextDeleter> m_context{EVP_MD_CTX_new()};
    QByteArray m_buffer;
    const std::atomic<bool>* m_abandon;
};

void collectFiles(const QString& dirPath, const QString& root, QMap<QString, QString>& manifest, Hasher& hasher)
{
    // Without QDir::Hidden the listing leaves out dot names, so hidden folders are never entered.
    const QFileInfoList items = QDir(dirPath).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::NoSort);
    for (const QFileInfo& item : items) {
        if (hasher.abandoned())
            return;
        // A folder reached through a symbolic link is not entered: it may lead anywhere,
        // even back up the tree.
        if (item.isDir()) {
            if (!item.isSymLink())
                collectFiles(item.filePath(), root, manifest, hasher);
            continue;
        }
        const QString path = QDir::cleanPath(item.absoluteFilePath());
        if (!path.startsWith(root))
            continue;
        const std::optional<QString> digest = hasher.digestOf(path);
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

std::optional<QString> FileDigest::sha256Hex(const QString& filePath, const std::atomic<bool>* abandon)
{
    return Hasher(abandon).digestOf(filePath);
}

QMap<QString, QString> FileDigest::sha256Manifest(const QString& dirPath, const std::atomic<bool>* abandon)
{
    QMap<QString, QString> manifest;
    const QFileInfo rootInfo(dirPath);
    if (!rootInfo.isDir())
        return manifest;
    QString root = QDir::cleanPath(rootInfo.absoluteFilePath());
    if (root.size() > 1 && root.endsWith(QLatin1Char('/')))
        root.chop(1);
    Hasher hasher(abandon);
    collectFiles(root, root, manifest, hasher);
    return manifest;
}
