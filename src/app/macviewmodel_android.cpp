// Android phones on a USB cable: the adb poll, connecting through a port forward, and keeping the
// tunnel alive.
#include "macviewmodel.h"

#include "transport/transporterror.h"

#include "common/languagemanager.h"
#include "common/offthread.h"
#include "common/zorvaneerror.h"

#include <QCoroFuture>
#include <QPointer>
#include <QVariantMap>

namespace {

QString deviceShownName(const AdbBridge::Device& device)
{
    return device.model.isEmpty() ? device.serial : device.model;
}

} // namespace

QVariantList MacViewModel::adbDevicesValue() const
{
    QVariantList list;
    for (const AdbBridge::Device& device : m_adbDevices) {
        list << QVariantMap{{QStringLiteral("serial"), device.serial},
                            {QStringLiteral("model"), device.model},
                            {QStringLiteral("name"), deviceShownName(device)},
                            {QStringLiteral("state"), AdbBridge::rawValue(device.state)},
                            {QStringLiteral("ready"), device.state == AdbBridge::DeviceState::ready}};
    }
    return list;
}

void MacViewModel::startAdbWatching()
{
    if (m_adbPollTimer)
        return;
    if (AdbBridge::isSandboxed()) {
        assign(m_adbUnavailableReason, AdbBridge::AdbError(AdbBridge::AdbError::Kind::sandboxed).description(),
               &MacViewModel::adbUnavailableReasonChanged);
        return;
    }
    if (!m_adbPool) {
        m_adbPool = std::make_unique<QThreadPool>();
        // Runs queue behind one another in the bridge; more threads only wait there.
        m_adbPool->setMaxThreadCount(4);
    }
    refreshAdbDevices();
    if (!m_adbUnavailableReason.isEmpty())
        return;
    m_adbPollTimer = std::make_unique<QTimer>();
    m_adbPollTimer->setInterval(m_wifiTransport.timings().adbPoll);
    QObject::connect(m_adbPollTimer.get(), &QTimer::timeout, this, &MacViewModel::refreshAdbDevices);
    m_adbPollTimer->start();
}

void MacViewModel::refreshAdbDevices()
{
    if (!m_adbUnavailableReason.isEmpty())
        return;
    // A poll still waiting for a slow adb is not joined by another: they would only pile up
    // behind the tool, one more every interval.
    if (m_adbPollRunning)
        return;
    m_adbPollRunning = true;
    ++m_adbHealthTick;
    const bool check = m_adbHealthTick % 3 == 0;
    const std::optional<QPair<QString, quint16>> forward = m_adbForward;
    AdbBridge* bridge = m_adbBridge;
    struct PollResult
    {
        QList<AdbBridge::Device> devices;
        bool healthy = true;
    };
    auto polling = startOffThread(
        [bridge, check, forward] {
            PollResult result;
            result.devices = bridge->listDevices();
            if (check && forward)
                result.healthy = bridge->hasForward(forward->first, forward->second);
            return result;
        },
        m_adbPool.get());
    [](QPointer<MacViewModel> self, auto polling) -> QCoro::Task<void> {
        auto outcome = co_await polling;
        if (!self)
            co_return;
        self->m_adbPollRunning = false;
        if (outcome.failure) {
            self->applyAdbPollFailure(outcome.failure);
            co_return;
        }
        self->applyAdbPoll(outcome.value->devices, outcome.value->healthy);
    }(QPointer<MacViewModel>(this), std::move(polling));
}

void MacViewModel::applyAdbPoll(const QList<AdbBridge::Device>& devices, bool forwardHealthy)
{
    if (m_adbDevices != devices) {
        m_adbDevices = devices;
        emit adbDevicesChanged();
    }
    // An empty list keeps whatever the last problem was.
    if (!devices.isEmpty()) {
        const bool unauthorized = std::any_of(devices.cbegin(), devices.cend(), [](const AdbBridge::Device& d) {
            return d.state == AdbBridge::DeviceState::unauthorized;
        });
        assign(m_adbErrorMessage,
               unauthorized ? AdbBridge::AdbError(AdbBridge::AdbError::Kind::unauthorized).description() : QString(),
               &MacViewModel::adbErrorMessageChanged);
    }
    if (!forwardHealthy)
        healAdbTunnel(false);
}

void MacViewModel::applyAdbPollFailure(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const AdbBridge::AdbError& error) {
        const auto kind = error.kind();
        if (kind == AdbBridge::AdbError::Kind::sandboxed || kind == AdbBridge::AdbError::Kind::binaryNotFound) {
            assign(m_adbUnavailableReason, error.description(), &MacViewModel::adbUnavailableReasonChanged);
            m_adbPollTimer.reset();
        }
        assign(m_adbErrorMessage, error.description(), &MacViewModel::adbErrorMessageChanged);
    } catch (const std::exception& error) {
        assign(m_adbErrorMessage, errorDescription(error), &MacViewModel::adbErrorMessageChanged);
    }
}

void MacViewModel::removeAdbForward()
{
    if (!m_adbForward)
        return;
    const QPair<QString, quint16> forward = *m_adbForward;
    m_adbForward.reset();
    m_adbBridge->removeForward(forward.first, forward.second);
}

QCoro::Task<bool> MacViewModel::connectAndroidDevice(AdbBridge::Device device, std::optional<QString> pairingCode)
{
    if (device.state != AdbBridge::DeviceState::ready) {
        const QString text = device.state == AdbBridge::DeviceState::unauthorized
                                 ? AdbBridge::AdbError(AdbBridge::AdbError::Kind::unauthorized).description()
                                 : localized("安卓设备不可用（") + AdbBridge::rawValue(device.state)
                                       + localized("），请重新插拔数据线后重试。");
        assign(m_adbErrorMessage, text, &MacViewModel::adbErrorMessageChanged);
        co_return false;
    }
    const QPointer<MacViewModel> alive(this);
    assign(m_isConnectingWiFi, true, &MacViewModel::isConnectingWiFiChanged);
    assign(m_adbErrorMessage, QString(), &MacViewModel::adbErrorMessageChanged);
    if (m_device) {
        m_wifiTransport.disconnect();
        removeAdbForward();
    }

    std::optional<DeviceInfo> connected;
    std::optional<QString> failure;
    bool pairingDemanded = false;
    try {
        AdbBridge* bridge = m_adbBridge;
        const QString serial = device.serial;
        auto creating = startOffThread(
            [bridge, serial] { return bridge->createForward(serial, AdbBridge::phoneAppPort, std::nullopt); },
            m_adbPool ? m_adbPool.get() : nullptr);
        const quint16 port = resultOf(co_await creating);
        if (!alive)
            co_return false;
        m_adbForward = qMakePair(device.serial, port);
        const QString host = AdbBridge::tunnelHost();
        const QString deviceID = QStringLiteral("adb:") + device.serial;
        const QString model = deviceShownName(device);
        connected = co_await m_wifiTransport.connect(host, int(port), deviceID, model, pairingCode);
    } catch (const std::exception& error) {
        pairingDemanded = TransportError::isPairingRequired(error);
        failure = errorDescription(error);
    }
    if (!alive)
        co_return false;

    if (connected) {
        co_await adoptConnection(*connected, true);
        if (!alive)
            co_return false;
    } else if (pairingDemanded) {
        PairingPrompt prompt;
        prompt.deviceName = deviceShownName(device);
        prompt.viaUSB = true;
        prompt.androidSerial = device.serial;
        askForPairingCode(prompt);
    } else {
        // The forward made for this attempt stays recorded; the health check goes on looking at it.
        assign(m_connectedViaUSB, false, &MacViewModel::connectedViaUSBChanged);
        assign(m_adbErrorMessage, *failure, &MacViewModel::adbErrorMessageChanged);
    }
    assign(m_isConnectingWiFi, false, &MacViewModel::isConnectingWiFiChanged);
    co_return connected.has_value();
}

QCoro::Task<bool> MacViewModel::healAdbTunnel(bool force)
{
    if (!m_adbForward || m_isHealingTunnel)
        co_return false;
    // Only a connection that runs through the tunnel is repaired: re-pointing a phone reached
    // over WiFi (or one being connected) at a cable's forward would send its files to another
    // phone. A forward left by a failed attempt is only watched.
    if (!m_device || m_isConnectingWiFi
        || m_wifiTransport.connectionKind() != WiFiTransport::ConnectionKind::adbTunnel)
        co_return false;
    m_isHealingTunnel = true;
    const QPointer<MacViewModel> alive(this);
    const QString serial = m_adbForward->first;
    const quint16 recordedPort = m_adbForward->second;
    AdbBridge* bridge = m_adbBridge;
    QThreadPool* pool = m_adbPool ? m_adbPool.get() : nullptr;

    if (!force) {
        auto checking = startOffThread([bridge, serial, recordedPort] { return bridge->hasForward(serial, recordedPort); },
                                       pool);
        const bool present = resultOf(co_await checking);
        if (!alive)
            co_return false;
        if (present) {
            m_isHealingTunnel = false;
            co_return true;
        }
    }

    std::optional<QString> failure;
    try {
        auto creating = startOffThread(
            [bridge, serial, recordedPort] {
                return bridge->createForward(serial, AdbBridge::phoneAppPort, recordedPort);
            },
            pool);
        const quint16 port = resultOf(co_await creating);
        if (!alive)
            co_return false;
        m_adbForward = qMakePair(serial, port);
        m_wifiTransport.switchEndpoint(AdbBridge::tunnelHost(), int(port));
        co_await m_wifiTransport.ping();
    } catch (const std::exception& error) {
        failure = errorDescription(error);
    }
    if (!alive)
        co_return false;
    m_isHealingTunnel = false;
    if (failure) {
        assign(m_adbErrorMessage, *failure, &MacViewModel::adbErrorMessageChanged);
        co_return false;
    }
    assign(m_connectedViaUSB, true, &MacViewModel::connectedViaUSBChanged);
    assign(m_adbErrorMessage, QString(), &MacViewModel::adbErrorMessageChanged);
    co_return true;
}

void MacViewModel::requestConnectAndroidDevice(const QString& serial)
{
    for (const AdbBridge::Device& device : std::as_const(m_adbDevices)) {
        if (device.serial == serial) {
            connectAndroidDevice(device, std::nullopt);
            return;
        }
    }
}
