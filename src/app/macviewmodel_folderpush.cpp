// Pushing a folder: one tar stream when the phone takes it, else folder by folder and file by file.
#include "app/macviewmodel.h"
#include "transport/diagnostics.h"
#include "transport/remotepath.h"

#include "archive/tararchive.h"
#include "common/offthread.h"
#include "transfers/transferverification.h"
#include "common/zorvaneerror.h"

#include <QCoroFuture>
#include <QCoroTimer>
#include <QDir>
#include <QFile>
#include <QFutureWatcher>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <span>

MacViewModel::FolderPushPlan MacViewModel::planFolderPush(const QString& root)
{
    // One walk for both ways of sending, so both send the same items as the check then compares.
    using Source = TarArchive::TarStreamSource;
    FolderPushPlan plan;
    plan.entries = Source::plan(QDir(root).absolutePath(), Source::Leftovers::keep, &plan.hiddenLeftOut);
    for (const auto& entry : std::as_const(plan.entries))
        plan.total += entry.size;
    plan.archive = std::make_shared<Source>(plan.entries);
    plan.archive->keepDigests();
    return plan;
}

void MacViewModel::pushDirectory(const TransferEntry& entry)
{
    if (!entry.url)
        return;
    const QString root = *entry.url;
    // Fixed now: opening another phone folder later does not move a queued push.
    const QString remoteDir = RemotePath::join(m_remotePath, entry.name);
    // The task shows at once; walking a large folder takes seconds, so that happens on the thread
    // pool, and the size follows when the plan is made.
    TransferTask* created = addTask(entry.name, TransferTask::Direction::push, 0);
    const QFuture<OffThreadOutcome<FolderPushPlan>> planning = startOffThread([root] { return planFolderPush(root); });
    auto* planned = new QFutureWatcher<OffThreadOutcome<FolderPushPlan>>(created);
    QObject::connect(planned, &QFutureWatcherBase::finished, created, [created, planned] {
        const OffThreadOutcome<FolderPushPlan> outcome = planned->result();
        if (outcome.value) {
            created->setSize(outcome.value->total);
            created->setSkippedHidden(int(outcome.value->hiddenLeftOut));
        }
        planned->deleteLater();
    });
    planned->setFuture(planning);

    const QPointer<TransferTask> task(created);
    enqueueTransfer(created, 0, [this, task, entry, root, remoteDir, planning](ProgressCallback progress) -> QCoro::Task<void> {
        QFuture<OffThreadOutcome<FolderPushPlan>> waiting = planning;
        const FolderPushPlan plan = resultOf(co_await waiting);
        if (task) {
            task->setSize(plan.total);
            task->setSkippedHidden(int(plan.hiddenLeftOut));
        }
        // An empty folder is sent too (an archive of the folder alone), and checked like any other.
        co_await preflightSpace(plan.total, true, entry.name);
        const bool streamed = co_await tryPushFolderAsTar(plan.archive, root, remoteDir, plan.total, progress);
        if (!streamed) {
            co_await pushFolderFileByFile(plan, remoteDir, progress);
            requireTransferGoesOn();
            const VerifyOutcome outcome = co_await TransferVerification::verifyTree(m_wifiTransport, root, remoteDir);
            reportVerification(outcome, entry.name);
            co_return;
        }
        // The archive hashed every file as it read it: only the phone has hashing left to do.
        requireTransferGoesOn();
        auto asking = TransferVerification::askPhoneTree(m_wifiTransport, remoteDir);
        const TransferVerification::PhoneTree phone = co_await asking;
        const QMap<QString, QString> sent = plan.archive->digests();
        const VerifyOutcome outcome = co_await TransferVerification::verifyTreeDigests(sent, phone);
        reportVerification(outcome, entry.name);
    });
}

QCoro::Task<void> MacViewModel::pushFolderFileByFile(FolderPushPlan plan, QString remoteDir, ProgressCallback progress)
{
    // The folder itself comes first: it is remoteDir.
    const std::span<const TarArchive::TarStreamSource::Entry> below(plan.entries.constData() + 1,
                                                                     size_t(plan.entries.size() - 1));
    const double n = double(std::count_if(below.begin(), below.end(), [](const auto& item) { return item.isDir; }));
    co_await ensureRemoteDirectory(remoteDir);
    progress(0.05 / (n + 1));
    int foldersDone = 0;
    for (const auto& item : below) {
        if (!item.isDir)
            continue;
        const QString folder = RemotePath::join(remoteDir, item.name);
        co_await ensureRemoteDirectory(folder);
        progress(0.05 * double(++foldersDone + 1) / (n + 1));
    }
    // Empty files are sent too, each as an empty upload.
    const double total = double(std::max<qint64>(plan.total, 1));
    qint64 done = 0;
    for (const auto& item : below) {
        if (item.isDir)
            continue;
        requireTransferGoesOn();
        const QString target = RemotePath::join(remoteDir, item.name);
        const qint64 before = done;
        const qint64 size = item.size;
        const ProgressCallback fileProgress = [progress, before, size, total](double x) {
            progress(std::min((double(before) + x * double(size)) / total, 1.0) * 0.95 + 0.05);
        };
        co_await m_wifiTransport.pushFile(QFile::decodeName(item.path), target, fileProgress);
        done += item.size;
        progress(std::min(double(done) / total, 1.0) * 0.95 + 0.05);
    }
    progress(1.0);
}

QCoro::Task<bool> MacViewModel::tryPushFolderAsTar(std::shared_ptr<TarArchive::TarStreamSource> source, QString root,
                                                   QString remoteDir, qint64 totalSize, ProgressCallback progress)
{
    const QString typeName = QStringLiteral("WiFiTransport");
    Diagnostics::writeDiagnostic(QStringLiteral("tryPushFolderAsTar root=") + root + QStringLiteral(" remoteDir=")
                                 + remoteDir + QStringLiteral(" totalSize=") + QString::number(totalSize)
                                 + QStringLiteral(" supportsFolderArchive=true supportsFolderStreaming=true transportType=")
                                 + typeName + QStringLiteral(" wifiType=") + typeName);
    // Planned with the push itself, on the thread pool.
    Diagnostics::writeDiagnostic(QStringLiteral("TarStreamSource init result=OK total=%1").arg(source->totalSize()));

    const QPointer<MacViewModel> self(this);
    const ProgressCallback clamped = [progress](double value) { progress(std::clamp(value, 0.0, 1.0)); };
    for (int attempt = 0;; ++attempt) {
        requireTransferGoesOn();
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
        requireTransferGoesOn();
        std::exception_ptr refused;
        try {
            co_await m_wifiTransport.createRemoteDirectory(prefix);
            continue;
        } catch (...) {
            refused = std::current_exception();
        }
        // Most often the folder is there already (the phone then answers 409); only a folder
        // that is not there is a failure, told with the phone's own answer.
        const bool exists = co_await remoteFolderExists(prefix);
        if (!exists)
            std::rethrow_exception(refused);
    }
}

QCoro::Task<bool> MacViewModel::remoteFolderExists(QString path)
{
    try {
        co_await m_wifiTransport.listDirectory(path);
        co_return true;
    } catch (const std::exception&) {
        co_return false;  // missing, a file, or no answer at all
    }
}
