#pragma once

#include "deviceinfo.h"
#include "common/filedigest.h"
#include "httpexchange.h"
#include "networkendpoint.h"
#include "queryencoding.h"
#include "remoteentry.h"
#include "transporttimings.h"
#include "wifideviceinfo.h"

#include "archive/tararchive.h"

#include <QCoroTask>
#include <QList>
#include <QMap>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class ServiceBrowser;

// What a file pull also does while the file arrives.
struct FilePullWatch
{
    // Called once the phone has agreed to send the file, before any of it arrives.
    std::function<void()> accepted;
    // Given every byte of the file as it is written, in order.
    FileDigest::Stream* written = nullptr;
};

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
    ~WiFiTransport() override;
    const TransportTimings& timings() const { return m_timings; }

    // Connection state (read by the view model and by tests).
    std::optional<NetworkEndpoint> endpoint() const { return m_endpoint; }
    std::optional<DeviceInfo> connectedDevice() const { return m_connectedDevice; }
    std::optional<QString> pinnedInterface() const { return m_pinnedInterface; }
    bool usedUSBOnLastConnect() const { return m_usedUSBOnLastConnect; }
    ConnectionKind connectionKind() const { return m_connectionKind; }
    // Changes whenever the transport lets go of its phone (a new connection begins by letting go
    // of the old one); the same while one connection lasts, a repaired cable tunnel included.
    quint64 connectionSerial() const { return m_connectionSerial; }
    // "WiFi", or the cable label looked up, for failure texts.
    QString connectionLabel() const;

    // Discovery results and failures, set by the view model. The list is complete each time:
    // the phones found, with the phones reached by address among them, in file-browser order.
    std::function<void(const QList<WiFiDeviceInfo>&)> onDevicesChanged;
    std::function<void(const std::optional<QString>&)> onBrowseError;
    static QString serviceType() { return QStringLiteral("_tarnivox._tcp"); }
    // Starts discovery, or starts it over; it runs from then on, restarting by itself.
    void startBrowsing();
    // Phones reached by address, listed with the discovered ones; reported at once.
    void setAddressedDevices(const QList<WiFiDeviceInfo>& devices);
    const QList<WiFiDeviceInfo>& devices() const { return m_devices; }
    bool isBrowsing() const { return m_browser != nullptr; }
    // True once the current browse has given its first complete list, or has failed.
    bool browseSettled() const { return m_browseSettled; }
    // Where a listed phone is reached now: a found phone's service looked up (routable links
    // first), a phone by address as it is. Fails as looking up fails.
    QCoro::Task<NetworkEndpoint> addressOf(WiFiDeviceInfo info);

    // Handshake and pairing.
    QCoro::Task<DeviceInfo> connect(WiFiDeviceInfo info, std::optional<QString> pairingCode, bool preferUSB);
    QCoro::Task<DeviceInfo> connect(QString host, int port, QString deviceID, QString deviceModel,
                                    std::optional<QString> pairingCode);
    void switchEndpoint(const QString& host, int port);
    QCoro::Task<void> ping();
    // The phone's free space as it says now (it changes as files arrive), kept in the connected
    // device's record too. Nothing when its answer does not say; fails as a request fails.
    QCoro::Task<std::optional<qint64>> currentStorageFree();
    void disconnect();

    // One HTTP exchange with the connected phone. Any status is a result; callers interpret it.
    QCoro::Task<HttpResponse> performRequest(QString method, QString apiPath, std::optional<QString> remotePath,
                                             RequestOptions options = {});

    // Ends every cancellable request under way (a transfer's; see RequestOptions) with a
    // CancelledError, those still finding their address included. Other requests go on.
    void cancelTransferRequests();

    static bool isUsablePort(int port) { return port >= 1 && port <= 65535; }

    // Remote file API. Remote paths are "/"-rooted strings of the phone's file cabin ("/DCIM/a.jpg").
    // Only status 200 counts as success; without a phone every operation fails with
    // deviceNotConnected before anything is sent.
    bool supportsFolderArchive() const { return true; }
    bool supportsFolderStreaming() const { return true; }

    // The entries in the phone's order; each id is the full remote path, folders ending in "/".
    QCoro::Task<QList<RemoteEntry>> listDirectory(QString path);
    QCoro::Task<void> createRemoteDirectory(QString path);
    // `to` travels whole as one query item (a "/" in it as %2F); the phone reads it.
    QCoro::Task<void> renameRemote(QString from, QString to);
    QCoro::Task<void> copyRemote(QString from, QString to);
    // The same request for a file and a folder.
    QCoro::Task<void> deleteRemote(QString path, bool isDirectory);
    // Streams the file in 256 KiB chunks; an empty file is an empty POST.
    QCoro::Task<void> pushFile(QString localPath, QString remotePath, ProgressCallback progress = {});
    // Downloads into a temporary file beside `localPath` and puts it in place only after a complete
    // answer 200; on any failure the temporary file is removed and an existing file is untouched.
    using PullWatch = FilePullWatch;
    QCoro::Task<void> pullFile(QString remotePath, QString localPath, std::optional<qint64> expectedSize = {},
                               ProgressCallback progress = {}, PullWatch watch = {});
    // Sends the folder's archive as it is produced, as one request of the archive's exact length.
    // `source` must outlive the task.
    QCoro::Task<void> pushFolderStreaming(TarArchive::TarStreamSource& source, QString remoteDir,
                                          ProgressCallback progress = {});
    // Told the archive's announced size, if any, once the phone has agreed to send it and before
    // anything is written; throws to refuse.
    using ArchiveAnnounced = std::function<void(std::optional<qint64> announcedTotal)>;
    // Unpacks the folder's archive into `localFolder` as it arrives (see TarExtractor: a file cut
    // off stays as it was). An archive without its end blocks or shorter than announced fails with
    // TarError::truncated, however the connection ended; a failure of this computer's disk is a
    // LocalDiskError.
    // With `written`, the digests of the files put in place come there (see
    // TarExtractor::digests()) once the whole archive is unpacked.
    QCoro::Task<void> pullFolderTar(QString remoteDir, QString localFolder, ProgressCallback progress = {},
                                    ArchiveAnnounced beforeUnpacking = {}, QMap<QString, QString>* written = nullptr);

    // The folder download's writer: hands `piece` to `append` and reports a write slower than 0.2 s
    // on stdout. A failure of `append` passes through.
    static void appendReportingSlowWrite(const BodyConsumer& append, const QByteArray& piece);
    // Runs `work`, turning a file-system failure (std::system_error) into a LocalDiskError.
    static void asLocalDiskError(const std::function<void()>& work);

    // SHA-256 digests, 64 lower-case hex characters. Nothing (not a failure) when the phone offers
    // no usable digest: no digest endpoint, no such file, or an answer of the wrong shape.
    QCoro::Task<std::optional<QString>> remoteFileSHA256(QString remotePath);
    // Path relative to `remoteDir`, as the phone sends it → digest.
    QCoro::Task<std::optional<QMap<QString, QString>>> remoteTreeSHA256(QString remoteDir);
    // The local side; blocking, for background threads. A set `abandon` stops the work early.
    static std::optional<QString> sha256Hex(const QString& filePath, const std::atomic<bool>* abandon = nullptr);
    static QMap<QString, QString> sha256Manifest(const QString& dirPath, const std::atomic<bool>* abandon = nullptr);

signals:
    // After every report of the list and every discovery failure (for callers that wait for the
    // first complete picture).
    void discoveryReported();

private:
    void restartBrowsing();
    void onBrowserFailed(const QString& reason);
    void reportDevices();
    // Where requests go now: the endpoint itself, or the address its service resolves to (once
    // per connection and interface).
    QCoro::Task<NetworkEndpoint> requestTarget();
    QCoro::Task<NetworkEndpoint> resolveService(NetworkEndpoint service, std::optional<QString> pinned);
    QCoro::Task<void> pair(QString code);
    // A POST without body (mkdir, rename, copy, delete) about `path`; its status.
    QCoro::Task<int> postWithoutBody(QString api, QString path, QueryItems query);
    // GET `api` about `remotePath` into `localPath` by way of a PartFile, which is put in place
    // only after a complete answer 200; the status. The first failed local write ends it with its
    // cause.
    QCoro::Task<int> download(QString api, QString remotePath, QString localPath, qint64 expectedTotal,
                              ProgressCallback progress, PullWatch watch);
    QCoro::Task<DeviceInfo> handshake(QString deviceID, QString deviceModel, std::optional<QString> pairingCode);
    void resetAfterFailedConnect();

    TransportTimings m_timings;
    std::optional<NetworkEndpoint> m_endpoint;
    std::optional<DeviceInfo> m_connectedDevice;
    std::optional<QString> m_pinnedInterface;
    bool m_usedUSBOnLastConnect = false;
    ConnectionKind m_connectionKind = ConnectionKind::wifi;
    quint64 m_connectionSerial = 0;
    // The cancellable requests under way, and how many times they were cancelled (a request still
    // finding its address compares it when it has).
    QList<QPointer<HttpExchange>> m_cancellable;
    quint64 m_cancelSerial = 0;
    // The resolved address of a service endpoint, and the pinned interface it was looked up for.
    std::optional<std::pair<NetworkEndpoint, std::optional<QString>>> m_resolved;

    std::unique_ptr<ServiceBrowser> m_browser;
    QTimer m_refreshTimer;
    QTimer m_retryTimer;
    QList<WiFiDeviceInfo> m_browsedDevices;
    QList<WiFiDeviceInfo> m_addressedDevices;
    QList<WiFiDeviceInfo> m_devices;
    bool m_browseSettled = false;
};
