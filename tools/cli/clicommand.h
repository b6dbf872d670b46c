#pragma once

#include "transport/phoneaddress.h"
#include "transport/wifideviceinfo.h"

#include <QCoroTask>
#include <QStringList>

#include <optional>

class MacViewModel;
struct DeviceInfo;

// How a run ended, as the process exit status. A run that did several things ends with the
// worst of their outcomes.
enum class ExitStatus : int {
    done = 0,         // everything asked for was done (and checked, where the phone can check)
    failed = 1,       // something asked for was not done
    usage = 2,        // the command line itself was wrong
    checkFailed = 3,  // transferred, but the SHA-256 check failed or could not be made
};

// The worse of two outcomes: a failure outweighs a failed check, which outweighs success.
ExitStatus worse(ExitStatus a, ExitStatus b);

// One run of zorvane-cli: the parsed command line and the work it asks for.
class CliCommand
{
public:
    // Parses the arguments after the program name; on a usage error returns nullopt and sets `error`.
    static std::optional<CliCommand> parse(const QStringList& arguments, QString* error);
    static QString usage();

    // The "help" command needs no phone: the usage, printed before any connection.
    bool isHelp() const { return m_command == QLatin1String("help"); }
    bool isVerbose() const { return m_verbose; }

    QCoro::Task<ExitStatus> run();

private:
    // Every command drives a view model as the window does, connected first to the phone given
    // by --phone or --device, or to the only phone found; `done` when connected, else the
    // outcome after printing why not.
    QCoro::Task<ExitStatus> connectViewModel(MacViewModel& viewModel);
    // Discovery's first complete list (at most a few seconds); false when discovery failed.
    static QCoro::Task<bool> waitForDiscovery(MacViewModel& viewModel);
    // Which listed phone the run means; nullopt after printing why none.
    std::optional<WiFiDeviceInfo> choosePhone(const QList<WiFiDeviceInfo>& phones, ExitStatus* why) const;
    QCoro::Task<ExitStatus> runDevices(MacViewModel& viewModel);
    static ExitStatus printInfo(const DeviceInfo& device);
    QCoro::Task<ExitStatus> runRemote(MacViewModel& viewModel);
    QCoro::Task<ExitStatus> runList(MacViewModel& viewModel);
    QCoro::Task<ExitStatus> runMakeDirectory(MacViewModel& viewModel);
    QCoro::Task<ExitStatus> runRemove(MacViewModel& viewModel);
    QCoro::Task<ExitStatus> runMoveOrCopy(MacViewModel& viewModel, bool move);
    QCoro::Task<ExitStatus> runRename(MacViewModel& viewModel);
    // Transfers, each waiting for the queue, then telling what became of every task.
    QCoro::Task<ExitStatus> runPush(MacViewModel& viewModel);
    QCoro::Task<ExitStatus> runPull(MacViewModel& viewModel);

    QString m_command;
    QStringList m_operands;
    std::optional<PhoneAddress> m_phone;
    std::optional<QString> m_device;
    std::optional<QString> m_code;
    std::optional<QString> m_to;
    bool m_verbose = false;
};
