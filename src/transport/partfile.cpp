#include "partfile.h"

#include "transporterror.h"
#include "common/zorvaneerror.h"

#include "common/partname.h"
#include "common/texttemplate.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

PartFile::PartFile(const QString& targetPath) : m_target(targetPath)
{
    const QFileInfo target(targetPath);
    QDir().mkpath(target.absolutePath());
    // A short name of its own rather than one built from the target's: the longest name the
    // file system allows must still be downloadable.
    for (int attempt = 0; attempt < 3 && m_fd < 0; ++attempt) {
        m_path = target.absolutePath() + u'/' + QFile::decodeName(partFileName());
        m_fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0 && errno != EEXIST)
            break;
    }
    if (m_fd < 0)
        throw TransportError::operationFailed(localizedFormat("创建本地文件失败：%@", {targetPath}));
}

PartFile::~PartFile()
{
    close();
    if (!m_placed)
        ::unlink(QFile::encodeName(m_path).constData());
}

void PartFile::append(const QByteArray& bytes)
{
    writeAll(m_fd, bytes, m_target);
}

void PartFile::place()
{
    close();
    // rename() replaces an existing file in one step; QFile::rename would refuse to.
    if (std::rename(QFile::encodeName(m_path).constData(), QFile::encodeName(m_target).constData()) != 0)
        throw PlatformError(systemReason(errno));
    m_placed = true;
}

void PartFile::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void PartFile::writeAll(int fd, const QByteArray& bytes, const QString& fileName)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        // A short write is followed by another, which then says why the rest did not fit.
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw PlatformError(writeFailureText(written < 0 ? errno : EIO, fileName));
        data += written;
        left -= written;
    }
}

QString PartFile::writeFailureText(int error, const QString& fileName)
{
    if (error == ENOSPC || error == EDQUOT)
        return localizedFormat("磁盘空间不足，无法写入 %@", {fileName});
    return localizedFormat("写入本地文件失败：%@（%@）", {fileName, systemReason(error)});
}
