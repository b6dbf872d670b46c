#include "filedigest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QScopeGuard>

#include <openssl/evp.h>

#include <cerrno>
#include <dirent.h>
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

QString hexOf(EVP_MD_CTX* context)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context, digest, &length) != 1)
        return {};
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex());
}

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
        // a device would block or never end).
        const QByteArray name = QFile::encodeName(filePath);
        return digestOf(::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    }

    // Takes over `fd` (closes it); a negative one gives nothing.
    std::optional<QString> digestOf(int fd)
    {
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
        const QString hex = hexOf(m_context.get());
        if (hex.isEmpty())
            return std::nullopt;
        return hex;
    }

private:
    std::unique_ptr<EVP_MD_CTX, DigestContextDeleter> m_context{EVP_MD_CTX_new()};
    QByteArray m_buffer;
    const std::atomic<bool>* m_abandon;
};

struct ManifestWalk
{
    QMap<QString, QString>& manifest;
    Hasher& hasher;
    const FileDigest::LinkFilter& admitLink;
    const FileDigest::NameFilter& leaveOut;
};

// The listing's type of an item; asked of the file system only when the listing does not say.
unsigned char typeOf(int dirFd, const dirent* item)
{
    if (item->d_type != DT_UNKNOWN)
        return item->d_type;
    struct stat status {};
    if (::fstatat(dirFd, item->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0)
        return DT_UNKNOWN;
    if (S_ISDIR(status.st_mode))
        return DT_DIR;
    if (S_ISLNK(status.st_mode))
        return DT_LNK;
    return S_ISREG(status.st_mode) ? DT_REG : DT_UNKNOWN;
}

// A folder of many small files spends its time in system calls, so the walk keeps them few:
// the listing's own file types instead of a stat per name, and every name opened relative to
// its folder instead of through the whole path. The folder's descriptor (taken over) is closed
// before its subfolders are entered, so a deep tree never runs out of descriptors.
void collectFiles(int dirFd, const QByteArray& dirPath, const QString& relativeDir, ManifestWalk& walk)
{
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    QList<QByteArray> subfolders;
    {
        const auto closeLater = qScopeGuard([dir] { ::closedir(dir); });
        const int fd = ::dirfd(dir);
        while (const dirent* item = ::readdir(dir)) {
            if (walk.hasher.abandoned())
                return;
            const char* name = item->d_name;
            // Hidden names (and "." and "..") are left out, and so is everything inside a hidden folder.
            if (name[0] == '.' || (walk.leaveOut && walk.leaveOut(QByteArrayView(name))))
                continue;
            const unsigned char type = typeOf(fd, item);
            if (type == DT_DIR) {
                subfolders.append(QByteArray(name));
                continue;
            }
            // Pipes, sockets and devices are never opened: a pipe would block, a device never end.
            const bool link = type == DT_LNK;
            if (type != DT_REG && !link)
                continue;
            // A link counts only when the caller lets it, and then as the file it leads to (a link
            // to a folder is no regular file and drops out).
            if (link && (!walk.admitLink || !walk.admitLink(QFile::decodeName(dirPath + '/' + name))))
                continue;
            const QString decoded = QFile::decodeName(name);
            const QString relative = relativeDir.isEmpty() ? decoded : relativeDir + QLatin1Char('/') + decoded;
            const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (link ? 0 : O_NOFOLLOW);
            const std::optional<QString> digest = walk.hasher.digestOf(::openat(fd, name, flags));
            if (digest)
                walk.manifest.insert(relative, *digest);
        }
    }
    for (const QByteArray& name : std::as_const(subfolders)) {
        if (walk.hasher.abandoned())
            return;
        const QByteArray path = dirPath + '/' + name;
        // Not followed if it became a link meanwhile: a linked folder may lead anywhere, even back up the tree.
        const int sub = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_DIRECTORY | O_NOFOLLOW);
        if (sub < 0)
            continue;
        const QString decoded = QFile::decodeName(name);
        collectFiles(sub, path, relativeDir.isEmpty() ? decoded : relativeDir + QLatin1Char('/') + decoded, walk);
    }
}

} // namespace

std::optional<QString> FileDigest::sha256Hex(const QString& filePath, const std::atomic<bool>* abandon)
{
    return Hasher(abandon).digestOf(filePath);
}

QMap<QString, QString> FileDigest::sha256Manifest(const QString& dirPath, const std::atomic<bool>* abandon,
                                                  const LinkFilter& admitLink, const NameFilter& leaveOut)
{
    QMap<QString, QString> manifest;
    const QFileInfo rootInfo(dirPath);
    if (!rootInfo.isDir())
        return manifest;
    QString root = QDir::cleanPath(rootInfo.absoluteFilePath());
    if (root.size() > 1 && root.endsWith(QLatin1Char('/')))
        root.chop(1);
    const QByteArray encodedRoot = QFile::encodeName(root == QLatin1String("/") ? QString() : root);
    const int fd = ::open(encodedRoot.isEmpty() ? "/" : encodedRoot.constData(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
    if (fd < 0)
        return manifest;
    Hasher hasher(abandon);
    ManifestWalk walk{manifest, hasher, admitLink, leaveOut};
    collectFiles(fd, encodedRoot, QString(), walk);
    return manifest;
}

struct FileDigest::Stream::Context
{
    std::unique_ptr<EVP_MD_CTX, DigestContextDeleter> context{EVP_MD_CTX_new()};
};

FileDigest::Stream::Stream() : m_context(std::make_unique<Context>())
{
    restart();
}

void FileDigest::Stream::restart()
{
    m_stopped = !m_context->context || EVP_DigestInit_ex(m_context->context.get(), EVP_sha256(), nullptr) != 1;
}

FileDigest::Stream::~Stream() = default;

void FileDigest::Stream::add(QByteArrayView bytes)
{
    if (!m_stopped && !bytes.isEmpty())
        EVP_DigestUpdate(m_context->context.get(), bytes.data(), size_t(bytes.size()));
}

std::optional<QString> FileDigest::Stream::finish()
{
    if (m_stopped)
        return std::nullopt;
    m_stopped = true;
    const QString hex = hexOf(m_context->context.get());
    if (hex.isEmpty())
        return std::nullopt;
    return hex;
}
