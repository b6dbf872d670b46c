// The phone's file cabin: listing, folder and name operations, file and folder transfers.
#include "wifitransport.h"
#include "diagnostics.h"
#include "jsoninteger.h"
#include "partfile.h"

#include "transporterror.h"
#include "common/zorvaneerror.h"

#include "common/languagemanager.h"
#include "common/texttemplate.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QStringDecoder>

#include <system_error>

namespace {

constexpr qint64 uploadChunkSize = 262144;
constexpr qint64 slowWriteMilliseconds = 200;

// The answer's text for a failure message; a body that is not UTF-8 says nothing.
QString answerText(const QByteArray& body)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(body);
    return decoder.hasError() ? QString() : text;
}

[[noreturn]] void failListing(const char* templ, std::initializer_list<QVariant> arguments)
{
    throw PlatformError(localizedFormat(templ, arguments));
}

QList<RemoteEntry> decodeListing(const QByteArray& json, const QString& path)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isArray())
        failListing("目录列表无法解读：不是有效的 JSON 数组", {});

    QString base = path;
    if (base.endsWith(QLatin1Char('/')))
        base.chop(1);

    QList<RemoteEntry> entries;
    const QJsonArray array = document.array();
    entries.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        const QJsonValue element = array.at(i);
        if (!element.isObject())
            failListing("目录列表无法解读：第 %ld 项不是对象", {i + 1});
        const QJsonObject object = element.toObject();
        const QJsonValue name = object.value(QLatin1String("name"));
        const QJsonValue isDirectory = object.value(QLatin1String("isDirectory"));
        const QJsonValue size = object.value(QLatin1String("size"));
        if (!name.isString())
            failListing("目录列表无法解读：第 %ld 项的字段“%@”缺失或不是文本", {i + 1, QStringLiteral("name")});
        if (!isDirectory.isBool())
            failListing("目录列表无法解读：第 %ld 项的字段“%@”缺失或不是真假值",
                        {i + 1, QStringLiteral("isDirectory")});
        const auto number = jsonInteger(size);
        if (!number)
            failListing("目录列表无法解读：第 %ld 项的字段“%@”缺失或不是整数", {i + 1, QStringLiteral("size")});

        RemoteEntry entry;
        entry.name = name.toString();
        entry.isDirectory = isDirectory.toBool();
        entry.size = *number;
        entry.id = base + QLatin1Char('/') + entry.name + (entry.isDirectory ? QStringLiteral("/") : QString());
        entries.append(std::move(entry));
    }
    return entries;
}

} // namespace

QCoro::Task<QList<RemoteEntry>> WiFiTransport::listDirectory(QString path)
{
    // Arguments as named locals: g++ 12 mishandles temporaries built inside a co_await expression.
    const QString method = QStringLiteral("GET");
    const QString api = QStringLiteral("/list");
    const std::optional<QString> remote = path;
    const HttpResponse response = co_await performRequest(method, api, remote);
    if (response.status != 200)
        throw TransportError::operationFailed(
            localizedFormat("%@ 列目录失败（HTTP %ld）", {connectionLabel(), response.status}));
    co_return decodeListing(response.body, path);
}

QCoro::Task<int> WiFiTransport::postWithoutBody(QString api, QString path, QueryItems query)
{
    // Named locals: g++ 12 mishandles temporaries built inside a co_await expression.
    const QString method = QStringLiteral("POST");
    const std::optional<QString> remote = path;
    RequestOptions options;
    options.query = std::move(query);
    options.bodyLength = 0;
    const HttpResponse response = co_await performRequest(method, api, remote, std::move(options));
    co_return response.status;
}

QCoro::Task<void> WiFiTransport::createRemoteDirectory(QString path)
{
    const QString api = QStringLiteral("/mkdir");
    const QueryItems none;
    const int status = co_await postWithoutBody(api, path, none);
    if (status != 200)
        throw TransportError::operationFailed(localizedFormat("%@ 建目录失败（HTTP %ld）", {connectionLabel(), status}));
}

QCoro::Task<void> WiFiTransport::renameRemote(QString from, QString to)
{
    const QString api = QStringLiteral("/rename");
    const QueryItems query{{QStringLiteral("to"), to}};
    const int status = co_await postWithoutBody(api, from, query);
    if (status != 200)
        throw remoteOperationError(QStringLiteral("重命名"), status);
}

QCoro::Task<void> WiFiTransport::copyRemote(QString from, QString to)
{
    const QString api = QStringLiteral("/copy");
    const QueryItems query{{QStringLiteral("to"), to}};
    const int status = co_await postWithoutBody(api, from, query);
    if (status != 200)
        throw remoteOperationError(QStringLiteral("复制"), status);
}

QCoro::Task<void> WiFiTransport::deleteRemote(QString path, bool isDirectory)
{
    Q_UNUSED(isDirectory); // the phone tells a folder from a file by itself
    const QString api = QStringLiteral("/delete");
    const QueryItems none;
    const int status = co_await postWithoutBody(api, path, none);
    if (status != 200)
        throw remoteOperationError(QStringLiteral("删除"), status);
}

QCoro::Task<void> WiFiTransport::pushFile(QString localPath, QString remotePath, ProgressCallback progress)
{
    // A file that cannot be read fails here, before anything is sent: one that vanished would
    // otherwise go out with a "size" of 0, replace the phone's file of that name with an empty
    // one and report success.
    auto file = std::make_shared<QFile>(localPath);
    if (!file->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw PlatformError(localizedFormat("无法读取本机文件：%@（%@）", {localPath, file->errorString()}));
    const qint64 size = file->size();
    const auto closeFile = qScopeGuard([file] { file->close(); });

    BodyProvider provider = [file](qint64 offset) -> std::optional<QByteArray> {
        if (file->pos() != offset)
            file->seek(offset);
        return file->read(uploadChunkSize);
    };
    RequestOptions options;
    options.bodyLength = size;
    options.bodyProvider = std::move(provider);
    options.progress = std::move(progress);
    options.cancellable = true;
    const QString method = QStringLiteral("POST");
    const QString api = QStringLiteral("/upload");
    const std::optional<QString> remote = remotePath;
    const HttpResponse response = co_await performRequest(method, api, remote, std::move(options));
    if (response.status != 200)
        throw TransportError::operationFailed(localizedFormat(
            "%@ 推送失败（HTTP %ld）%@", {connectionLabel(), response.status, answerText(response.body)}));
}

QCoro::Task<int> WiFiTransport::download(QString api, QString remotePath, QString localPath, qint64 expectedTotal,
                                         ProgressCallback progress, PullWatch watch)
{
    PartFile part(localPath);
    // A write that fails throws out of the request, which ends it at once: the rest of the body
    // would only be received for nothing.
    RequestOptions options;
    options.expectedTotal = expectedTotal;
    options.progress = std::move(progress);
    options.cancellable = true;
    options.onHead = [&watch](int status, std::optional<qint64>) {
        if (status == 200 && watch.accepted)
            watch.accepted();
    };
    options.onBody = [&part, &watch](const QByteArray& piece) {
        part.append(piece);
        // Hashed while still in the cache, instead of read back from the disk afterwards.
        if (watch.written)
            watch.written->add(piece);
    };
    const QString method = QStringLiteral("GET");
    const std::optional<QString> remote = remotePath;
    const HttpResponse response = co_await performRequest(method, api, remote, std::move(options));
    if (response.status == 200)
        part.place();
    co_return response.status;
}

QCoro::Task<void> WiFiTransport::pullFile(QString remotePath, QString localPath, std::optional<qint64> expectedSize,
                                          ProgressCallback progress, PullWatch watch)
{
    const QString api = QStringLiteral("/download");
    const qint64 expectedTotal = expectedSize.value_or(0);
    const int status = co_await download(api, remotePath, localPath, expectedTotal, std::move(progress), std::move(watch));
    if (status != 200)
        throw TransportError::operationFailed(
            localizedFormat("%@ 拉取失败（HTTP %ld）%@", {connectionLabel(), status, QString()}));
}

QCoro::Task<void> WiFiTransport::pushFolderStreaming(TarArchive::TarStreamSource& source, QString remoteDir,
                                                     ProgressCallback progress)
{
    const qint64 total = source.totalSize();
    Diagnostics::writeDiagnostic(QStringLiteral("pushFolderStreaming remoteDir=") + remoteDir + QStringLiteral(" totalSize=")
                                 + QString::number(total));

    // The source hands out its archive in order, one header or file piece per call. Small pieces
    // are gathered up to one upload chunk, so a folder of many small files is not sent a few
    // hundred bytes per write; the request asks for the next chunk only once the previous one has
    // been taken by the connection.
    auto pending = std::make_shared<QByteArray>();
    BodyProvider provider = [&source, pending](qint64) -> std::optional<QByteArray> {
        source.appendChunks(*pending, uploadChunkSize);
        QByteArray chunk = pending->left(uploadChunkSize);
        pending->remove(0, chunk.size());
        return chunk;
    };
    RequestOptions options;
    options.bodyLength = total;
    options.bodyProvider = std::move(provider);
    options.progress = std::move(progress);
    options.cancellable = true;
    const QString method = QStringLiteral("POST");
    const QString api = QStringLiteral("/uploadTar");
    const std::optional<QString> remote = remoteDir;
    const HttpResponse response = co_await performRequest(method, api, remote, std::move(options));
    if (response.status != 200)
        throw remoteOperationError(QStringLiteral("推送文件夹"), response.status);
}

void WiFiTransport::appendReportingSlowWrite(const BodyConsumer& append, const QByteArray& piece)
{
    QElapsedTimer clock;
    clock.start();
    append(piece);
    const qint64 elapsed = clock.elapsed();
    if (elapsed > slowWriteMilliseconds)
        Diagnostics::writeDiagnostic(QStringLiteral("落盘慢 %1 ms / %2 字节").arg(elapsed).arg(piece.size()));
}

QCoro::Task<void> WiFiTransport::pullFolderTar(QString remoteDir, QString localFolder, ProgressCallback progress,
                                               ArchiveAnnounced beforeUnpacking, QMap<QString, QString>* written)
{
    // Unpacked as it arrives, on this thread: each piece of the body is at most one read of the
    // socket (256 KiB), so one call writes no more than that, and a slow disk slows the download
    // down instead of piling the archive up in memory or in a temporary file.
    std::optional<TarArchive::TarExtractor> extractor;
    std::optional<qint64> announced;
    qint64 received = 0;
    RequestOptions options;
    options.progress = std::move(progress);
    options.cancellable = true;
    options.onHead = [&](int status, std::optional<qint64> total) {
        if (status != 200)
            return;  // a refusal's body is its reason, not an archive
        announced = total;
        if (beforeUnpacking)
            beforeUnpacking(total);
        asLocalDiskError([&] { extractor.emplace(localFolder); });
        if (written)
            extractor->keepDigests();
    };
    options.onBody = [&](const QByteArray& piece) {
        if (!extractor)
            return;
        received += piece.size();
        appendReportingSlowWrite(
            [&](const QByteArray& bytes) { asLocalDiskError([&] { extractor->write(bytes); }); }, piece);
    };
    const QString method = QStringLiteral("GET");
    const QString api = QStringLiteral("/downloadFolder");
    const std::optional<QString> remote = remoteDir;
    const HttpResponse response = co_await performRequest(method, api, remote, std::move(options));
    if (response.status != 200)
        throw remoteOperationError(QStringLiteral("拉取文件夹"), response.status);
    // The body usually ends with the connection, so a cut-off archive looks complete to the
    // request: it is whole only with its end blocks and, when announced, all of its length.
    if (!extractor || (announced && received < *announced))
        throw TarArchive::TarError::truncated();
    extractor->finish();
    if (written)
        *written = extractor->digests();
}

void WiFiTransport::asLocalDiskError(const std::function<void()>& work)
{
    try {
        work();
    } catch (const std::system_error& error) {
        // what() is "<path>: <reason>"; the reason is told in the user's words.
        std::string path = error.what();
        const std::string reason = ": " + error.code().message();
        if (path.size() > reason.size() && path.ends_with(reason))
            path.resize(path.size() - reason.size());
        throw LocalDiskError(PartFile::writeFailureText(error.code().value(), QString::fromStdString(path)));
    }
}
