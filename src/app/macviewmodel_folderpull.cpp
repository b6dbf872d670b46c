// Pulling a folder: one archive when the phone offers it, else by walking its listings.
#include "app/macviewmodel.h"
#include "transport/diagnostics.h"
#include "transport/remotepath.h"

#include "archive/tararchive.h"
#include "common/offthread.h"
#include "transfers/transferverification.h"
#include "common/zorvaneerror.h"
#include "common/texttemplate.h"

#include <QCoroFuture>
#include <QCoroTimer>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <algorithm>

namespace {

// A file where the folder, or a folder above it, must go fails the pull before anything is
// downloaded, not after the whole folder has come twice.
void requireFolderCanBeMade(const QString& folder)
{
    const QFileInfo info = MacViewModel::nearestExisting(folder);
    if (!info.isDir())
        throw LocalDiskError(localizedFormat("无法创建文件夹：%@（该位置已有同名文件）", {info.absoluteFilePath()}));
    if (!info.isWritable())
        throw LocalDiskError(localizedFormat("无法创建文件夹：%@（没有写入权限）", {info.absoluteFilePath()}));
}

} // namespace

void MacViewModel::pullDirectory(const TransferEntry& entry)
{
    if (!m_localDirectory || !m_device)
        return;
    const QString remoteRoot = RemotePath::trimmed(entry.id);
    const QString localTarget = QDir(*m_localDirectory).filePath(entry.name);
    TransferTask* task = addTask(entry.name, TransferTask::Direction::pull, 0);
    enqueueTransfer(task, 0, [this, entry, remoteRoot, localTarget](ProgressCallback progress) -> QCoro::Task<void> {
        requireSafeEntryName(entry.name);
        requireFolderCanBeMade(localTarget);
        std::optional<TransferVerification::PhoneTree> phoneTree;
        QMap<QString, QString> written;
        const bool archived =
            co_await tryPullFolderAsTar(remoteRoot, localTarget, entry.name, progress, phoneTree, written);
        if (archived) {
            requireTransferGoesOn();
            const TransferVerification::PhoneTree asked = *phoneTree;
            const VerifyOutcome outcome = co_await TransferVerification::verifyTreeDigests(written, asked);
            reportVerification(outcome, entry.name);
            co_return;
        }
        const FolderPullPlan plan = co_await planFolderPull(remoteRoot);
        co_await preflightSpace(plan.total, false, entry.name, localTarget);
        co_await pullFolderFileByFile(plan, localTarget, progress);
        requireTransferGoesOn();
        const VerifyOutcome outcome = co_await TransferVerification::verifyTree(m_wifiTransport, localTarget, remoteRoot);
        reportVerification(outcome, entry.name);
    });
}

QCoro::Task<bool> MacViewModel::tryPullFolderAsTar(QString remoteRoot, QString into, QString itemName,
                                                   ProgressCallback progress,
                                                   std::optional<TransferVerification::PhoneTree>& phoneTree,
                                                   QMap<QString, QString>& written)
{
    const QPointer<MacViewModel> self(this);
    const ProgressCallback clamped = [progress](double value) { progress(std::clamp(value, 0.0, 1.0)); };
    const WiFiTransport::ArchiveAnnounced checkSpace = [this, itemName, into](std::optional<qint64> total) {
        if (!total)
            return;
        try {
            requireLocalSpace(*total, itemName, into);
        } catch (const ZorvaneError& error) {
            throw LocalDiskError(error.description());
        }
    };
    for (int attempt = 1;; ++attempt) {
        requireTransferGoesOn();
        // Once the phone has agreed to send the archive it is asked for its digests as well, so
        // it hashes while this computer unpacks: a pull leaves the phone's folder as it was.
        std::optional<QCoro::Task<TransferVerification::PhoneTree>> asking;
        const WiFiTransport::ArchiveAnnounced announced = [&](std::optional<qint64> total) {
            checkSpace(total);
            if (!phoneTree && !asking)
                asking.emplace(TransferVerification::askPhoneTree(m_wifiTransport, remoteRoot));
        };
        std::exception_ptr failure;
        QString text;
        bool final = false;
        try {
            // The retry unpacks over what the first attempt left: every file there is either
            // complete or as it was before.
            co_await m_wifiTransport.pullFolderTar(remoteRoot, into, clamped, announced, &written);
        } catch (const std::exception& error) {
            failure = std::current_exception();
            text = errorDescription(error);
            // The retry is for the network: this computer's disk, or an archive with a name that
            // leads out of the folder, would say the same again.
            const auto* tarError = dynamic_cast<const TarArchive::TarError*>(&error);
            final = dynamic_cast<const LocalDiskError*>(&error)
                    || (tarError && tarError->kind() == TarArchive::TarError::Kind::unsafePath);
        }
        if (asking) {
            auto& pending = *asking;
            phoneTree = co_await pending;
        }
        if (!failure)
            co_return true;
        if (final || !self)
            std::rethrow_exception(failure);
        if (text.contains(QLatin1String("404")))
            co_return false;
        if (attempt >= 2)
            std::rethrow_exception(failure);
        co_await pauseFor(m_wifiTransport.timings().retryPause);
        if (!self)
            std::rethrow_exception(failure);
    }
}

QCoro::Task<MacViewModel::FolderPullPlan> MacViewModel::planFolderPull(QString root)
{
    FolderPullPlan plan;
    const QString fromTheTop;
    co_await walkRemoteFolder(root, fromTheTop, plan);
    for (const auto& file : std::as_const(plan.files))
        plan.total += file.size;
    co_return plan;
}

QCoro::Task<void> MacViewModel::walkRemoteFolder(QString remotePath, QString relativePath, FolderPullPlan& plan)
{
    const QList<RemoteEntry> listed = co_await m_wifiTransport.listDirectory(remotePath);
    for (const RemoteEntry& child : listed) {
        // Every listed name becomes part of a local path: none may lead out of the target.
        requireSafeEntryName(child.name);
        const QString childRemote = RemotePath::join(remotePath, child.name);
        const QString childRelative = relativePath.isEmpty() ? child.name : relativePath + QLatin1Char('/') + child.name;
        if (child.isDirectory) {
            plan.dirs << childRelative;
            co_await walkRemoteFolder(childRemote, childRelative, plan);
        } else {
            plan.files.append({childRemote, childRelative, child.size});
        }
    }
}

QCoro::Task<void> MacViewModel::pullFolderFileByFile(FolderPullPlan plan, QString localTarget, ProgressCallback progress)
{
    const auto makeFolder = [](const QString& path) {
        if (!QDir().mkpath(path))
            throw PlatformError(localizedFormat("无法创建文件夹：%@", {path}));
    };
    makeFolder(localTarget);
    for (const QString& folder : std::as_const(plan.dirs))
        makeFolder(QDir(localTarget).filePath(folder));
    // Empty files are pulled too: they are files the folder holds.
    const double total = double(std::max<qint64>(plan.total, 1));
    qint64 done = 0;
    for (const auto& file : std::as_const(plan.files)) {
        requireTransferGoesOn();
        const qint64 before = done;
        const qint64 size = file.size;
        const ProgressCallback fileProgress = [progress, before, size, total](double x) {
            progress(std::min((double(before) + x * double(size)) / total, 1.0));
        };
        const QString target = QDir(localTarget).filePath(file.relativePath);
        const std::optional<qint64> expected = file.size;
        co_await m_wifiTransport.pullFile(file.remotePath, target, expected, fileProgress);
        done += file.size;
        progress(std::min(double(done) / total, 1.0));
    }
    progress(1.0);
}
