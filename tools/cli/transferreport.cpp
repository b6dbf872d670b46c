#include "transferreport.h"

#include "clioutput.h"

#include "app/macviewmodel.h"
#include "common/texttemplate.h"

TransferReport::TransferReport(MacViewModel& viewModel) : m_viewModel(viewModel)
{
    QObject::connect(&viewModel, &MacViewModel::transferVerified, this,
                     [this](const QString& item, const VerifyOutcome& outcome) { m_checks.insert(item, outcome); });
}

ExitStatus TransferReport::print() const
{
    ExitStatus status = ExitStatus::done;
    for (const TransferTask* task : m_viewModel.tasks()->tasks()) {
        const QString name = task->name();
        if (task->status() == TransferTask::Status::failed) {
            printError(name + QStringLiteral("：") + task->failureMessage());
            status = worse(status, ExitStatus::failed);
            continue;
        }
        if (task->skippedHidden() > 0)
            printError(name + QStringLiteral("：") + task->note());
        const auto check = m_checks.constFind(name);
        if (check == m_checks.cend()) {
            // Only a folder with nothing to send ends without a check.
            printError(localizedFormat("%@：文件夹里没有可传送的内容，什么也没有传送", {name}));
            status = worse(status, ExitStatus::failed);
            continue;
        }
        switch (check->kind) {
        case VerifyOutcome::Kind::passed:
        case VerifyOutcome::Kind::nothingToCheck: // an empty folder: made on the other side, nothing to compare
            break;
        case VerifyOutcome::Kind::skipped:
            printError(localizedFormat("%@：已传送；手机不提供 SHA-256 哈希，未能校验", {name}));
            break;
        case VerifyOutcome::Kind::mismatch:
        case VerifyOutcome::Kind::requestFailed:
            printError(localizedFormat("%@：已传送，但 SHA-256 校验未通过或无法完成，两边内容可能不一致", {name}));
            status = worse(status, ExitStatus::checkFailed);
            break;
        }
    }
    return status;
}
