#include "macviewmodel.h"

#include "transport/rememberedphones.h"

#include <QVariantMap>

MacViewModel::MacViewModel(TransportTimings timings, bool watchForPhones, QObject* parent)
    : QObject(parent), m_wifiTransport(timings)
{
    // Nothing connects by itself: the state starts empty and every change comes from an
    // operation the user starts.
    QObject::connect(this, &MacViewModel::deviceChanged, this, &MacViewModel::updateCanPasteRemote);
    QObject::connect(this, &MacViewModel::remoteClipboardChanged, this, &MacViewModel::updateCanPasteRemote);

    // The left pane reopens the folder chosen last time; when that fails it starts empty, without
    // an error, and the folder is tried again at the next launch.
    if (!restoreLocalDirectory())
        clearLocalDirectory();

    listenToDiscovery();
    // Phones reached by address before are listed from the start, found or not.
    setAddressedPhones(RememberedPhones::load());
    if (watchForPhones) {
        startWiFiBrowsing();
        startAdbWatching();
    }
}

QVariant MacViewModel::deviceValue() const
{
    if (!m_device)
        return {};
    return QVariantMap{
        {QStringLiteral("id"), m_device->id},
        {QStringLiteral("name"), m_device->name},
        {QStringLiteral("model"), m_device->model},
        {QStringLiteral("systemVersion"), m_device->systemVersion},
        {QStringLiteral("storageFree"), m_device->storageFree ? QVariant(*m_device->storageFree) : QVariant()},
        {QStringLiteral("platform"), m_device->platform},
        {QStringLiteral("gzip"), m_device->gzip},
        {QStringLiteral("fileCabinAvailable"), m_device->fileCabinAvailable},
    };
}

QVariantList MacViewModel::wifiDevicesValue() const
{
    QVariantList list;
    for (const WiFiDeviceInfo& info : m_wifiDevices) {
        list << QVariantMap{{QStringLiteral("id"), info.id},
                            {QStringLiteral("name"), info.name},
                            {QStringLiteral("isUSB"), info.isUSB},
                            {QStringLiteral("usbOnly"), info.usbOnly},
                            {QStringLiteral("interfaceName"), info.interfaceName.value_or(QString())},
                            // Reached by address, not found: the menu offers to forget it.
                            {QStringLiteral("byAddress"), !info.endpoint.isService()}};
    }
    return list;
}

QVariant MacViewModel::pairingPromptValue() const
{
    if (!m_pairingPrompt)
        return {};
    return QVariantMap{{QStringLiteral("id"), m_pairingPrompt->id.toString(QUuid::WithoutBraces)},
                       {QStringLiteral("deviceName"), m_pairingPrompt->deviceName},
                       {QStringLiteral("viaUSB"), m_pairingPrompt->viaUSB}};
}

QVariant MacViewModel::remoteClipboardValue() const
{
    if (!m_remoteClipboard)
        return {};
    QStringList ids;
    for (const TransferEntry& entry : m_remoteClipboard->entries)
        ids << entry.id;
    return QVariantMap{{QStringLiteral("ids"), ids}, {QStringLiteral("isCut"), m_remoteClipboard->isCut}};
}

void MacViewModel::setSelectedLocal(const QStringList& ids)
{
    assign(m_selectedLocal, ids, &MacViewModel::selectedLocalChanged);
}

void MacViewModel::setSelectedRemote(const QStringList& ids)
{
    assign(m_selectedRemote, ids, &MacViewModel::selectedRemoteChanged);
}

void MacViewModel::setRemoteActionError(const QString& text)
{
    assign(m_remoteActionError, text, &MacViewModel::remoteActionErrorChanged);
}
