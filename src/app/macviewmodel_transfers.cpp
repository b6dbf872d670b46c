// Starting transfers, the task runner and the free-space check.
#include "app/macviewmodel.h"

#include "transfers/transferverification.h"
#include "transport/diagnostics.h"
#include "transport/remotepath.h"
#include "transport/transporterror.h"
#include "common/zorvaneerror.h"
#include "common/bytecountformat.h"
#include "common/languagemanager.h"
#include "common/texttemplate.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QStorageInfo>
#include <QTimer>

#include <cstdio>

namespace {

constexpr qint64 spaceMargin = 64LL * 1024 * 1024;
// While more transfers wait behind, the panes are listed again at most this often: a batch of
// hundreds of small pushes must not relist a large folder after every one of them.
constexpr qint64 batchReloadInterval = 1000;

template <typename Items>
QList<TransferEntry> selectedInOrder(const Items& entries, const QStringList& selection)
{
    const QSet<QString> wanted(selection.begin(), selection.end());
    QList<TransferEntry> picked;
    for (const TransferEntry& entry : entries) {
        if (wanted.contains(entry.id))
            picked << entry;
    }
    return picked;
}

// The phone's digest of a file being pulled; once it is known to offer none, ours is not made
// either.
QCoro::Task<TransferVerification::PhoneFile> askPhoneDigest(WiFiTransport& transport, QString remotePath,
                                                            FileDigest::Stream& ours)
{
    auto asking = TransferVerification::askPhoneFile(transport, remotePath);
    const TransferVerification::PhoneFile answer = co_await asking;
    if (!answer.digest && !answer.requestError)
        ours.stop();
    co_return answer;
}

} // namespace

void MacViewModel::requireSafeEntryName(const QString& name)
{
    if (!RemotePath::isSafeName(name))
        throw TransportError::operationFailed(
            localizedFormat("手机端给出的名称「%@」不安全（可能指向所选文件夹之外），已拒绝写入本机", {name}));
}

void MacViewModel::pushSelected()
{
    const QList<TransferEntry> picked = selectedInOrder(m_localItems.entries(), m_selectedLocal);
    if (picked.isEmpty() || !m_device)
        return;
    for (const TransferEntry& entry : picked) {
        if (entry.isDirectory)
            pushDirectory(entry);
        else
            pushFile(entry);
    }
    setSelectedLocal({});
}

void MacViewModel::pullSelected()
{
    const QList<TransferEntry> picked = selectedInOrder(m_remoteItems.entries(), m_selectedRemote);
    if (picked.isEmpty() || !m_device)
        return;
    pull(picked);
    setSelectedRemote({});
}

void MacViewModel::pushURLs(const QStringList& paths)
{
    if (!m_device)
        return;
    for (const QString& dropped : paths) {
        const QString path = normalizedPath(dropped);
        const QFileInfo info(path);
        TransferEntry entry;
        entry.id = path;
        entry.name = info.fileName();
        entry.isDirectory = info.isDir();
        entry.size = info.isFile() ? info.size() : 0;
        entry.source = TransferEntry::Source::local;
        entry.url = path;
        if (entry.isDirectory)
            pushDirectory(entry);
        else
            pushFile(entry);
    }
}

void MacViewModel::pull(const QList<TransferEntry>& entries)
{
    for (const TransferEntry& entry : entries) {
        if (entry.isDirectory)
            pullDirectory(entry);
        else
            pullFile(entry);
    }
}

TransferTask* MacViewModel::addTask(const QString& name, TransferTask::Direction direction, qint64 size)
{
    auto* task = new TransferTask(name, direction, size);
    m_tasks.append(task);
    return task;
}

void MacViewModel::pushFile(const TransferEntry& entry)
{
    if (!entry.url)
        return;
    // Fixed now: opening another phone folder later does not move a queued push.
    const QString target = RemotePath::join(m_remotePath, entry.name);
    const QString localPath = *entry.url;
    TransferTask* task = addTask(entry.name, TransferTask::Direction::push, entry.size);
    enqueueTransfer(task, entry.size, [this, entry, localPath, target](ProgressCallback progress) -> QCoro::Task<void> {
        co_await preflightSpace(entry.size, true, entry.name);
        requireTransferGoesOn();
        co_await m_wifiTransport.pushFile(localPath, target, progress);
        requireTransferGoesOn();
        const VerifyOutcome outcome = co_await TransferVerification::verifyFile(m_wifiTransport, localPath, target);
        reportVerification(outcome, entry.name);
    });
}

void MacViewModel::pullFile(const TransferEntry& entry)
{
    if (!m_localDirectory || !m_device)
        return;
    const QString target = QDir(*m_localDirectory).filePath(entry.name);
    TransferTask* task = addTask(entry.name, TransferTask::Direction::pull, entry.size);
    enqueueTransfer(task, entry.size, [this, entry, target](ProgressCallback progress) -> QCoro::Task<void> {
        // The name came from the phone: it must not lead out of the chosen folder.
        requireSafeEntryName(entry.name);
        co_await preflightSpace(entry.size, false, entry.name, target);
        // Once the phone has agreed to send the file it is asked for its digest as well, so it
        // hashes while the file travels; ours is made from the bytes as they are written. A pull
        // leaves the phone's file as it was.
        FileDigest::Stream written;
        std::optional<QCoro::Task<TransferVerification::PhoneFile>> asking;
        WiFiTransport::PullWatch watch;
        watch.written = &written;
        watch.accepted = [&] {
            if (!asking)
                asking.emplace(askPhoneDigest(m_wifiTransport, entry.id, written));
        };
        std::exception_ptr failure;
        try {
            const std::optional<qint64> expected = entry.size;
            co_await m_wifiTransport.pullFile(entry.id, target, expected, progress, watch);
        } catch (...) {
            failure = std::current_exception();
        }
        TransferVerification::PhoneFile phone;
        if (asking) {
            auto& pending = *asking;
            phone = co_await pending;
        }
        if (failure)
            std::rethrow_exception(failure);
        requireTransferGoesOn();
        reportVerification(TransferVerification::compareFile(written.finish(), phone), entry.name);
    });
}

QCoro::Task<void> MacViewModel::preflightSpace(qint64 needed, bool onDevice, QString itemName, QString localTarget)
{
    if (needed <= 0)
        co_return;
    if (onDevice) {
        // The figure of this moment: earlier transfers in the queue have used up space since the
        // phone was connected.
        const QPointer<MacViewModel> alive(this);
        const std::optional<qint64> asked = co_await m_wifiTransport.currentStorageFree();
        if (!alive)
            throw TransportError::deviceNotConnected();
        std::optional<qint64> free = asked;
        if (asked && m_device && m_device->storageFree != asked) {
            DeviceInfo refreshed = *m_device;
            refreshed.storageFree = asked;
            assign(m_device, std::optional<DeviceInfo>(refreshed), &MacViewModel::deviceChanged);
        }
        if (free && *free < needed + spaceMargin)
            throw TransportError::operationFailed(
                localizedFormat("手机可用空间不足：「%@」需要 %@，手机仅剩 %@。请先在手机端清理空间后重试",
                                {itemName, formatByteCount(needed), formatByteCount(*free)}));
        co_return;
    }
    requireLocalSpace(needed, itemName, localTarget);
}

void MacViewModel::requireLocalSpace(qint64 needed, const QString& itemName, const QString& localTarget) const
{
    // The volume the pull writes to, fixed when it was requested, not the folder shown now.
    const QString target = localTarget.isEmpty() ? m_localDirectory.value_or(QDir::homePath()) : localTarget;
    // A pull's target folder may not have been made yet: its nearest existing folder tells.
    const QFileInfo existing = nearestExisting(target);
    const QStorageInfo volume(existing.isDir() ? existing.absoluteFilePath() : existing.absolutePath());
    if (!volume.isValid())
        return;
    const qint64 available = volume.bytesAvailable();
    if (available >= 0 && available < needed + spaceMargin)
        throw TransportError::operationFailed(
            localizedFormat("PC 磁盘可用空间不足：「%@」需要 %@，磁盘仅剩 %@。请先清理磁盘后重试",
                            {itemName, formatByteCount(needed), formatByteCount(available)}));
}

void MacViewModel::enqueueTransfer(TransferTask* task, qint64 size, TransferOperation operation)
{
    const QPointer<MacViewModel> self(this);
    const QPointer<TransferTask> queuedTask(task);
    // The phone this transfer is for: if it is gone when the turn comes, nothing is sent, and
    // certainly not to another phone connected meanwhile.
    const quint64 session = m_wifiTransport.connectionSerial();
    m_transferQueue.enqueue([self, queuedTask, size, operation, session]() -> QCoro::Task<void> {
        if (!self || !queuedTask)
            co_return;
        co_await self->run(queuedTask, size, operation, session);
    });
}

QCoro::Task<void> MacViewModel::run(QPointer<TransferTask> task, qint64 size, TransferOperation operation,
                                    quint64 session)
{
    Q_UNUSED(size)
    const QPointer<MacViewModel> self(this);
    // A tunnel dropped since the last poll is rebuilt before it is needed.
    if (task->isFinished())
        co_return;
    if (m_adbForward && m_device && session == m_wifiTransport.connectionSerial()) {
        co_await healAdbTunnel(false);
        if (!self || !task)
            co_return;
    }
    // Cancelled while it waited.
    if (task->isFinished())
        co_return;
    if (!m_device || session != m_wifiTransport.connectionSerial()) {
        task->setFailed(localized("手机已断开，未执行此传输"));
        co_await reloadPanesAfterTransfers();
        co_return;
    }
    task->setRunning();

    // Pings keep the phone app from treating a long transfer's connection as idle.
    QTimer keepAlive;
    keepAlive.setInterval(m_wifiTransport.timings().keepAliveInterval);
    QObject::connect(&keepAlive, &QTimer::timeout, this, [self] {
        if (self)
            self->pingIgnoringOutcome();
    });
    keepAlive.start();

    std::optional<QString> failure;
    m_runningSession = session;
    m_runningTask = task;
    m_runningCancelled = false;
    try {
        // Progress comes with every chunk and between files: where a transfer whose phone has
        // been replaced stops, the request under way included.
        const ProgressCallback progress = [self, task](double value) {
            if (self)
                self->requireTransferGoesOn();
            if (task && task->status() == TransferTask::Status::running)
                task->setProgress(value);
        };
        co_await operation(progress);
    } catch (const std::exception& error) {
        failure = errorDescription(error);
    }
    if (!self || !task)
        co_return;
    m_runningSession.reset();
    m_runningTask.clear();

    if (m_runningCancelled) {
        // Whatever the operation made of it: the user asked for it to stop. Nothing is wrong with
        // the phone, so it is not pinged; an upload cut off or a folder half unpacked may have
        // changed the panes.
        m_runningCancelled = false;
        task->setFailed(CancelledError().description());
        m_panesOutdated = true;
        co_await reloadPanesAfterTransfers();
        co_return;
    }

    if (!failure) {
        task->setSuccess();
        task->setProgress(1.0);
        m_panesOutdated = true;
        co_await reloadPanesAfterTransfers();
        co_return;
    }

    task->setFailed(*failure);
    // A failed ping is what tells a vanished phone from a refused transfer.
    bool reachable = true;
    try {
        co_await m_wifiTransport.ping();
    } catch (const std::exception&) {
        reachable = false;
    }
    if (!self)
        co_return;
    if (!reachable && m_device && session == m_wifiTransport.connectionSerial()) {
        // A cable tunnel that vanished under the transfer is rebuilt; the transfer itself is not
        // repeated behind the user's back.
        if (m_adbForward && co_await healAdbTunnel(true)) {
            if (self && task)
                task->setFailed(localized("传输中断：数据线通道已自动重建，请重新发起本次传输"));
        } else if (self && m_device && session == m_wifiTransport.connectionSerial()) {
            declareConnectionLost();
        }
        if (!self)
            co_return;
    }
    co_await reloadPanesAfterTransfers();
}

void MacViewModel::requireTransferGoesOn() const
{
    if (m_runningCancelled)
        throw CancelledError();
    if (m_runningSession && *m_runningSession != m_wifiTransport.connectionSerial())
        throw TransportError::operationFailed(localized("连接的手机已断开或已更换，此传输已停止"));
}

QCoro::Task<void> MacViewModel::reloadPanesAfterTransfers()
{
    if (!m_panesOutdated)
        co_return;
    const bool moreBehind = m_transferQueue.hasWaiting();
    if (moreBehind && m_lastTransferReload.isValid() && !m_lastTransferReload.hasExpired(batchReloadInterval))
        co_return;
    m_panesOutdated = false;
    m_lastTransferReload.start();
    const QPointer<MacViewModel> self(this);
    if (m_device)
        co_await reloadRemote();
    if (self)
        co_await reloadLocalDirectoryInBackground();
}

void MacViewModel::declareConnectionLost()
{
    const bool overCable = m_wifiTransport.connectionKind() == WiFiTransport::ConnectionKind::adbTunnel;
    // The address is no longer a phone of ours: nothing queued may spend a watchdog on it.
    m_wifiTransport.disconnect();
    assign(m_device, std::optional<DeviceInfo>(), &MacViewModel::deviceChanged);
    assign(m_connectedViaUSB, false, &MacViewModel::connectedViaUSBChanged);
    if (overCable)
        assign(m_remoteErrorMessage,
               localized("数据线通道已断开：请确认手机端 Zorvane 仍在前台运行，然后重新连接。"),
               &MacViewModel::remoteErrorMessageChanged);
    else
        assign(m_wifiErrorMessage, localized("WiFi 连接已断开（手机可能锁屏或退出了 Zorvane），请重新从菜单连接"),
               &MacViewModel::wifiErrorMessageChanged);
}

void MacViewModel::pingIgnoringOutcome()
{
    [](QPointer<MacViewModel> self) -> QCoro::Task<void> {
        try {
            if (self)
                co_await self->m_wifiTransport.ping();
        } catch (...) {
            // Only keeps the connection warm; a failure shows in the transfer itself.
        }
    }(this);
}

void MacViewModel::clearFinishedTasks()
{
    m_tasks.removeIf([](const TransferTask* task) { return task->isFinished(); });
}

void MacViewModel::cancelTask(const QString& taskId)
{
    for (TransferTask* task : m_tasks.tasks()) {
        if (task->idText() != taskId || task->isFinished())
            continue;
        if (task == m_runningTask) {
            if (m_runningCancelled)
                return;
            m_runningCancelled = true;
            m_wifiTransport.cancelTransferRequests();
        } else if (task->status() == TransferTask::Status::waiting) {
            // Its turn comes and passes without a request.
            task->setFailed(CancelledError().description());
        }
        return;
    }
}

void MacViewModel::cancelAllTasks()
{
    // Waiting ones first: the running one's end would otherwise start the next.
    const QList<TransferTask*> tasks = m_tasks.tasks();
    for (TransferTask* task : tasks) {
        if (task != m_runningTask)
            cancelTask(task->idText());
    }
    if (m_runningTask)
        cancelTask(m_runningTask->idText());
}

void MacViewModel::reportVerification(const VerifyOutcome& outcome, const QString& item)
{
    // A cancelled transfer reports no check, whatever the check found.
    requireTransferGoesOn();
    const QString line = outcome.reportLine(item);
    Diagnostics::writeVerification(line);
    m_verificationResults << line;
    while (m_verificationResults.size() > maxVerificationResults)
        m_verificationResults.removeFirst();
    emit verificationResultsChanged();
    emit transferVerified(item, outcome);
}
