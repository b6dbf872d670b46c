// SHA-256 digests of files and folder trees, on this computer and as the phone reports them.
#include "wifitransport.h"

#include "common/offthread.h"

#include <QCoroFuture>

#include "common/filedigest.h"
#include "transporterror.h"

#include "common/texttemplate.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

namespace {

constexpr qsizetype digestLength = 64;

// The phone's tree answer, or nothing when it is not of the expected shape.
std::optional<QMap<QString, QString>> decodeTree(const QByteArray& json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return std::nullopt;
    const QJsonValue files = document.object().value(QLatin1String("files"));
    if (!files.isArray())
        return std::nullopt;
    const QJsonArray elements = files.toArray();
    QMap<QString, QString> tree;
    for (const QJsonValue& element : elements) {
        if (!element.isObject())
            return std::nullopt;
    }
    for (const QJsonValue& element : elements) {
        const QJsonObject object = element.toObject();
        const QJsonValue path = object.value(QLatin1String("path"));
        const QJsonValue digest = object.value(QLatin1String("sha256"));
        if (path.isString() && digest.isString())
            tree.insert(path.toString(), digest.toString().toLower());
    }
    return tree;
}

} // namespace

QCoro::Task<std::optional<QString>> WiFiTransport::remoteFileSHA256(QString remotePath)
{
    // Arguments as named locals: g++ 12 mishandles temporaries built inside a co_await expression.
    const QString method = QStringLiteral("GET");
    const QString api = QStringLiteral("/hash");
    const std::optional<QString> remote = remotePath;
    // Asked as part of a transfer's check: cancelling the transfer ends it too.
    RequestOptions options;
    options.cancellable = true;
    const HttpResponse response = co_await performRequest(method, api, remote, std::move(options));
    if (response.status == 404)
        co_return std::nullopt;
    if (response.status != 200)
        throw TransportError::operationFailed(localizedFormat("读取远端哈希失败（HTTP %ld）", {response.status}));

    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(response.body);
    if (decoder.hasError())
        co_return std::nullopt;
    text = text.trimmed().toLower();
    if (text.size() != digestLength)
        co_return std::nullopt;
    co_return text;
}

QCoro::Task<std::optional<QMap<QString, QString>>> WiFiTransport::remoteTreeSHA256(QString remoteDir)
{
    const QString method = QStringLiteral("GET");
    const QString api = QStringLiteral("/hashTree");
    const std::optional<QString> remote = remoteDir;
    // Asked as part of a transfer's check: cancelling the transfer ends it too.
    RequestOptions options;
    options.cancellable = true;
    const HttpResponse response = co_await performRequest(method, api, remote, std::move(options));
    if (response.status == 404)
        co_return std::nullopt;
    if (response.status != 200)
        throw TransportError::operationFailed(
            localizedFormat("读取远端目录哈希失败（HTTP %ld）", {response.status}));
    // A large folder's answer takes a while to read: on the thread pool, not the window's thread.
    const QByteArray body = response.body;
    auto decoding = startOffThread([body] { return decodeTree(body); });
    co_return resultOf(co_await decoding);
}

std::optional<QString> WiFiTransport::sha256Hex(const QString& filePath, const std::atomic<bool>* abandon)
{
    return FileDigest::sha256Hex(filePath, abandon);
}

QMap<QString, QString> WiFiTransport::sha256Manifest(const QString& dirPath, const std::atomic<bool>* abandon)
{
    return FileDigest::sha256Manifest(dirPath, abandon);
}
