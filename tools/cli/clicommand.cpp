#include "clicommand.h"

#include "transport/transporterror.h"
#include "transport/wifitransport.h"
#include "ui/bytecountformat.h"
#include "ui/languagemanager.h"

#include <QTextStream>

#include <cstdio>

namespace {

void printOut(const QString& text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void printError(const QString& text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace

QString CliCommand::usage()
{
    return QStringLiteral(
        "用法：zorvane-cli info --phone HOST:PORT [--code CODE]\n"
        "  info   连接手机（给出配对码时先配对），显示名称、系统版本和可用空间");
}

std::optional<CliCommand> CliCommand::parse(const QStringList& arguments, QString* error)
{
    CliCommand command;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        const auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= arguments.size())
                return std::nullopt;
            return arguments[++i];
        };
        if (arg == QLatin1String("--phone")) {
            const auto text = value();
            command.m_phone = text ? PhoneAddress::parse(*text) : std::nullopt;
            if (!command.m_phone) {
                *error = localized("--phone 需要 HOST:PORT 形式的地址");
                return std::nullopt;
            }
        } else if (arg == QLatin1String("--code")) {
            command.m_code = value();
            if (!command.m_code) {
                *error = localized("--code 需要配对码");
                return std::nullopt;
            }
        } else if (arg.startsWith(QLatin1String("--"))) {
            *error = localized("未知选项：") + arg;
            return std::nullopt;
        } else if (command.m_command.isEmpty()) {
            command.m_command = arg;
        } else {
            command.m_operands << arg;
        }
    }
    if (command.m_command != QLatin1String("info")) {
        *error = command.m_command.isEmpty() ? localized("缺少命令") : localized("未知命令：") + command.m_command;
        return std::nullopt;
    }
    if (!command.m_phone) {
        *error = localized("缺少 --phone HOST:PORT");
        return std::nullopt;
    }
    return command;
}

QCoro::Task<int> CliCommand::run()
{
    co_return co_await runInfo();
}

QCoro::Task<int> CliCommand::runInfo()
{
    WiFiTransport transport;
    try {
        const DeviceInfo device = co_await transport.connect(m_phone->host, m_phone->port, m_phone->host,
                                                             QStringLiteral("WiFi"), m_code);
        printOut(localized("名称：") + device.name);
        printOut(localized("系统版本：") + device.systemVersion);
        printOut(localized("可用空间：") + formatByteCount(device.storageFree.value_or(0)));
        if (!device.platform.isEmpty())
            printOut(localized("平台：") + device.platform);
        co_return 0;
    } catch (const std::exception& error) {
        printError(errorDescription(error));
        co_return 1;
    }
}
