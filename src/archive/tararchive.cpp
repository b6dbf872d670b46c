#include "archive/tararchive.h"

#include "common/languagemanager.h"
#include "common/texttemplate.h"

#include <QFile>

#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace {

const char* const unsafePathTemplate = "归档内含非法路径：%@";
const char* const truncatedText = "归档不完整";

} // namespace

TarArchive::TarError::TarError(Kind kind, QString path)
    : m_kind(kind), m_path(std::move(path))
{
    // what() carries the untranslated text; description() is what users see.
    const QString text = m_kind == Kind::unsafePath
        ? fillTemplate(QString::fromUtf8(unsafePathTemplate), {m_path})
        : QString::fromUtf8(truncatedText);
    m_what = text.toStdString();
}

TarArchive::TarError TarArchive::TarError::unsafePath(const QString& name)
{
    return TarError(Kind::unsafePath, name);
}

TarArchive::TarError TarArchive::TarError::truncated()
{
    return TarError(Kind::truncated, QString());
}

QString TarArchive::TarError::description() const
{
    if (m_kind == Kind::unsafePath)
        return fillTemplate(localized(unsafePathTemplate), {m_path});
    return localized(truncatedText);
}

const char* TarArchive::TarError::what() const noexcept
{
    return m_what.c_str();
}

void TarArchive::extractTar(const QString& archive, const QString& folder)
{
    const int fd = ::open(QFile::encodeName(archive).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), archive.toStdString());
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    TarExtractor extractor(folder);
    QByteArray buffer(pieceSize, Qt::Uninitialized);
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw std::system_error(errno, std::generic_category(), archive.toStdString());
        }
        if (got == 0)
            break;
        extractor.write(QByteArrayView(buffer.constData(), got));
        // Whatever follows the end blocks (tar pads to whole records) need not be read.
        if (extractor.isComplete())
            return;
    }
    extractor.finish();
}
