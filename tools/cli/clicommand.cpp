#include "clicommand.h"

#include "clioutput.h"

#include "app/macviewmodel.h"
#include "common/bytecountformat.h"
#include "common/languagemanager.h"

#include <QHash>
#include <QTextStream>

QString CliCommand::usage()
{
    return QStringLiteral(
        "用法：zorvane-cli 命令 [参数...] --phone HOST:PORT [--code CODE]\n"
        "  info                      连接手机（给出配对码时先配对），显示名称、系统版本和可用空间\n"
        "  ls [远程路径]             列出文件舱里的文件夹（默认根目录 /）\n"
        "  mkdir 远程路径            新建文件夹\n"
        "  rm 远程路径...            删除文件或文件夹\n"
        "  mv 远程路径... 目标文件夹 移动到目标文件夹\n"
        "  cp 远程路径... 目标文件夹 复制到目标文件夹\n"
        "  rename 远程路径 新名称    重命名\n"
        "  push 本机路径... [--to 远程文件夹]  推送文件或文件夹（默认到根目录 /），推送后校验\n"
        "  pull 远程路径... [--to 本机文件夹]  拉取文件或文件夹（默认到当前目录），拉取后校验");
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
        } else if (arg == QLatin1String("--to")) {
            command.m_to = value();
            if (!command.m_to) {
                *error = localized("--to 需要文件夹");
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
    // The operand counts each command takes: at least, at most (-1 for no limit).
    static const QHash<QString, std::pair<int, int>> operandCounts{
        {QStringLiteral("info"), {0, 0}},  {QStringLiteral("ls"), {0, 1}},  {QStringLiteral("mkdir"), {1, 1}},
        {QStringLiteral("rm"), {1, -1}},   {QStringLiteral("mv"), {2, -1}}, {QStringLiteral("cp"), {2, -1}},
        {QStringLiteral("rename"), {2, 2}}, {QStringLiteral("push"), {1, -1}}, {QStringLiteral("pull"), {1, -1}},
    };
    if (!operandCounts.contains(command.m_command)) {
        *error = command.m_command.isEmpty() ? localized("缺少命令") : localized("未知命令：") + command.m_command;
        return std::nullopt;
    }
    const auto [least, most] = operandCounts.value(command.m_command);
    const int given = int(command.m_operands.size());
    if (given < least || (most >= 0 && given > most)) {
        *error = localized("参数个数不对：") + command.m_command;
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
    MacViewModel viewModel;
    if (!co_await connectViewModel(viewModel))
        co_return 1;
    if (m_command == QLatin1String("info"))
        co_return printInfo(*viewModel.device());
    co_return co_await runRemote(viewModel);
}

int CliCommand::printInfo(const DeviceInfo& device)
{
    printOut(localized("名称：") + device.name);
    printOut(localized("系统版本：") + device.systemVersion);
    // No figure is not an empty phone.
    printOut(localized("可用空间：")
             + (device.storageFree ? formatByteCount(*device.storageFree) : localized("未知（手机未提供）")));
    if (!device.platform.isEmpty())
        printOut(localized("平台：") + device.platform);
    return 0;
}
