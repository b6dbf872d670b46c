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
#include <QFile>
#include <QPointer>
#include <QTimer>
#include <QUuid>

#include <algorithm>

namespace {

// Removes the pull's temporary archive however the attempts end.
struct TemporaryArchive
{
    QString path = QDir(QDir::tempPath())
                       .filePath(QStringLiteral("qvx-pull-")
                                 + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper()
                                 + QStringLiteral(".tar"));
    ~TemporaryArchive() { QFile::remove(path); }
};

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
        std::optional<TransferVerification::PhoneTree> phoneTree;
        const bool archived = co_await tryPullFolderAsTar(remoteRoot, localTarget, progress, phoneTree);
        if (archived) {
            // The archive route asked the phone's side while unpacking.
            const TransferVerification::PhoneTree asked = *phoneTree;
            const VerifyOutcome outcome = co_await TransferVerification::verifyTreeAgainst(localTarget, asked);
            reportVerification(outcome, entry.name);
            co_return;
        }
        const FolderPullPlan plan = co_await planFolderPull(remoteRoot);
        co_await preflightSpace(plan.total, false, entry.name, localTarget);
        co_await pullFolderFileByFile(plan, localTarget, progress);
        if (plan.total <= 0)
            co_return;
        const VerifyOutcome outcome = co_await TransferVerification::verifyTree(m_wifiTransport, localTarget, remoteRoot);
        reportVerification(outcome, entry.name);
    });
}

QCoro::Task<bool> MacViewModel::tryPullFolderAsTar(QString remoteRoot, QString into, ProgressCallback progress,
                                                   std::optional<TransferVerification::PhoneTree>& phoneTree)
{
    const TemporaryArchive archive;
    const QPointer<MacViewModel> self(this);
    const ProgressCallback clamped = [progress](double value) { progress(std::clamp(value, 0.0, 1.0)); };
    for (int attempt = 1;; ++attempt) {
        std::exception_ptr failure;
        QString text;
        try {
            co_await m_wifiTransport.pullFolderTar(remoteRoot, archive.path, clamped);
            // Unpacking touches every file: off the GUI thread.
            const QString tarPath = archive.path;
            auto unpacking = startOffThread([tarPath, into] { TarArchive::extractTar(tarPath, into); });
            // Meanwhile the phone hashes its folder for the check that follows: a pull leaves the
            // phone's folder as it was, so its answer is the same now as after unpacking.
            if (!phoneTree) {
                auto asking = TransferVerification::askPhoneTree(m_wifiTransport, remoteRoot);
                phoneTree = co_await asking;
            }
            resultOf(co_await unpacking);
            co_return true;
        } catch (const std::exception& error) {
            failure = std::current_exception();
            text = errorDescription(error);
        }
        if (text.contains(QLatin1String("404")))
            co_return false;
        if (attempt >= 2 || !self)
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
    if (plan.total <= 0) {
        progress(1.0);
        co_return;
    }
    const double total = double(plan.total);
    qint64 done = 0;
    for (const auto& file : std::as_const(plan.files)) {
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
}
