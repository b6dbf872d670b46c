#pragma once

#include "transport/phoneaddress.h"

#include <QCoroTask>
#include <QStringList>

#include <optional>

class MacViewModel;
struct DeviceInfo;

// One run of zorvane-cli: the parsed command line and the work it asks for.
class CliCommand
{
public:
    // Parses the arguments after the program name; on a usage error returns nullopt and sets `error`.
    static std::optional<CliCommand> parse(const QStringList& arguments, QString* error);
    static QString usage();

    // Runs the command and returns the process exit status.
    QCoro::Task<int> run();

private:
    // Every command drives a view model as the window does, connected first to the phone given
    // by --phone (false after printing why not).
    QCoro::Task<bool> connectViewModel(MacViewModel& viewModel);
    static int printInfo(const DeviceInfo& device);
    QCoro::Task<int> runRemote(MacViewModel& viewModel);
    QCoro::Task<int> runList(MacViewModel& viewModel);
    QCoro::Task<int> runMakeDirectory(MacViewModel& viewModel);
    QCoro::Task<int> runRemove(MacViewModel& viewModel);
    QCoro::Task<int> runMoveOrCopy(MacViewModel& viewModel, bool move);
    QCoro::Task<int> runRename(MacViewModel& viewModel);
    // Transfers, each waiting for the queue and failing when any task failed.
    QCoro::Task<int> runPush(MacViewModel& viewModel);
    QCoro::Task<int> runPull(MacViewModel& viewModel);

    QString m_command;
    QStringList m_operands;
    std::optional<PhoneAddress> m_phone;
    std::optional<QString> m_code;
    std::optional<QString> m_to;
};
