// push and pull: the window's transfers without the window. Each command opens the phone folder
// involved in a view model, hands it the items as a drop or a pull button would and waits for the
// queue; the "[VERIFY] " lines come from the view model itself.
#include "clicommand.h"

#include "clioutput.h"
#include "interruptwatch.h"
#include "progressline.h"
#include "remotelookup.h"
#include "transferreport.h"

#include "app/macviewmodel.h"
#include "common/languagemanager.h"
#include "common/texttemplate.h"

#include <QCoroSignal>
#include <QDir>
#include <QFileInfo>

using namespace RemoteLookup;

namespace {

// Waits until every queued transfer has returned. The check and the wait happen in one turn of
// the event loop, so an idle signal cannot slip by between them.
QCoro::Task<void> untilQueueIdle(MacViewModel& viewModel)
{
    TransferQueue& queue = viewModel.transferQueue();
    while (!queue.isIdle())
        co_await qCoro(&queue, &TransferQueue::idle);
}

// Ctrl+C or SIGTERM while transfers run cancels them all, as the window's cancel buttons would:
// nothing half-written is kept, and the command ends as failed.
void cancelOnInterrupt(InterruptWatch& watch, MacViewModel& viewModel)
{
    QObject::connect(&watch, &InterruptWatch::interrupted, &viewModel, [&viewModel] {
        printError(localized("已中断：正在取消传输"));
        viewModel.cancelAllTasks();
    });
}

} // namespace

QCoro::Task<ExitStatus> CliCommand::runPush(MacViewModel& viewModel)
{
    const QString target = cabinPath(m_to.value_or(QStringLiteral("/")));
    if (!co_await openFolder(viewModel, target))
        co_return ExitStatus::failed;
    TransferReport report(viewModel);
    ProgressLine progress(*viewModel.tasks());
    InterruptWatch interrupt;
    cancelOnInterrupt(interrupt, viewModel);
    ExitStatus status = ExitStatus::done;
    for (const QString& typed : std::as_const(m_operands)) {
        // "photos/" as a shell completes it names the folder photos.
        const QString path = MacViewModel::normalizedPath(typed);
        // Named by the user, so pushed whatever its name: only inside a folder are hidden items
        // left out, as the window leaves them out.
        const QFileInfo info(path);
        if (!info.isFile() && !info.isDir()) {
            printError(info.exists() ? localizedFormat("%@：不是普通文件或文件夹，无法推送", {typed})
                                     : localizedFormat("%@：本机没有这一项", {typed}));
            status = ExitStatus::failed;
            continue;
        }
        viewModel.pushURLs({path});
    }
    co_await untilQueueIdle(viewModel);
    progress.finish();
    if (interrupt.wasInterrupted())
        status = worse(status, ExitStatus::failed);
    co_return worse(status, report.print());
}

QCoro::Task<ExitStatus> CliCommand::runPull(MacViewModel& viewModel)
{
    const QString into = QDir(m_to.value_or(QDir::currentPath())).absolutePath();
    if (!QFileInfo(into).isDir()) {
        printError(localizedFormat("%@：不是本机文件夹", {into}));
        co_return ExitStatus::failed;
    }
    viewModel.navigateLocalTo(into);
    TransferReport report(viewModel);
    ProgressLine progress(*viewModel.tasks());
    InterruptWatch interrupt;
    cancelOnInterrupt(interrupt, viewModel);
    ExitStatus status = ExitStatus::done;
    for (const QString& typed : std::as_const(m_operands)) {
        const QString path = cabinPath(typed);
        const std::optional<TransferEntry> entry = co_await findEntry(viewModel, path);
        if (interrupt.wasInterrupted())
            break;
        if (!entry) {
            status = ExitStatus::failed;
            continue;
        }
        viewModel.setSelectedRemote({entry->id});
        viewModel.pullSelected();
    }
    co_await untilQueueIdle(viewModel);
    progress.finish();
    if (interrupt.wasInterrupted())
        status = worse(status, ExitStatus::failed);
    co_return worse(status, report.print());
}
