// Finding phones and connecting to them over WiFi or an iPhone's USB link: the list for the
// connection menu, the connect with its pairing prompt, and disconnecting.
#include "macviewmodel.h"

#include "transport/phoneaddress.h"
#include "transport/rememberedphones.h"
#include "transport/transporterror.h"

#include "common/languagemanager.h"
#include "common/zorvaneerror.h"

#include <QPointer>

namespace {

} // namespace

void MacViewModel::listenToDiscovery()
{
    // The transport may outlive a report's delivery only as a member of this object, so the
    // callbacks need no guard beyond the queued call's own context.
    m_wifiTransport.onDevicesChanged = [this](const QList<WiFiDeviceInfo>& devices) {
        QMetaObject::invokeMethod(
            this, [this, devices] { assign(m_wifiDevices, devices, &MacViewModel::wifiDevicesChanged); },
            Qt::QueuedConnection);
    };
    m_wifiTransport.onBrowseError = [this](const std::optional<QString>& text) {
        QMetaObject::invokeMethod(
            this, [this, text] { assign(m_wifiBrowseError, text.value_or(QString()), &MacViewModel::wifiBrowseErrorChanged); },
            Qt::QueuedConnection);
    };
}

void MacViewModel::startWiFiBrowsing()
{
    m_wifiTransport.startBrowsing();
}

QString MacViewModel::connectionKindText() const
{
    switch (m_wifiTransport.connectionKind()) {
    case WiFiTransport::ConnectionKind::wifi: return QStringLiteral("wifi");
    case WiFiTransport::ConnectionKind::usbBridge: return QStringLiteral("usbBridge");
    case WiFiTransport::ConnectionKind::adbTunnel: return QStringLiteral("adbTunnel");
    }
    return {};
}

void MacViewModel::setAddressedPhones(const QList<WiFiDeviceInfo>& phones)
{
    m_addressedPhones = phones;
    m_wifiTransport.setAddressedDevices(phones);
    // Listed at once as well, not only when the transport's report is delivered.
    QList<WiFiDeviceInfo> devices = m_wifiTransport.devices();
    assign(m_wifiDevices, devices, &MacViewModel::wifiDevicesChanged);
}

QCoro::Task<bool> MacViewModel::connectWiFiDevice(WiFiDeviceInfo info, std::optional<QString> pairingCode, bool viaUSB)
{
    const QPointer<MacViewModel> alive(this);
    assign(m_isConnectingWiFi, true, &MacViewModel::isConnectingWiFiChanged);
    assign(m_wifiErrorMessage, QString(), &MacViewModel::wifiErrorMessageChanged);
    // The earlier phone stays shown until this attempt has an outcome, but its connection ends now.
    if (m_device)
        m_wifiTransport.disconnect();

    std::optional<DeviceInfo> connected;
    std::optional<QString> failure;
    bool pairingDemanded = false;
    try {
        connected = co_await m_wifiTransport.connect(info, pairingCode, viaUSB);
    } catch (const std::exception& error) {
        pairingDemanded = TransportError::isPairingRequired(error);
        failure = errorDescription(error);
    }
    if (!alive)
        co_return false;

    if (connected) {
        if (!info.endpoint.isService())
            rememberAddressedPhone(info, connected->name);
        // A phone seen only on a USB link is a cable connection even when the link was not pinned.
        const bool viaCable = m_wifiTransport.usedUSBOnLastConnect() || info.usbOnly;
        co_await adoptConnection(*connected, viaCable);
        if (!alive)
            co_return false;
    } else if (pairingDemanded) {
        PairingPrompt prompt;
        prompt.deviceName = info.name;
        prompt.wifiInfo = info;
        prompt.viaUSB = viaUSB;
        askForPairingCode(prompt);
    } else {
        assign(m_connectedViaUSB, false, &MacViewModel::connectedViaUSBChanged);
        assign(m_wifiErrorMessage, *failure, &MacViewModel::wifiErrorMessageChanged);
    }
    assign(m_isConnectingWiFi, false, &MacViewModel::isConnectingWiFiChanged);
    co_return connected.has_value();
}

void MacViewModel::askForPairingCode(const PairingPrompt& prompt)
{
    // Told every time: each demand is a prompt of its own, and the sheet starts afresh.
    m_pairingPrompt = prompt;
    emit pairingPromptChanged();
}

void MacViewModel::rememberAddressedPhone(const WiFiDeviceInfo& info, const QString& phoneName)
{
    RememberedPhones::remember(info.id, phoneName);
    QList<WiFiDeviceInfo> phones = m_addressedPhones;
    phones.removeIf([&](const WiFiDeviceInfo& phone) { return phone.id == info.id; });
    WiFiDeviceInfo named = info;
    named.name = phoneName.isEmpty() ? info.id : phoneName;
    phones.prepend(named);
    setAddressedPhones(phones);
}

QCoro::Task<void> MacViewModel::submitPairingCode(QString code)
{
    if (!m_pairingPrompt)
        co_return;
    const PairingPrompt prompt = *m_pairingPrompt;
    const QPointer<MacViewModel> alive(this);
    assign(m_pairingError, QString(), &MacViewModel::pairingErrorChanged);

    // An Android prompt whose device is no longer listed makes no attempt.
    bool connected = false;
    if (prompt.androidSerial) {
        const auto listed = std::find_if(m_adbDevices.cbegin(), m_adbDevices.cend(),
                                         [&](const AdbBridge::Device& d) { return d.serial == *prompt.androidSerial; });
        if (listed != m_adbDevices.cend()) {
            const AdbBridge::Device device = *listed;
            std::optional<QString> given = code;
            connected = co_await connectAndroidDevice(device, given);
            if (!alive)
                co_return;
        }
    } else if (prompt.wifiInfo) {
        const WiFiDeviceInfo info = *prompt.wifiInfo;
        const bool viaUSB = prompt.viaUSB;
        std::optional<QString> given = code;
        connected = co_await connectWiFiDevice(info, given, viaUSB);
        if (!alive)
            co_return;
    }

    // Only this attempt's success closes the sheet: an earlier phone still shown must not hide a
    // wrong code.
    if (connected) {
        m_pairingPrompt.reset();
        emit pairingPromptChanged();
        assign(m_pairingError, QString(), &MacViewModel::pairingErrorChanged);
        co_return;
    }
    QString text = m_wifiErrorMessage;
    if (text.isEmpty())
        text = m_adbErrorMessage;
    if (text.isEmpty())
        text = localized("配对失败，请重试");
    assign(m_pairingError, text, &MacViewModel::pairingErrorChanged);
}

void MacViewModel::cancelPairing()
{
    m_pairingPrompt.reset();
    emit pairingPromptChanged();
    assign(m_pairingError, QString(), &MacViewModel::pairingErrorChanged);
}

void MacViewModel::disconnectWiFi()
{
    if (!m_device)
        return;
    m_wifiTransport.disconnect();
    removeAdbForward();
    assign(m_device, std::optional<DeviceInfo>(), &MacViewModel::deviceChanged);
    assign(m_connectedViaUSB, false, &MacViewModel::connectedViaUSBChanged);
    m_remoteItems.setEntries({});
    assign(m_remoteErrorMessage, QString(), &MacViewModel::remoteErrorMessageChanged);
    m_remoteStack.clear();
    setRemotePath(QStringLiteral("/"));
}

QCoro::Task<bool> MacViewModel::connectByAddress(QString host, int port, std::optional<QString> pairingCode)
{
    WiFiDeviceInfo info = RememberedPhones::entry(host, port);
    const auto listed = std::find_if(m_addressedPhones.cbegin(), m_addressedPhones.cend(),
                                     [&](const WiFiDeviceInfo& phone) { return phone.id == info.id; });
    if (listed != m_addressedPhones.cend()) {
        info = *listed;
    } else {
        QList<WiFiDeviceInfo> phones = m_addressedPhones;
        phones.prepend(info);
        setAddressedPhones(phones);
    }
    co_return co_await connectWiFiDevice(info, pairingCode, false);
}

void MacViewModel::forgetPhone(const QString& id)
{
    RememberedPhones::forget(id);
    QList<WiFiDeviceInfo> phones = m_addressedPhones;
    if (phones.removeIf([&](const WiFiDeviceInfo& phone) { return phone.id == id; }) > 0)
        setAddressedPhones(phones);
}

void MacViewModel::requestConnectWiFiDevice(const QString& id, bool viaUSB)
{
    for (const WiFiDeviceInfo& info : std::as_const(m_wifiDevices)) {
        if (info.id == id) {
            connectWiFiDevice(info, std::nullopt, viaUSB);
            return;
        }
    }
}

void MacViewModel::requestSubmitPairingCode(const QString& code)
{
    submitPairingCode(code);
}

bool MacViewModel::requestConnectAddress(const QString& text)
{
    const std::optional<PhoneAddress> address = PhoneAddress::parse(text);
    if (!address)
        return false;
    connectByAddress(address->host, address->port, std::nullopt);
    return true;
}
