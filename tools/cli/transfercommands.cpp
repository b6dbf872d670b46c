// push and pull: the panes' transfer buttons without the window. Each command opens the folders
// involved in a view model, selects the items, presses push or pull and waits for the queue; the
// "[VERIFY] " lines come from the view model itself.
#include "clicommand.h"

#include "clioutput.h"
#include "progressline.h"
#include "remotelookup.h"

#include "app/macviewmodel.h"
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

// Prints every failed task's text; 1 when there was one.
int reportTasks(MacViewModel& viewModel)
{
    int status = 0;
    for (const TransferTask* task : viewModel.tasks()->tasks()) {
        if (task->status() == TransferTask::Status::failed) {
            printError(task->name() + QStringLiteral("：") + task->failureMessage());
            status = 1;
        }
    }
    return status;
}

} // namespace

QCoro::Task<int> CliCommand::runPush(MacViewModel& viewModel)
{
    const QString target = cabinPath(m_to.value_or(QStringLiteral("/")));
    if (!co_await openFolder(viewModel, target))
        co_return 1;
    ProgressLine progress(*viewModel.tasks());
    int status = 0;
    for (const QString& typed : std::as_const(m_operands)) {
        // "photos/" as a shell completes it names the folder photos.
        const QString path = MacViewModel::normalizedPath(typed);
        // Walked to as on the path bar, not opened: the window's remembered folder stays the
        // user's own choice.
        viewModel.navigateLocalTo(QFileInfo(path).absolutePath());
        const bool listed = std::any_of(viewModel.localItems()->entries().begin(), viewModel.localItems()->entries().end(),
                                        [&](const TransferEntry& entry) { return entry.id == path; });
        if (!listed) {
            printError(localizedFormat("%@：本机没有这一项（或它是隐藏项）", {typed}));
            status = 1;
            continue;
        }
        viewModel.setSelectedLocal({path});
        viewModel.pushSelected();
    }
    co_await untilQueueIdle(viewModel);
    progress.finish();
    co_return std::max(status, reportTasks(viewModel));
}

QCoro::Task<int> CliCommand::runPull(MacViewModel& viewModel)
{
    const QString into = QDir(m_to.value_or(QDir::currentPath())).absolutePath();
    if (!QFileInfo(into).isDir()) {
        printError(localizedFormat("%@：不是本机文件夹", {into}));
        co_return 1;
    }
    viewModel.navigateLocalTo(into);
    ProgressLine progress(*viewModel.tasks());
    int status = 0;
    for (const QString& typed : std::as_const(m_operands)) {
        const QString path = cabinPath(typed);
        const std::optional<TransferEntry> entry = co_await findEntry(viewModel, path);
        if (!entry) {
            status = 1;
            continue;
        }
        viewModel.setSelectedRemote({entry->id});
        viewModel.pullSelected();
    }
    co_await untilQueueIdle(viewModel);
    progress.finish();
    co_return std::max(status, reportTasks(viewModel));
}
