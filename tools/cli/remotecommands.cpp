// ls, mkdir, rm, mv, cp and rename: the right pane's operations without the window. Each command
// connects a view model, walks it to the folders involved and calls the same operations the views
// call; what the view model publishes as an error is printed and makes the run a failure.
#include "clicommand.h"

#include "clioutput.h"
#include "remotelookup.h"

#include "app/macviewmodel.h"
#include "common/zorvaneerror.h"
#include "common/languagemanager.h"
#include "common/texttemplate.h"
#include "transport/transporterror.h"


namespace {

// The outcome of an operation: its published error, printed, decides the exit status.
ExitStatus reportAction(MacViewModel& viewModel)
{
    if (viewModel.remoteActionError().isEmpty())
        return ExitStatus::done;
    printError(viewModel.remoteActionError());
    return ExitStatus::failed;
}

} // namespace

using namespace RemoteLookup;

QCoro::Task<ExitStatus> CliCommand::runRemote(MacViewModel& viewModel)
{
    if (m_command == QLatin1String("ls"))
        co_return co_await runList(viewModel);
    if (m_command == QLatin1String("mkdir"))
        co_return co_await runMakeDirectory(viewModel);
    if (m_command == QLatin1String("rm"))
        co_return co_await runRemove(viewModel);
    if (m_command == QLatin1String("rename"))
        co_return co_await runRename(viewModel);
    if (m_command == QLatin1String("push"))
        co_return co_await runPush(viewModel);
    if (m_command == QLatin1String("pull"))
        co_return co_await runPull(viewModel);
    const bool move = m_command == QLatin1String("mv");
    co_return co_await runMoveOrCopy(viewModel, move);
}

QCoro::Task<ExitStatus> CliCommand::runList(MacViewModel& viewModel)
{
    const QString folder = cabinPath(m_operands.value(0));
    if (!co_await openFolder(viewModel, folder))
        co_return ExitStatus::failed;
    for (const TransferEntry& entry : viewModel.remoteItems()->entries()) {
        const QString shownName = entry.isDirectory ? entry.name + QLatin1Char('/') : entry.name;
        printOut(entry.formattedSize() + QLatin1Char('\t') + shownName);
    }
    co_return ExitStatus::done;
}

QCoro::Task<ExitStatus> CliCommand::runMakeDirectory(MacViewModel& viewModel)
{
    const QString path = cabinPath(m_operands.first());
    if (path == QLatin1String("/")) {
        printError(localizedFormat("%@：不能对文件舱根目录操作", {path}));
        co_return ExitStatus::failed;
    }
    // The new folder goes into the pane's current folder, as the new-folder card makes it.
    const QString folder = parentOf(path);
    co_await viewModel.goRemoteTo(folder);
    const QString name = nameOf(path);
    co_await viewModel.createRemoteFolder(name);
    co_return reportAction(viewModel);
}

QCoro::Task<ExitStatus> CliCommand::runRemove(MacViewModel& viewModel)
{
    // The paths are deleted folder by folder, as a selection in each folder's listing.
    ExitStatus status = ExitStatus::done;
    QStringList folders;
    for (const QString& typed : m_operands) {
        const QString folder = parentOf(cabinPath(typed));
        if (!folders.contains(folder))
            folders << folder;
    }
    for (const QString& folder : folders) {
        QStringList ids;
        for (const QString& typed : m_operands) {
            const QString path = cabinPath(typed);
            if (parentOf(path) != folder)
                continue;
            if (const std::optional<TransferEntry> entry = co_await findEntry(viewModel, path))
                ids << entry->id;
            else
                status = ExitStatus::failed;
        }
        if (ids.isEmpty())
            continue;
        viewModel.setSelectedRemote(ids);
        viewModel.setRemoteActionError({});
        co_await viewModel.deleteRemoteSelection();
        status = worse(status, reportAction(viewModel));
    }
    co_return status;
}

QCoro::Task<ExitStatus> CliCommand::runMoveOrCopy(MacViewModel& viewModel, bool move)
{
    ExitStatus status = ExitStatus::done;
    QList<TransferEntry> entries;
    for (const QString& typed : m_operands.first(m_operands.size() - 1)) {
        const QString path = cabinPath(typed);
        if (const std::optional<TransferEntry> entry = co_await findEntry(viewModel, path))
            entries << *entry;
        else
            status = ExitStatus::failed;
    }
    if (entries.isEmpty())
        co_return status;
    const QString target = cabinPath(m_operands.last());
    if (move)
        co_await viewModel.moveRemoteEntries(entries, target);
    else
        co_await viewModel.copyRemoteEntries(entries, target);
    co_return worse(status, reportAction(viewModel));
}

QCoro::Task<ExitStatus> CliCommand::runRename(MacViewModel& viewModel)
{
    const QString path = cabinPath(m_operands[0]);
    const std::optional<TransferEntry> entry = co_await findEntry(viewModel, path);
    if (!entry)
        co_return ExitStatus::failed;
    const QString newName = m_operands[1];
    co_await viewModel.renameRemoteEntry(*entry, newName);
    co_return reportAction(viewModel);
}
