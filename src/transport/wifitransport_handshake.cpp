// Connecting, pairing and ending a connection.
#include "wifitransport.h"

#include "jsoninteger.h"
#include "serverinfo.h"
#include "transporterror.h"

#include "common/languagemanager.h"
#include "common/texttemplate.h"
#include "common/zorvaneerror.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

bool isPairingRequired(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const TransportError& e) {
        return e.kind() == TransportError::Kind::pairingRequired;
    } catch (...) {
        return false;
    }
}

} // namespace

QCoro::Task<void> WiFiTransport::pair(QString code)
{
    // Arguments as named locals: g++ 12 mishandles temporaries built inside a co_await expression.
    RequestOptions options;
    options.query = {{QStringLiteral("code"), code}};
    options.bodyLength = 0;
    const QString method = QStringLiteral("POST");
    const QString path = QStringLiteral("/pair");
    const HttpResponse response = co_await performRequest(method, path, std::nullopt, std::move(options));
    if (response.status == 200)
        co_return;
    if (response.status == 403)
        throw TransportError::operationFailed(
            localized("配对码不正确，请核对手机上「连接管理」里显示的 6 位数字"));
    throw TransportError::operationFailed(localizedFormat("配对失败（HTTP %ld）", {response.status}));
}

QCoro::Task<DeviceInfo> WiFiTransport::handshake(QString deviceID, QString deviceModel,
                                                 std::optional<QString> pairingCode)
{
    if (pairingCode)
        co_await pair(*pairingCode);
    if (!m_endpoint)
        throw TransportError::deviceNotConnected();
    const QString method = QStringLiteral("GET");
    const QString path = QStringLiteral("/info");
    const HttpResponse response = co_await performRequest(method, path, std::nullopt);
    if (response.status == 401)
        throw TransportError::pairingRequired();
    // Every phone answers /info; a server that does not, or answers something else than the
    // phone's description, is some other program at that address.
    const QString address = m_endpoint->debugDescription();
    if (response.status == 404)
        throw TransportError::operationFailed(
            localizedFormat("%@ 上的服务不是手机的文件服务（/info 答复 HTTP 404）", {address}));
    if (response.status != 200)
        throw TransportError::operationFailed(localizedFormat("握手失败（HTTP %ld）", {response.status}));
    std::optional<ServerInfo> decoded;
    try {
        decoded = ServerInfo::decode(response.body);
    } catch (const ZorvaneError& error) {
        throw TransportError::operationFailed(
            localizedFormat("%@ 上的服务不像手机的文件服务：%@", {address, error.description()}));
    }
    const ServerInfo& server = *decoded;
    DeviceInfo device;
    device.id = deviceID;
    device.name = server.name;
    device.model = deviceModel;
    device.systemVersion = server.systemVersion;
    device.storageFree = server.storageFree;
    device.platform = server.platform;
    device.gzip = server.gzip;
    device.fileCabinAvailable = true;
    m_connectedDevice = device;
    co_return device;
}

void WiFiTransport::resetAfterFailedConnect()
{
    m_resolved.reset();
    m_endpoint.reset();
    m_pinnedInterface.reset();
    m_connectedDevice.reset();
    m_usedUSBOnLastConnect = false;
}

QCoro::Task<DeviceInfo> WiFiTransport::connect(WiFiDeviceInfo info, std::optional<QString> pairingCode,
                                               bool preferUSB)
{
    disconnect();
    m_endpoint = info.endpoint;
    m_connectionKind = preferUSB ? ConnectionKind::usbBridge : ConnectionKind::wifi;
    const QString model = QStringLiteral("WiFi");

    if (preferUSB && info.usbInterface) {
        m_pinnedInterface = info.usbInterface;
        std::exception_ptr usbFailure;
        try {
            DeviceInfo device = co_await handshake(info.id, model, pairingCode);
            m_usedUSBOnLastConnect = true;
            m_connectionKind = ConnectionKind::usbBridge;
            co_return device;
        } catch (...) {
            usbFailure = std::current_exception();
        }
        if (isPairingRequired(usbFailure)) {
            resetAfterFailedConnect();
            std::rethrow_exception(usbFailure);
        }
        // The USB link did not answer: the same service over WiFi.
    }

    m_pinnedInterface.reset();
    try {
        DeviceInfo device = co_await handshake(info.id, model, pairingCode);
        m_usedUSBOnLastConnect = false;
        m_connectionKind = ConnectionKind::wifi;
        co_return device;
    } catch (...) {
        resetAfterFailedConnect();
        throw;
    }
}

QCoro::Task<DeviceInfo> WiFiTransport::connect(QString host, int port, QString deviceID, QString deviceModel,
                                               std::optional<QString> pairingCode)
{
    disconnect();
    if (!isUsablePort(port))
        throw TransportError::operationFailed(localizedFormat("本地转发端口无效：%@", {QString::number(port)}));
    m_endpoint = NetworkEndpoint::hostAndPort(host, quint16(port));
    m_pinnedInterface.reset();
    m_connectionKind = ConnectionKind::adbTunnel;
    try {
        co_return co_await handshake(deviceID, deviceModel, pairingCode);
    } catch (...) {
        m_endpoint.reset();
        m_connectedDevice.reset();
        throw;
    }
}

void WiFiTransport::switchEndpoint(const QString& host, int port)
{
    if (!isUsablePort(port))
        return;
    m_endpoint = NetworkEndpoint::hostAndPort(host, quint16(port));
    m_connectionKind = ConnectionKind::adbTunnel;
    m_pinnedInterface.reset();
}

QCoro::Task<void> WiFiTransport::ping()
{
    if (!m_endpoint)
        throw TransportError::deviceNotConnected();
    // Any answer at all proves the phone is there.
    const QString method = QStringLiteral("GET");
    const QString path = QStringLiteral("/info");
    co_await performRequest(method, path, std::nullopt);
}

QCoro::Task<std::optional<qint64>> WiFiTransport::currentStorageFree()
{
    const QString method = QStringLiteral("GET");
    const QString path = QStringLiteral("/info");
    const HttpResponse response = co_await performRequest(method, path, std::nullopt);
    if (response.status == 401)
        throw TransportError::pairingRequired();
    if (response.status != 200)
        throw TransportError::operationFailed(localizedFormat("读取手机可用空间失败（HTTP %ld）", {response.status}));
    const std::optional<qint64> free =
        jsonInteger(QJsonDocument::fromJson(response.body).object().value(QLatin1String("storageFree")));
    if (free && m_connectedDevice)
        m_connectedDevice->storageFree = free;
    co_return free;
}

void WiFiTransport::disconnect()
{
    ++m_connectionSerial;
    m_resolved.reset();
    m_connectedDevice.reset();
    m_endpoint.reset();
    m_pinnedInterface.reset();
    m_usedUSBOnLastConnect = false;
}
