#include "responsebody.h"

#include <QFile>

namespace phone {

namespace {

class BytesBody final : public ResponseBody
{
public:
    explicit BytesBody(QByteArray bytes) : m_bytes(std::move(bytes)) {}

    qint64 size() const override { return m_bytes.size(); }

    QByteArray read(qint64 maxBytes) override
    {
        const QByteArray piece = m_bytes.mid(m_offset, maxBytes);
        m_offset += piece.size();
        return piece;
    }

private:
    QByteArray m_bytes;
    qint64 m_offset = 0;
};

class FileBody final : public ResponseBody
{
public:
    explicit FileBody(std::unique_ptr<QFile> file)
        : m_file(std::move(file)), m_size(m_file->size())
    {
    }

    qint64 size() const override { return m_size; }

    QByteArray read(qint64 maxBytes) override
    {
        const qint64 wanted = qMin(maxBytes, m_size - m_sent);
        if (wanted <= 0 || m_failed)
            return {};
        QByteArray piece = m_file->read(wanted);
        if (piece.isEmpty())
            m_failed = true;
        m_sent += piece.size();
        return piece;
    }

    bool failed() const override { return m_failed; }

private:
    std::unique_ptr<QFile> m_file;
    qint64 m_size;
    qint64 m_sent = 0;
    bool m_failed = false;
};

class TarBody final : public ResponseBody
{
public:
    explicit TarBody(std::unique_ptr<TarArchive::TarStreamSource> source)
        : m_source(std::move(source))
    {
    }

    qint64 size() const override { return m_source->totalSize(); }

    QByteArray read(qint64 maxBytes) override
    {
        if (!m_failed) {
            try {
                m_source->appendChunks(m_pending, maxBytes);
            } catch (...) {
                // A file vanished or shrank while being sent; the archive cannot be completed.
                m_failed = true;
            }
        }
        const QByteArray piece = m_pending.left(maxBytes);
        m_pending.remove(0, piece.size());
        return piece;
    }

    bool failed() const override { return m_failed; }

private:
    std::unique_ptr<TarArchive::TarStreamSource> m_source;
    QByteArray m_pending;
    bool m_failed = false;
};

} // namespace

ResponseBody::~ResponseBody() = default;

std::shared_ptr<ResponseBody> ResponseBody::fromBytes(QByteArray bytes)
{
    return std::make_shared<BytesBody>(std::move(bytes));
}

std::shared_ptr<ResponseBody> ResponseBody::fromFile(std::unique_ptr<QFile> file)
{
    return std::make_shared<FileBody>(std::move(file));
}

} // namespace phone

namespace phone {

std::shared_ptr<ResponseBody> ResponseBody::fromTar(std::unique_ptr<TarArchive::TarStreamSource> source)
{
    return std::make_shared<TarBody>(std::move(source));
}

} // namespace phone
