#pragma once

#include "deviceinfo.h"
#include "httpexchange.h"
#include "networkendpoint.h"
#include "queryencoding.h"
#include "transporttimings.h"
#include "wifideviceinfo.h"

#include <QCoroTask>
#include <QObject>

#include <functional>
#include <optional>

// This computer's client of the phone app's server: where the phone is, how it was reached, and
// every phone operation. One per process, owned by the view model; all of it runs on the thread
// that owns it, and every request has a TCP connection of its own.
class WiFiTransport : public QObject
{
    Q_OBJECT

public:
    enum class ConnectionKind { wifi, usbBridge, adbTunnel };
    Q_ENUM(ConnectionKind)

    explicit WiFiTransport(TransportTimings timings = {}, QObject* parent = nullptr);

    // Connection state (read by the view model and by tests).
    std::optional<NetworkEndpoint> endpoint() const { return m_endpoint; }
    std::optional<DeviceInfo> connectedDevice() const { return m_connectedDevice; }
    std::optional<QString> pinnedInterface() const { return m_pinnedInterface; }
    bool usedUSBOnLastConnect() const { return m_usedUSBOnLastConnect; }
    ConnectionKind connectionKind() const { return m_connectionKind; }
    // "WiFi", or the cable label looked up, for failure texts.
    QString connectionLabel() const;

    // Discovery results and failures, set by the view model.
    std::function<void(const QList<WiFiDeviceInfo>&)> onDevicesChanged;
    std::function<void(const std::optional<QString>&)> onBrowseError;

    // Handshake and pairing.
    QCoro::Task<DeviceInfo> connect(WiFiDeviceInfo info, std::optional<QString> pairingCode, bool preferUSB);
    QCoro::Task<DeviceInfo> connect(QString host, int port, QString deviceID, QString deviceModel,
                                    std::optional<QString> pairingCode);
    void switchEndpoint(const QString& host, int port);
    QCoro::Task<void> ping();
    void disconnect();

    // One HTTP exchange with the connected phone. Any status is a result; callers interpret it.
    QCoro::Task<HttpResponse> performRequest(QString method, QString apiPath, std::optional<QString> remotePath,
                                             QueryItems extraQuery = {}, std::optional<qint64> bodyLength = {},
                                             BodyProvider bodyProvider = {}, qint64 expectedTotal = 0,
                                             BodyConsumer onBody = {}, ProgressCallback progress = {});

    static bool isUsablePort(int port) { return port >= 1 && port <= 65535; }

private:
    QCoro::Task<void> pair(QString code);
    QCoro::Task<DeviceInfo> handshake(QString deviceID, QString deviceModel, std::optional<QString> pairingCode);
    void resetAfterFailedConnect();

    TransportTimings m_timings;
    std::optional<NetworkEndpoint> m_endpoint;
    std::optional<DeviceInfo> m_connectedDevice;
    std::optional<QString> m_pinnedInterface;
    bool m_usedUSBOnLastConnect = false;
    ConnectionKind m_connectionKind = ConnectionKind::wifi;
};
