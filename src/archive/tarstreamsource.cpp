#include "archive/tararchive.h"

#include "common/filebrowserorder.h"

#include <QCollator>
#include <QFile>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int nameFieldSize = 100;
constexpr qint64 block = TarArchive::blockSize;

qint64 roundUpToBlock(qint64 n)
{
    return (n + block - 1) / block * block;
}

qint64 padAfter(qint64 n)
{
    return roundUpToBlock(n) - n;
}

// Whole seconds, the fraction cut toward zero.
qint64 wholeSeconds(const struct timespec& t)
{
    qint64 seconds = t.tv_sec;
    if (seconds < 0 && t.tv_nsec > 0)
        ++seconds;
    return seconds;
}

// Octal digits and a NUL while the value fits, else base-256 with 0x80 in front.
void putNumber(char* field, int width, qint64 value)
{
    const int digits = width - 1;
    const bool fitsOctal = value >= 0 && value < (qint64(1) << (3 * digits));
    if (fitsOctal) {
        for (int i = digits - 1; i >= 0; --i) {
            field[i] = char('0' + (value & 7));
            value >>= 3;
        }
        field[digits] = '\0';
        return;
    }
    // The low 8·(width−1) bits, big-endian; beyond 64 bits that is the sign extension.
    field[0] = char(0x80);
    for (int i = width - 1; i >= 1; --i) {
        field[i] = char(value & 0xff);
        value >>= 8;  // arithmetic shift keeps extending the sign
    }
}

void putText(char* field, const char* text)
{
    std::memcpy(field, text, std::strlen(text));
}

QByteArray headerBlock(const QByteArray& name, char type, bool isDir, qint64 size, qint64 mtime)
{
    QByteArray header(block, '\0');
    char* h = header.data();
    std::memcpy(h, name.constData(), std::min<qsizetype>(name.size(), nameFieldSize));
    putText(h + 100, isDir ? "0000755" : "0000644");
    putText(h + 108, "0000000");
    putText(h + 116, "0000000");
    putNumber(h + 124, 12, size);
    putNumber(h + 136, 12, mtime);
    h[156] = type;
    putText(h + 257, "ustar");
    putText(h + 263, "00");

    std::memset(h + 148, ' ', 8);
    unsigned sum = 0;
    for (int i = 0; i < block; ++i)
        sum += static_cast<unsigned char>(h[i]);
    for (int i = 5; i >= 0; --i) {
        h[148 + i] = char('0' + (sum & 7));
        sum >>= 3;
    }
    h[154] = '\0';
    h[155] = ' ';
    return header;
}

// The longest prefix of at most 100 bytes that does not split a character (a grapheme, so an
// accent stays with its letter).
QByteArray headerName(const QString& name, const QByteArray& utf8)
{
    if (utf8.size() <= nameFieldSize)
        return utf8;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, name);
    qsizetype previous = 0;
    qsizetype bytes = 0;
    qsizetype best = 0;
    for (qsizetype pos = finder.toNextBoundary(); pos > 0; pos = finder.toNextBoundary()) {
        bytes += name.mid(previous, pos - previous).toUtf8().size();
        if (bytes > nameFieldSize)
            break;
        best = bytes;
        previous = pos;
    }
    return utf8.left(best);
}

bool isLong(const QByteArray& utf8)
{
    return utf8.size() > nameFieldSize;
}

struct Child
{
    QByteArray nativeName;
    QString name;
    QCollatorSortKey key;
    bool statusKnown = false;
    struct stat status {};
};

struct Walk
{
    const QCollator& collator;
    bool keepLeftovers;
    QList<TarArchive::TarStreamSource::Entry>& out;
    qsizetype hiddenLeftOut = 0;
};

void collect(const QByteArray& dirPath, const QString& prefix, bool insideLeftover, Walk& walk)
{
    DIR* dir = ::opendir(dirPath.constData());
    if (!dir)
        return;  // an unlistable folder contributes nothing
    std::vector<Child> children;
    while (const dirent* d = ::readdir(dir)) {
        if (d->d_name[0] == '.') {
            // Hidden, and with it ".DS_Store"; "." and ".." are no items at all.
            const QByteArrayView name(d->d_name);
            if (name != "." && name != "..")
                ++walk.hiddenLeftOut;
            continue;
        }
        const QByteArray nativeName(d->d_name);
        if (!walk.keepLeftovers && TarArchive::TarStreamSource::isMacLeftover(nativeName))
            continue;
        const QString name = QFile::decodeName(nativeName);
        Child child{nativeName, name, walk.collator.sortKey(name)};
        // Looked up relative to the open folder: a folder of many small files spends its
        // planning time in these calls, and a whole path costs a lookup per component.
        child.statusKnown = ::fstatat(::dirfd(dir), d->d_name, &child.status, AT_SYMLINK_NOFOLLOW) == 0;
        children.push_back(std::move(child));
    }
    ::closedir(dir);

    std::sort(children.begin(), children.end(), [](const Child& a, const Child& b) {
        const int order = a.key.compare(b.key);
        return order != 0 ? order < 0 : a.nativeName < b.nativeName;
    });

    for (const Child& child : children) {
        TarArchive::TarStreamSource::Entry entry;
        entry.path = dirPath.endsWith('/') ? dirPath + child.nativeName
                                           : dirPath + '/' + child.nativeName;
        entry.name = prefix.isEmpty() ? child.name : prefix + u'/' + child.name;
        entry.macLeftover = insideLeftover || TarArchive::TarStreamSource::isMacLeftover(child.nativeName);
        if (!child.statusKnown) {
            // Unreadable metadata: an empty file of time 0.
            entry.hasContent = true;
            walk.out.append(entry);
            continue;
        }
        const struct stat& st = child.status;
        if (!S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
            continue;  // links, sockets, devices, pipes
        entry.mtime = wholeSeconds(st.st_mtim);
        if (S_ISDIR(st.st_mode)) {
            entry.isDir = true;
            walk.out.append(entry);
            collect(entry.path, entry.name, entry.macLeftover, walk);
        } else {
            entry.hasContent = true;
            entry.size = st.st_size;
            walk.out.append(entry);
        }
    }
}

[[noreturn]] void throwErrno(const QByteArray& path)
{
    throw std::system_error(errno, std::generic_category(), path.toStdString());
}

} // namespace

QList<TarArchive::TarStreamSource::Entry> TarArchive::TarStreamSource::plan(const QString& folder, Leftovers leftovers,
                                                                          qsizetype* hiddenLeftOut)
{
    Entry root;
    root.path = QFile::encodeName(folder);
    while (root.path.size() > 1 && root.path.endsWith('/'))
        root.path.chop(1);
    root.isDir = true;
    struct stat st;
    if (::stat(root.path.constData(), &st) == 0)
        root.mtime = wholeSeconds(st.st_mtim);
    QList<Entry> entries{root};
    const QCollator collator = fileBrowserCollator();
    Walk walk{collator, leftovers == Leftovers::keep, entries};
    collect(root.path, QString(), false, walk);
    if (hiddenLeftOut)
        *hiddenLeftOut = walk.hiddenLeftOut;
    return entries;
}

TarArchive::TarStreamSource::TarStreamSource(const QString& folder) : TarStreamSource(plan(folder))
{
}

TarArchive::TarStreamSource::TarStreamSource(const QList<Entry>& planned)
{
    m_totalSize = 2 * block;
    for (const Entry& entry : planned) {
        if (entry.macLeftover)
            continue;
        m_entries.append(entry);
        const qint64 nameBytes = entry.name.toUtf8().size();
        m_totalSize += block;
        if (nameBytes > nameFieldSize)
            m_totalSize += block + roundUpToBlock(nameBytes + 1);
        if (entry.hasContent)
            m_totalSize += roundUpToBlock(entry.size);
    }
}

TarArchive::TarStreamSource::~TarStreamSource()
{
    closeFile();
    closeFolder();
}

void TarArchive::TarStreamSource::closeFile()
{
    if (m_fd >= 0) {
        ::close(m_fd);  // a read-only handle: nothing to lose on a close error
        m_fd = -1;
    }
}

int TarArchive::TarStreamSource::openContent(const QByteArray& path)
{
    // Files come folder by folder, so the folder stays open and each file is opened relative to
    // it: one lookup instead of one per component of the whole path. Never blocking: a pipe put
    // in a file's place after planning fails the read instead of stalling the stream.
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    const QByteArray folder = slash == 0 ? QByteArray("/") : path.left(slash);
    if (m_folderFd < 0 || folder != m_folderPath) {
        closeFolder();
        m_folderFd = ::open(folder.constData(), O_RDONLY | O_CLOEXEC | O_DIRECTORY);
        if (m_folderFd < 0)
            return ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        m_folderPath = folder;
    }
    return ::openat(m_folderFd, path.constData() + slash + 1, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
}

void TarArchive::TarStreamSource::closeFolder()
{
    if (m_folderFd >= 0) {
        ::close(m_folderFd);
        m_folderFd = -1;
    }
    m_folderPath.clear();
}

void TarArchive::TarStreamSource::advance()
{
    ++m_index;
    m_phase = Phase::header;
}

void TarArchive::TarStreamSource::reset()
{
    closeFile();
    closeFolder();
    m_index = 0;
    m_phase = Phase::header;
    m_longData.clear();
    m_digests.clear();
}

void TarArchive::TarStreamSource::beginDigest()
{
    if (!m_keepDigests)
        return;
    if (!m_digest)
        m_digest = std::make_unique<FileDigest::Stream>();
    m_digest->restart();
}

void TarArchive::TarStreamSource::endDigest(const QString& name)
{
    if (!m_keepDigests)
        return;
    if (const std::optional<QString> digest = m_digest->finish())
        m_digests.insert(name, *digest);
}

void TarArchive::TarStreamSource::appendChunks(QByteArray& into, qint64 size)
{
    while (into.size() < size) {
        const QByteArray more = nextChunk();
        if (more.isEmpty())
            return;
        into += more;
    }
}

QByteArray TarArchive::TarStreamSource::nextChunk()
{
    for (;;) {
        switch (m_phase) {
        case Phase::header: {
            if (m_index >= m_entries.size()) {
                m_phase = Phase::end;
                continue;
            }
            const QByteArray utf8 = m_entries.at(m_index).name.toUtf8();
            if (!isLong(utf8)) {
                m_phase = Phase::mainHeader;
                continue;
            }
            m_longData = utf8 + '\0';
            m_longOffset = 0;
            m_phase = Phase::longData;
            return headerBlock("././@LongLink", 'L', false, m_longData.size(), 0);
        }
        case Phase::mainHeader: {
            const Entry& entry = m_entries.at(m_index);
            const QByteArray utf8 = entry.name.toUtf8();
            QByteArray header = headerBlock(headerName(entry.name, utf8), entry.isDir ? '5' : '0',
                                            entry.isDir, entry.hasContent ? entry.size : 0,
                                            entry.mtime);
            if (entry.hasContent)
                beginDigest();
            if (entry.hasContent && entry.size > 0) {
                m_fd = openContent(entry.path);
                if (m_fd < 0)
                    throwErrno(entry.path);
                if (entry.size > pieceSize)
                    ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
                m_remaining = entry.size;
                m_phase = Phase::content;
            } else {
                if (entry.hasContent)
                    endDigest(entry.name);
                advance();
            }
            return header;
        }
        case Phase::longData: {
            const qint64 left = m_longData.size() - m_longOffset;
            if (left > pieceSize) {
                const QByteArray piece = m_longData.mid(m_longOffset, pieceSize);
                m_longOffset += pieceSize;
                return piece;
            }
            const QByteArray piece = m_longData.mid(m_longOffset);
            m_padCount = padAfter(m_longData.size());
            m_longData.clear();
            m_phase = m_padCount > 0 ? Phase::longPad : Phase::mainHeader;
            return piece;
        }
        case Phase::longPad:
            m_phase = Phase::mainHeader;
            return QByteArray(m_padCount, '\0');
        case Phase::content: {
            const Entry& entry = m_entries.at(m_index);
            QByteArray piece(std::min(m_remaining, pieceSize), Qt::Uninitialized);
            ssize_t got;
            do {
                got = ::read(m_fd, piece.data(), piece.size());
            } while (got < 0 && errno == EINTR);
            if (got < 0) {
                const int error = errno;
                closeFile();
                errno = error;
                throwErrno(entry.path);
            }
            if (got == 0) {
                closeFile();
                throw TarError::truncated();
            }
            piece.truncate(got);
            m_remaining -= got;
            if (m_digest)
                m_digest->add(piece);
            if (m_remaining == 0) {
                endDigest(entry.name);
                closeFile();
                m_padCount = padAfter(entry.size);
                if (m_padCount > 0)
                    m_phase = Phase::pad;
                else
                    advance();
            }
            return piece;
        }
        case Phase::pad:
            advance();
            return QByteArray(m_padCount, '\0');
        case Phase::end:
            m_phase = Phase::done;
            return QByteArray(2 * block, '\0');
        case Phase::done:
            return QByteArray();
        }
    }
}
