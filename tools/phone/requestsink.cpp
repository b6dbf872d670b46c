#include "requestsink.h"

#include "archive/tararchive.h"

#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace phone {

namespace {

class FileSink final : public RequestSink
{
public:
    FileSink(const QString& targetPath, std::unique_ptr<QTemporaryFile> file)
        : m_target(targetPath), m_file(std::move(file))
    {
    }

    std::optional<HttpReply> write(QByteArrayView data) override
    {
        if (m_file->write(data.data(), data.size()) != data.size()) {
            const QString reason = m_file->errorString();
            abandon();
            return HttpReply::text(507, QStringLiteral("写入失败：") + reason);
        }
        return std::nullopt;
    }

    QFuture<HttpReply> finish() override
    {
        if (!m_file->flush()) {
            abandon();
            return QtFuture::makeReadyFuture(HttpReply::text(507, QStringLiteral("写入失败")));
        }
        m_file->setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner
                               | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        // rename(2) replaces an existing file in one step, so readers see the old or the new
        // content, never a mix.
        const QByteArray from = QFile::encodeName(m_file->fileName());
        const QByteArray to = QFile::encodeName(m_target);
        if (std::rename(from.constData(), to.constData()) != 0) {
            const QString reason = QString::fromLocal8Bit(std::strerror(errno));
            abandon();
            return QtFuture::makeReadyFuture(
                HttpReply::text(500, QStringLiteral("保存失败：") + reason));
        }
        m_file->setAutoRemove(false);
        m_file->close();
        return QtFuture::makeReadyFuture(HttpReply::text(200, QStringLiteral("OK")));
    }

    void abandon() override
    {
        m_file->close();
        m_file->remove();
    }

private:
    QString m_target;
    std::unique_ptr<QTemporaryFile> m_file;
};

// Any archive failure is the client's doing (a bad or cut archive) unless the disk failed.
HttpReply tarFailure(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const TarArchive::TarError& error) {
        return HttpReply::text(400, error.description());
    } catch (const std::system_error& error) {
        return HttpReply::text(500, QStringLiteral("解包失败：") + QString::fromLocal8Bit(error.what()));
    } catch (...) {
        return HttpReply::text(500, QStringLiteral("解包失败"));
    }
}

class TarSink final : public RequestSink
{
public:
    explicit TarSink(std::unique_ptr<TarArchive::TarExtractor> extractor)
        : m_extractor(std::move(extractor))
    {
    }

    std::optional<HttpReply> write(QByteArrayView data) override
    {
        try {
            m_extractor->write(data);
        } catch (...) {
            m_extractor.reset();
            return tarFailure(std::current_exception());
        }
        return std::nullopt;
    }

    QFuture<HttpReply> finish() override
    {
        try {
            m_extractor->finish();
        } catch (...) {
            m_extractor.reset();
            return QtFuture::makeReadyFuture(tarFailure(std::current_exception()));
        }
        m_extractor.reset();
        return QtFuture::makeReadyFuture(HttpReply::text(200, QStringLiteral("OK")));
    }

    // What was unpacked so far stays: the client sends the whole archive again on a retry.
    void abandon() override { m_extractor.reset(); }

private:
    std::unique_ptr<TarArchive::TarExtractor> m_extractor;
};

} // namespace

RequestSink::~RequestSink() = default;

std::shared_ptr<RequestSink> RequestSink::toFile(const QString& targetPath, QString* error)
{
    const QFileInfo target(targetPath);
    auto file = std::make_unique<QTemporaryFile>(target.absolutePath()
                                                 + QStringLiteral("/.zorvane-upload-XXXXXX"));
    if (!file->open()) {
        *error = file->errorString();
        return nullptr;
    }
    return std::make_shared<FileSink>(targetPath, std::move(file));
}

std::shared_ptr<RequestSink> RequestSink::toTarExtractor(const QString& folder, QString* error)
{
    try {
        return std::make_shared<TarSink>(std::make_unique<TarArchive::TarExtractor>(folder));
    } catch (const std::exception& failure) {
        *error = QString::fromLocal8Bit(failure.what());
        return nullptr;
    }
}

} // namespace phone
