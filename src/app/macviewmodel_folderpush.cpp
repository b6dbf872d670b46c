// Pushing a folder: one tar stream when the phone takes it, else folder by folder and file by file.
#include "app/macviewmodel.h"
#include "transport/diagnostics.h"

#include "archive/tararchive.h"
#include "transfers/offthread.h"
#include "transfers/transferverification.h"
#include "common/zorvaneerror.h"

#include <QCoroFuture>
#include <QCoroTimer>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>

MacViewModel::FolderPushPlan MacViewModel::planFolderPush(const QString& root)
{
    FolderPushPlan plan;
    const QString prefix = QDir(root).absolutePath() + QLatin1Char('/');
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        // A linked folder is not walked: it can lead in circles or out of the chosen folder.
        if (info.isSymLink() && info.isDir())
            continue;
        const QString path = info.absoluteFilePath();
        const QString relative = path.startsWith(prefix) ? path.mid(prefix.size()) : info.fileName();
        if (info.isDir())
            plan.dirs << relative;
        else
            plan.files.append({path, relative, info.isFile() ? info.size() : 0});
    }
    for (const auto& file : std::as_const(plan.files))
        plan.total += file.size;
    return plan;
}

void MacViewModel::pushDirectory(const TransferEntry& entry)
{
    if (!entry.url)
        return;
    const QString root = *entry.url;
    const QString remoteDir = joinRemotePath(m_remotePath, entry.name);
    const FolderPushPlan plan = planFolderPush(root);
    if (plan.dirs.isEmpty() && plan.files.isEmpty())
        return;
    TransferTask* task = addTask(entry.name, TransferTask::Direction::push, plan.total);
    enqueueTransfer(task, plan.total, [this, entry, root, remoteDir, plan](ProgressCallback progress) -> QCoro::Task<void> {
        co_await preflightSpace(plan.total, true, entry.name);
        const bool streamed = co_await tryPushFolderAsTar(root, remoteDir, plan.total, progress);
        if (!streamed) {
            co_await pushFolderFileByFile(plan, remoteDir, progress);
            if (plan.total < 1)
                co_return;
        }
        const VerifyOutcome outcome = co_await TransferVerification::verifyTree(m_wifiTransport, root, remoteDir);
        reportVerification(outcome, entry.name);
    });
}

QCoro::Task<void> MacViewModel::pushFolderFileByFile(FolderPushPlan plan, QString remoteDir, ProgressCallback progress)
{
    const double n = double(plan.dirs.size());
    co_await ensureRemoteDirectory(remoteDir);
    progress(0.05 / (n + 1));
    for (qsizetype k = 0; k < plan.dirs.size(); ++k) {
        const QString folder = joinRemotePath(remoteDir, plan.dirs[k]);
        co_await ensureRemoteDirectory(folder);
        progress(0.05 * double(k + 2) / (n + 1));
    }
    if (plan.total < 1) {
        // Empty files are not created on the phone; nothing is left to send or to check.
        progress(1.0);
        co_return;
    }
    const double total = double(plan.total);
    qint64 done = 0;
    for (const auto& file : std::as_const(plan.files)) {
        const QString target = joinRemotePath(remoteDir, file.relativePath);
        const qint64 before = done;
        const qint64 size = file.size;
        const ProgressCallback fileProgress = [progress, before, size, total](double x) {
            progress(std::min((double(before) + x * double(size)) / total, 1.0) * 0.95 + 0.05);
        };
        co_await m_wifiTransport.pushFile(file.localPath, target, fileProgress);
        done += file.size;
        progress(std::min(double(done) / total, 1.0) * 0.95 + 0.05);
    }
}

QCoro::Task<bool> MacViewModel::tryPushFolderAsTar(QString root, QString remoteDir, qint64 totalSize,
                                                   ProgressCallback progress)
{
    const QString typeName = QStringLiteral("WiFiTransport");
    Diagnostics::writeDiagnostic(QStringLiteral("tryPushFolderAsTar root=") + root + QStringLiteral(" remoteDir=")
                                 + remoteDir + QStringLiteral(" totalSize=") + QString::number(totalSize)
                                 + QStringLiteral(" supportsFolderArchive=true supportsFolderStreaming=true transportType=")
                                 + typeName + QStringLiteral(" wifiType=") + typeName);
    // Planning walks the whole folder: off the GUI thread.
    auto planning = startOffThread([root] { return std::make_shared<TarArchive::TarStreamSource>(root); });
    const std::shared_ptr<TarArchive::TarStreamSource> source = resultOf(co_await planning);
    Diagnostics::writeDiagnostic(QStringLiteral("TarStreamSource init result=OK total=%1").arg(source->totalSize()));

    const QPointer<MacViewModel> self(this);
    const ProgressCallback clamped = [progress](double value) { progress(std::clamp(value, 0.0, 1.0)); };
    for (int attempt = 0;; ++attempt) {
        Diagnostics::writeDiagnostic(QStringLiteral("pushFolderStreaming attempt=%1").arg(attempt));
        std::exception_ptr failure;
        QString text;
        try {
            co_await m_wifiTransport.pushFolderStreaming(*source, remoteDir, clamped);
            co_return true;
        } catch (const std::exception& error) {
            failure = std::current_exception();
            text = errorDescription(error);
        }
        // A phone app without the folder endpoint answers 404: the caller goes file by file.
        if (text.contains(QLatin1String("404")))
            co_return false;
        if (attempt >= 1 || !self)
            std::rethrow_exception(failure);
        source->reset();
        co_await pauseFor(m_wifiTransport.timings().retryPause);
        if (!self)
            std::rethrow_exception(failure);
    }
}

QCoro::Task<void> MacViewModel::ensureRemoteDirectory(QString path)
{
    QString prefix;
    for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        prefix += QLatin1Char('/') + part;
        try {
            co_await m_wifiTransport.createRemoteDirectory(prefix);
        } catch (...) {
            // Most often the folder is already there; a real problem shows when files are sent.
        }
    }
}
