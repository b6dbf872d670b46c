// Which phone a run talks to: one given by address, one found by discovery or remembered, named
// by --device, or the only one there is; and the "devices" command that lists them.
#include "clicommand.h"

#include "clioutput.h"

#include "app/macviewmodel.h"
#include "common/languagemanager.h"
#include "common/texttemplate.h"
#include "transport/transporterror.h"

#include <QCoroTimer>
#include <QElapsedTimer>

namespace {

// Long enough for the phones on the network to answer a first browse (about a second).
constexpr int discoveryWaitMs = 4000;

QString describeRoute(const WiFiDeviceInfo& phone)
{
    if (!phone.endpoint.isService())
        return localized("按地址");
    if (phone.usbOnly)
        return localized("仅数据线（USB）");
    return phone.isUSB ? localized("WiFi 和数据线（USB）") : QStringLiteral("WiFi");
}

} // namespace

QCoro::Task<bool> CliCommand::waitForDiscovery(MacViewModel& viewModel)
{
    WiFiTransport& transport = viewModel.wifiTransport();
    viewModel.startWiFiBrowsing();
    QElapsedTimer waited;
    waited.start();
    while (!transport.browseSettled() && waited.elapsed() < discoveryWaitMs)
        co_await QCoro::sleepFor(std::chrono::milliseconds(50));
    // The view model hears of the outcome through queued calls; let them land.
    co_await QCoro::sleepFor(std::chrono::milliseconds(0));
    if (!viewModel.wifiBrowseError().isEmpty()) {
        printError(viewModel.wifiBrowseError());
        printError(localized("请确认 avahi-daemon 正在运行（例如 sudo systemctl start avahi-daemon），"
                             "或者用 --phone HOST:PORT 直接给出手机的地址"));
        co_return false;
    }
    co_return true;
}

QCoro::Task<ExitStatus> CliCommand::runDevices(MacViewModel& viewModel)
{
    const bool discovered = co_await waitForDiscovery(viewModel);
    const QList<WiFiDeviceInfo> phones = viewModel.wifiTransport().devices();
    int found = 0;
    for (const WiFiDeviceInfo& phone : phones) {
        if (!phone.endpoint.isService())
            continue;
        ++found;
        QString address;
        try {
            const NetworkEndpoint resolved = co_await viewModel.wifiTransport().addressOf(phone);
            address = resolved.debugDescription();
        } catch (const std::exception& error) {
            address = errorDescription(error);
        }
        const QString interfaces = phone.endpoint.interfaces.join(QStringLiteral(", "));
        printOut(phone.name + QLatin1Char('\t') + describeRoute(phone) + QLatin1Char('\t') + localized("接口：")
                 + interfaces + QLatin1Char('\t') + localized("地址：") + address);
    }
    if (discovered && found == 0)
        printError(localized("没有发现手机：请确认手机上的应用已打开，并与这台电脑在同一网络"));
    for (const WiFiDeviceInfo& phone : phones) {
        if (!phone.endpoint.isService())
            printOut(phone.name + QLatin1Char('\t') + describeRoute(phone) + QLatin1Char('\t') + localized("地址：")
                     + phone.id);
    }
    co_return discovered ? ExitStatus::done : ExitStatus::failed;
}

std::optional<WiFiDeviceInfo> CliCommand::choosePhone(const QList<WiFiDeviceInfo>& phones, ExitStatus* why) const
{
    if (m_device) {
        // The name as listed; letter case does not matter when only one phone fits either way.
        for (const Qt::CaseSensitivity sensitivity : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
            QList<WiFiDeviceInfo> named;
            for (const WiFiDeviceInfo& phone : phones) {
                if (phone.name.compare(*m_device, sensitivity) == 0 || phone.id == *m_device)
                    named << phone;
            }
            if (named.size() == 1)
                return named.first();
            if (named.size() > 1) {
                printError(localizedFormat("有 %ld 部手机都叫「%@」，请用 --phone HOST:PORT 指定地址",
                                           {named.size(), *m_device}));
                *why = ExitStatus::failed;
                return std::nullopt;
            }
        }
        printError(localizedFormat("没有找到名为「%@」的手机（运行 zorvane-cli devices 查看找到的手机）", {*m_device}));
        *why = ExitStatus::failed;
        return std::nullopt;
    }
    if (phones.size() == 1)
        return phones.first();
    if (phones.isEmpty()) {
        printError(localized("没有找到手机：请用 --phone HOST:PORT 给出手机的地址，"
                             "或确认手机上的应用已打开，并与这台电脑在同一网络"));
        *why = ExitStatus::failed;
        return std::nullopt;
    }
    printError(localized("找到了多部手机，请用 --device 名称 选择一部："));
    for (const WiFiDeviceInfo& phone : phones)
        printError(QStringLiteral("  ") + phone.name + QLatin1Char('\t') + describeRoute(phone));
    *why = ExitStatus::usage;
    return std::nullopt;
}

QCoro::Task<ExitStatus> CliCommand::connectViewModel(MacViewModel& viewModel)
{
    bool connected = false;
    if (m_phone) {
        // Named first: g++ 12 mishandles temporaries built inside a co_await expression.
        auto connecting = viewModel.connectByAddress(m_phone->host, m_phone->port, m_code);
        connected = co_await connecting;
    } else {
        co_await waitForDiscovery(viewModel);
        ExitStatus why = ExitStatus::failed;
        const std::optional<WiFiDeviceInfo> phone = choosePhone(viewModel.wifiTransport().devices(), &why);
        if (!phone)
            co_return why;
        auto connecting = viewModel.connectWiFiDevice(*phone, m_code, false);
        connected = co_await connecting;
    }
    if (connected)
        co_return ExitStatus::done;
    if (viewModel.pairingPrompt()) {
        printError(TransportError::pairingRequired().description());
        printError(localized("请用手机上显示的配对码再运行一次：加上 --code 配对码（配对会被记住，之后不必再给）"));
    } else {
        printError(viewModel.wifiErrorMessage());
    }
    co_return ExitStatus::failed;
}
