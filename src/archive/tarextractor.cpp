#include "archive/tararchive.h"

#include "common/partname.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 block = TarArchive::blockSize;
// No real name comes near this; a longer record is refused instead of held in memory.
constexpr qint64 longNameLimit = 65536;
// Extended headers larger than this are skipped unread.
constexpr qint64 extendedHeaderLimit = 1 << 20;
// Sizes are clamped here so that size + padding cannot overflow; such an archive simply ends early.
constexpr qint64 sizeLimit = std::numeric_limits<qint64>::max() / 2;

[[noreturn]] void throwErrno(const QString& path, int error = errno)
{
    throw std::system_error(error, std::generic_category(), path.toStdString());
}

// Text field: up to the first NUL; bytes that are not UTF-8 give the empty string.
QString decodeUtf8(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}

QByteArrayView field(const char* header, int offset, int width)
{
    const char* start = header + offset;
    const void* nul = std::memchr(start, '\0', width);
    return QByteArrayView(start, nul ? static_cast<const char*>(nul) - start : width);
}

// The entry name: the name field, behind the prefix field in POSIX ustar headers (writers put
// long paths there). GNU headers use that area for other data and carry another magic.
QString headerName(const char* header)
{
    QByteArray name = field(header, 0, 100).toByteArray();
    if (std::memcmp(header + 257, "ustar\0", 6) == 0) {
        const QByteArrayView prefix = field(header, 345, 155);
        if (!prefix.isEmpty())
            name = prefix.toByteArray() + '/' + name;
    }
    return decodeUtf8(name);
}

// Base-256 when the first byte has its top bit set, else octal digits up to a NUL or space with
// anything else skipped.
qint64 number(const char* header, int offset, int width)
{
    const auto* f = reinterpret_cast<const unsigned char*>(header + offset);
    qint64 value = 0;
    if (f[0] & 0x80) {
        value = f[0] & 0x7f;
        for (int i = 1; i < width; ++i) {
            if (value > (sizeLimit >> 8))
                return sizeLimit;
            value = value * 256 + f[i];
        }
        return std::min(value, sizeLimit);
    }
    for (int i = 0; i < width && f[i] != '\0' && f[i] != ' '; ++i) {
        if (f[i] < '0' || f[i] > '7')
            continue;
        if (value > (sizeLimit >> 3))
            return sizeLimit;
        value = value * 8 + (f[i] - '0');
    }
    return value;
}

bool isZeroBlock(const char* header)
{
    for (int i = 0; i < block; ++i) {
        if (header[i] != '\0')
            return false;
    }
    return true;
}

qint64 padFor(qint64 size)
{
    return (block - size % block) % block;
}

// Typeflags that describe the next entry instead of being one.
bool isMetadata(char type)
{
    return type == 'L' || type == 'K' || type == 'x' || type == 'g' || type == 'X';
}

} // namespace

TarArchive::TarExtractor::TarExtractor(const QString& folder)
    : m_folder(folder)
{
    std::error_code error;
    const bool made =
        std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(folder).toStdString()), error);
    if (error)
        throw std::system_error(error, folder.toStdString());
    if (made)
        m_madeFolders.insert(QString());
    // The target folder itself is the caller's choice and may be reached through a link;
    // nothing below it is.
    m_rootFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (m_rootFd < 0)
        throwErrno(folder);
}

TarArchive::TarExtractor::~TarExtractor()
{
    dropPartFile();
    closeCachedDirectory();
    if (m_rootFd >= 0)
        ::close(m_rootFd);
}

void TarArchive::TarExtractor::closeCachedDirectory()
{
    if (m_cachedDirFd >= 0)
        ::close(m_cachedDirFd);
    m_cachedDirFd = -1;
    m_cachedDirKey.clear();
}

void TarArchive::TarExtractor::clearPending()
{
    m_hasPendingName = false;
    m_pendingName.clear();
    m_pendingSize = -1;
}

void TarArchive::TarExtractor::write(QByteArrayView data)
{
    const char* p = data.data();
    qint64 n = data.size();
    while (n > 0 && m_state != State::complete) {
        if (m_state == State::header) {
            if (m_block.isEmpty() && n >= block) {
                takeHeader(p);
                p += block;
                n -= block;
            } else {
                const qint64 take = std::min(n, block - m_block.size());
                m_block.append(p, take);
                p += take;
                n -= take;
                if (m_block.size() == block) {
                    const QByteArray header = std::exchange(m_block, QByteArray());
                    takeHeader(header.constData());
                }
            }
        } else if (m_remaining > 0) {
            const qint64 take = std::min(n, m_remaining);
            if (m_state == State::fileData)
                writeFileData(p, take);
            else if (m_state == State::longName || m_state == State::extended)
                m_metadata.append(p, take);
            m_remaining -= take;
            p += take;
            n -= take;
        } else {
            const qint64 take = std::min(n, m_pad);
            m_pad -= take;
            p += take;
            n -= take;
        }
        if (m_state != State::header && m_state != State::complete && m_remaining == 0
            && m_pad == 0) {
            if (m_state == State::fileData)
                endFile();
            else if (m_state == State::longName || m_state == State::extended)
                endMetadata();
            m_state = State::header;
        }
    }
}

void TarArchive::TarExtractor::finish()
{
    if (m_state != State::complete)
        throw TarError::truncated();
}

void TarArchive::TarExtractor::takeHeader(const char* header)
{
    if (isZeroBlock(header)) {
        if (m_previousZero)
            m_state = State::complete;
        m_previousZero = true;
        return;
    }
    m_previousZero = false;

    const char type = header[156];
    qint64 size = number(header, 124, 12);
    if (isMetadata(type)) {
        if (type == 'L' && size > longNameLimit)
            throwErrno(QStringLiteral("././@LongLink"), ENAMETOOLONG);
        if (type == 'L' || (type == 'x' && size <= extendedHeaderLimit))
            m_state = type == 'L' ? State::longName : State::extended;
        else
            m_state = State::skip;
        m_metadata.clear();
    } else {
        // An extended header's size overrides the header's (writers put 0 there when it does
        // not fit), and the name it or a long-name record gave belongs to this entry only.
        if (m_pendingSize >= 0)
            size = m_pendingSize;
        const QString name = m_hasPendingName ? m_pendingName : headerName(header);
        clearPending();
        if (type == '\0' || type == '0') {
            beginFile(name);
            m_state = State::fileData;
        } else if (type == '5') {
            makeDirectory(name);
            return;  // no data follows a directory
        } else {
            m_state = State::skip;  // links and everything else are never created
        }
    }
    m_remaining = size;
    m_pad = padFor(size);
    if (m_remaining == 0 && m_pad == 0) {
        if (m_state == State::fileData)
            endFile();
        else if (m_state == State::longName || m_state == State::extended)
            endMetadata();
        m_state = State::header;
    }
}

void TarArchive::TarExtractor::endMetadata()
{
    if (m_state == State::longName) {
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString name = decoder.decode(m_metadata);
        if (decoder.hasError()) {
            m_hasPendingName = false;
            m_pendingName.clear();
        } else {
            const auto trimmed = [](QChar c) { return c == QChar(0) || c == QChar(1); };
            qsizetype begin = 0;
            qsizetype end = name.size();
            while (begin < end && trimmed(name.at(begin)))
                ++begin;
            while (end > begin && trimmed(name.at(end - 1)))
                --end;
            m_pendingName = name.mid(begin, end - begin);
            m_hasPendingName = true;
        }
    } else {
        // Records "<length> <key>=<value>\n"; only the path and the size matter here.
        const QByteArray& data = m_metadata;
        qsizetype pos = 0;
        while (pos < data.size()) {
            const qsizetype space = data.indexOf(' ', pos);
            if (space < 0)
                break;
            bool ok = false;
            const qsizetype length = data.mid(pos, space - pos).toLongLong(&ok);
            if (!ok || length <= space - pos + 1 || length > data.size() - pos
                || data.at(pos + length - 1) != '\n')
                break;
            const QByteArrayView record(data.constData() + space + 1, pos + length - 1 - space - 1);
            const qsizetype equals = record.indexOf('=');
            if (equals > 0) {
                const QByteArrayView key = record.first(equals);
                const QByteArrayView value = record.sliced(equals + 1);
                if (key == "path") {
                    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
                    const QString name = decoder.decode(value);
                    if (!decoder.hasError()) {
                        m_pendingName = name;
                        m_hasPendingName = true;
                    }
                } else if (key == "size") {
                    const qint64 size = value.toLongLong(&ok);
                    if (ok && size >= 0)
                        m_pendingSize = std::min(size, sizeLimit);
                }
            }
            pos += length;
        }
    }
    m_metadata.clear();
}

QStringList TarArchive::TarExtractor::safeParts(const QString& rawName) const
{
    QString name = rawName;
    name.replace(u'\\', u'/');
    while (name.startsWith(QLatin1String("./")))
        name.remove(0, 2);
    const QStringList parts = name.split(u'/', Qt::SkipEmptyParts);
    QStringList kept;
    for (const QString& part : parts) {
        // A NUL would silently cut the name short on its way to the file system.
        if (part == QLatin1String("..") || part.contains(QChar(0)))
            throw TarError::unsafePath(rawName);
        if (part != QLatin1String("."))
            kept.append(part);
    }
    return kept;
}

// Opens (creating as needed) the folder made of the first `count` parts, one component at a
// time relative to its parent's handle and never through a symbolic link, so nothing an entry
// creates can land outside the target however the folders below it look. The returned handle
// stays owned by the extractor.
int TarArchive::TarExtractor::openDirectory(const QStringList& parts, qsizetype count,
                                            const QString& rawName)
{
    if (count == 0)
        return m_rootFd;
    const QString key = parts.first(count).join(u'/');
    if (m_cachedDirFd >= 0 && key == m_cachedDirKey)
        return m_cachedDirFd;

    // Entries come in tree order, so the last folder is usually the new one's parent.
    int current = m_rootFd;
    qsizetype first = 0;
    if (m_cachedDirFd >= 0 && key.startsWith(m_cachedDirKey + u'/')) {
        current = m_cachedDirFd;
        first = m_cachedDirKey.count(u'/') + 1;
    }

    struct Handle
    {
        int fd = -1;
        ~Handle()
        {
            if (fd >= 0)
                ::close(fd);
        }
    } opened;  // the handle of the walk's latest folder, closed when the walk moves on

    constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    for (qsizetype i = first; i < count; ++i) {
        const QByteArray component = QFile::encodeName(parts.at(i));
        const auto path = [&] { return m_folder + u'/' + parts.first(i + 1).join(u'/'); };
        int fd = ::openat(current, component.constData(), flags);
        if (fd < 0 && errno == ENOENT) {
            if (::mkdirat(current, component.constData(), 0755) == 0)
                m_madeFolders.insert(parts.first(i + 1).join(u'/'));
            else if (errno != EEXIST)
                throwErrno(path());
            fd = ::openat(current, component.constData(), flags);
        }
        if (fd < 0) {
            const int error = errno;
            struct stat st;
            if (::fstatat(current, component.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0
                && S_ISLNK(st.st_mode))
                throw TarError::unsafePath(rawName);
            throwErrno(path(), error);
        }
        if (opened.fd >= 0)
            ::close(opened.fd);
        opened.fd = fd;
        current = fd;
    }

    closeCachedDirectory();
    m_cachedDirFd = std::exchange(opened.fd, -1);
    m_cachedDirKey = key;
    return m_cachedDirFd;
}

void TarArchive::TarExtractor::makeDirectory(const QString& rawName)
{
    const QStringList parts = safeParts(rawName);
    openDirectory(parts, parts.size(), rawName);
}

void TarArchive::TarExtractor::beginFile(const QString& rawName)
{
    const QStringList parts = safeParts(rawName);
    m_fileName = parts.isEmpty() ? m_folder : m_folder + u'/' + parts.join(u'/');
    if (parts.isEmpty())
        throwErrno(m_fileName, EISDIR);  // a file cannot replace the target folder itself
    const int parent = openDirectory(parts, parts.size() - 1, rawName);
    m_fileLeaf = QFile::encodeName(parts.last());

    // An existing symbolic link at the name makes the entry unsafe; a folder cannot be replaced.
    // In a folder made by this extractor nothing is there but what the archive put there, and it
    // never makes links (a folder at the name then fails the rename, just as here).
    const QStringList parentParts = parts.first(parts.size() - 1);
    struct stat st;
    if (!m_madeFolders.contains(parentParts.join(u'/'))
        && ::fstatat(parent, m_fileLeaf.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode))
            throw TarError::unsafePath(rawName);
        if (S_ISDIR(st.st_mode))
            throwErrno(m_fileName, EISDIR);
    }
    // The parent's handle stays open until the rename: no other entry comes before this one ends.
    m_fileParentFd = parent;
    if (m_keepDigests) {
        m_fileKey = parts.join(u'/');
        if (!m_digest)
            m_digest = std::make_unique<FileDigest::Stream>();
        m_digest->restart();
    }
    // Written under a part name and renamed over the old file only once complete, so an archive
    // cut off in this entry leaves the file as it was. The rename replaces whatever was at the
    // name (a hard link, a special file) and never writes through it.
    for (int attempt = 0;; ++attempt) {
        m_filePart = partFileName();
        m_fileFd = ::openat(m_fileParentFd, m_filePart.constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (m_fileFd >= 0)
            return;
        if (errno != EEXIST || attempt == 2)
            throwErrno(m_fileName);
    }
}

void TarArchive::TarExtractor::writeFileData(const char* data, qint64 count)
{
    if (m_digest)
        m_digest->add(QByteArrayView(data, count));
    while (count > 0) {
        const ssize_t written = ::write(m_fileFd, data, std::min(count, pieceSize));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throwErrno(m_fileName);
        }
        data += written;
        count -= written;
    }
}

void TarArchive::TarExtractor::endFile()
{
    const int fd = std::exchange(m_fileFd, -1);
    if (::close(fd) != 0) {
        const int error = errno;
        dropPartFile();
        throwErrno(m_fileName, error);
    }
    if (::renameat(m_fileParentFd, m_filePart.constData(), m_fileParentFd, m_fileLeaf.constData()) != 0) {
        const int error = errno;
        dropPartFile();
        throwErrno(m_fileName, error);
    }
    m_fileParentFd = -1;
    if (m_keepDigests) {
        if (const std::optional<QString> digest = m_digest->finish())
            m_digests.insert(m_fileKey, *digest);
    }
}

void TarArchive::TarExtractor::dropPartFile()
{
    if (m_fileFd >= 0)
        ::close(std::exchange(m_fileFd, -1));
    if (m_fileParentFd >= 0)
        ::unlinkat(std::exchange(m_fileParentFd, -1), m_filePart.constData(), 0);
}
