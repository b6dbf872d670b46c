#pragma once

#include "clicommand.h"

#include "transfers/verifyoutcome.h"

#include <QHash>
#include <QObject>

class MacViewModel;

// What became of a batch of transfers, told on standard error once the queue is idle: each
// failure, each check that failed or could not be made, hidden items left out, and a transfer
// that carried nothing. The "[VERIFY] " lines themselves come from the view model.
class TransferReport : public QObject
{
public:
    // Listens to the view model's checks from now on.
    explicit TransferReport(MacViewModel& viewModel);

    // Prints the report for every task in the view model and returns the batch's exit status.
    ExitStatus print() const;

private:
    MacViewModel& m_viewModel;
    QHash<QString, VerifyOutcome> m_checks;  // by item name, as the checks are reported
};
