// The right pane: which folder of the phone's file cabin it shows, and its listing.
#include "macviewmodel.h"

#include "transport/remoteentry.h"
#include "transport/remotepath.h"
#include "common/zorvaneerror.h"

#include <QPointer>

namespace {

TransferEntry paneEntry(const RemoteEntry& remote)
{
    TransferEntry entry;
    entry.id = remote.id;
    entry.name = remote.name;
    entry.isDirectory = remote.isDirectory;
    entry.size = remote.size;
    entry.source = TransferEntry::Source::device;
    return entry;
}

} // namespace

void MacViewModel::setRemotePath(const QString& path)
{
    assign(m_remotePath, path, &MacViewModel::remotePathChanged);
}

std::optional<TransferEntry> MacViewModel::remoteEntryWithId(const QString& id) const
{
    for (const TransferEntry& entry : m_remoteItems.entries()) {
        if (entry.id == id)
            return entry;
    }
    return std::nullopt;
}

QCoro::Task<void> MacViewModel::adoptConnection(DeviceInfo device, bool viaUSB)
{
    assign(m_device, std::optional<DeviceInfo>(std::move(device)), &MacViewModel::deviceChanged);
    assign(m_connectedViaUSB, viaUSB, &MacViewModel::connectedViaUSBChanged);
    m_remoteStack.clear();
    setRemotePath(QStringLiteral("/"));
    setSelectedRemote({});
    co_await reloadRemote();
}

QCoro::Task<void> MacViewModel::loadRemoteDirectory(QString path)
{
    // Listings are not cancelled: when two overlap, the one that finishes last decides the rows.
    // Rows carry their full remote paths, so acting on one always reaches the entry it shows.
    const QPointer<MacViewModel> alive(this);
    QList<TransferEntry> entries;
    std::optional<QString> failure;
    try {
        const QList<RemoteEntry> listed = co_await m_wifiTransport.listDirectory(path);
        for (const RemoteEntry& remote : listed)
            entries << paneEntry(remote);
    } catch (const std::exception& error) {
        failure = errorDescription(error);
    }
    if (!alive)
        co_return;
    if (failure) {
        m_remoteItems.setEntries({});
        assign(m_remoteErrorMessage, *failure, &MacViewModel::remoteErrorMessageChanged);
    } else {
        m_remoteItems.setEntries(std::move(entries));
        assign(m_remoteErrorMessage, QString(), &MacViewModel::remoteErrorMessageChanged);
    }
}

QCoro::Task<void> MacViewModel::enterRemoteDirectory(TransferEntry entry)
{
    if (!entry.isDirectory)
        co_return;
    m_remoteStack << m_remotePath;
    setRemotePath(RemotePath::trimmed(entry.id));
    setSelectedRemote({});
    co_await reloadRemote();
}

QCoro::Task<void> MacViewModel::goRemoteBack()
{
    if (m_remoteStack.isEmpty())
        co_return;
    setRemotePath(m_remoteStack.takeLast());
    setSelectedRemote({});
    co_await reloadRemote();
}

QCoro::Task<void> MacViewModel::goRemoteTo(QString path)
{
    const qsizetype index = m_remoteStack.indexOf(path);
    if (index >= 0)
        m_remoteStack.resize(index);
    else
        m_remoteStack.clear();
    setRemotePath(path);
    setSelectedRemote({});
    co_await loadRemoteDirectory(path);
}

QCoro::Task<void> MacViewModel::goRemoteRoot()
{
    m_remoteStack.clear();
    setRemotePath(QStringLiteral("/"));
    setSelectedRemote({});
    co_await reloadRemote();
}

QCoro::Task<void> MacViewModel::reloadRemote()
{
    // A named local: g++ 12 mishandles temporaries built inside a co_await expression.
    const QString path = m_remotePath;
    co_await loadRemoteDirectory(path);
}

// The view entry points start the work and return; loadRemoteDirectory keeps every failure to
// itself, so nothing can escape the dropped task.
void MacViewModel::openRemoteEntry(const QString& entryId)
{
    if (const std::optional<TransferEntry> entry = remoteEntryWithId(entryId))
        enterRemoteDirectory(*entry);
}

void MacViewModel::requestRemotePath(const QString& path)
{
    goRemoteTo(path);
}

void MacViewModel::requestRemoteBack()
{
    goRemoteBack();
}

void MacViewModel::requestRemoteRoot()
{
    goRemoteRoot();
}

void MacViewModel::requestRemoteReload()
{
    reloadRemote();
}
