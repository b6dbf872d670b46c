#include "clicommand.h"

#include "clioutput.h"

#include "app/macviewmodel.h"
#include "common/bytecountformat.h"
#include "common/languagemanager.h"
#include "common/texttemplate.h"

#include <QHash>

namespace {

// What each command takes: operands at least and at most (-1 for no limit), and whether --to.
struct CommandShape
{
    int leastOperands;
    int mostOperands;
    bool takesTo = false;
};

const QHash<QString, CommandShape>& commandShapes()
{
    static const QHash<QString, CommandShape> shapes{
        {QStringLiteral("devices"), {0, 0}},
        {QStringLiteral("info"), {0, 0}},   {QStringLiteral("ls"), {0, 1}},
        {QStringLiteral("mkdir"), {1, 1}},  {QStringLiteral("rm"), {1, -1}},
        {QStringLiteral("mv"), {2, -1}},    {QStringLiteral("cp"), {2, -1}},
        {QStringLiteral("rename"), {2, 2}}, {QStringLiteral("push"), {1, -1, true}},
        {QStringLiteral("pull"), {1, -1, true}},
    };
    return shapes;
}

} // namespace

ExitStatus worse(ExitStatus a, ExitStatus b)
{
    const auto rank = [](ExitStatus status) {
        switch (status) {
        case ExitStatus::done: return 0;
        case ExitStatus::checkFailed: return 1;
        case ExitStatus::failed: return 2;
        case ExitStatus::usage: return 3;
        }
        return 0;
    };
    return rank(a) >= rank(b) ? a : b;
}

QString CliCommand::usage()
{
    return localized(
        "用法：zorvane-cli 命令 [参数...] [--phone HOST:PORT | --device 名称] [--code 配对码] [--verbose]\n"
        "\n"
        "命令：\n"
        "  devices                   列出局域网和 iPhone 数据线上发现的手机（最多等几秒），以及按地址记住的手机\n"
        "  info                      连接手机（给出配对码时先配对），显示名称、系统版本和可用空间\n"
        "  ls [远程路径]             列出文件舱里的文件夹（默认根目录 /）\n"
        "  mkdir 远程路径            新建文件夹\n"
        "  rm 远程路径...            删除文件或文件夹\n"
        "  mv 远程路径... 目标文件夹 移动到目标文件夹\n"
        "  cp 远程路径... 目标文件夹 复制到目标文件夹\n"
        "  rename 远程路径 新名称    重命名\n"
        "  push 本机路径... [--to 远程文件夹]  推送文件或文件夹（默认到根目录 /），推送后校验\n"
        "  pull 远程路径... [--to 本机文件夹]  拉取文件或文件夹（默认到当前目录），拉取后校验\n"
        "  help                      显示本说明\n"
        "\n"
        "选项（也可写成 --选项=值）：\n"
        "  --phone HOST:PORT         手机的地址，也可写成 http://HOST:PORT。连上后会被记住\n"
        "  --device 名称             按名称连接发现的或记住的手机（见 devices）。\n"
        "                            两者都不给时，连接唯一找到的那部手机\n"
        "  --code 配对码             手机要求配对时，手机「连接管理」里显示的 6 位数字。\n"
        "                            配对会被记住：同一台电脑之后连接这部手机不必再给\n"
        "  --to 文件夹               push 和 pull 的目标文件夹\n"
        "  --verbose                 在标准错误上显示 [DIAG] 诊断行（含本机完整路径）\n"
        "  --help, --version         显示本说明或版本\n"
        "  --                        其后的参数都是名称，即使以「-」开头\n"
        "\n"
        "push 和 pull 会替换目标文件夹里的同名文件。点开头的隐藏项在推送的文件夹里会被跳过\n"
        "（并说明跳过了几个）；在命令行上直接写出的隐藏文件或文件夹照常推送。\n"
        "每次传送后用 SHA-256 校验，结果以「[VERIFY] 」开头写在标准输出上。\n"
        "传送中按 Ctrl+C（或收到 SIGTERM）会取消正在进行和等待中的传送：本机不留下写了一半的文件，\n"
        "同名的旧文件保持原样；再按一次 Ctrl+C 立即退出。\n"
        "\n"
        "退出码：\n"
        "  0  全部完成并通过校验（手机不提供哈希接口时未校验，会在标准错误上说明）\n"
        "  1  失败：有一项没有完成（连接、找不到、手机拒绝、空间不足、没有可传送的内容、已取消……）\n"
        "  2  命令行有误\n"
        "  3  已传送，但 SHA-256 校验未通过或无法完成");
}

std::optional<CliCommand> CliCommand::parse(const QStringList& arguments, QString* error)
{
    CliCommand command;
    QStringList givenOptions;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        const bool isOption = !optionsEnded && arg.startsWith(QLatin1Char('-')) && arg.size() > 1;
        if (!isOption) {
            if (command.m_command.isEmpty())
                command.m_command = arg;
            else
                command.m_operands << arg;
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        const qsizetype equals = arg.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? arg : arg.left(equals);
        std::optional<QString> inlineValue;
        if (equals >= 0)
            inlineValue = arg.mid(equals + 1);
        if (name == QLatin1String("--verbose")) {
            if (inlineValue) {
                *error = localized("--verbose 不带值");
                return std::nullopt;
            }
            command.m_verbose = true;
            continue;
        }
        std::optional<QString>* target = nullptr;
        if (name == QLatin1String("--code"))
            target = &command.m_code;
        else if (name == QLatin1String("--to"))
            target = &command.m_to;
        else if (name == QLatin1String("--device"))
            target = &command.m_device;
        else if (name != QLatin1String("--phone")) {
            *error = localizedFormat("未知选项：%@（以「-」开头的名称请写在 -- 之后）", {arg});
            return std::nullopt;
        }
        std::optional<QString> value = inlineValue;
        if (!value && i + 1 < arguments.size())
            value = arguments[++i];
        if (!value || value->isEmpty()) {
            *error = localizedFormat("%@ 需要一个值", {name});
            return std::nullopt;
        }
        givenOptions << name;
        if (target) {
            *target = value;
            continue;
        }
        command.m_phone = PhoneAddress::parse(*value);
        if (!command.m_phone) {
            *error = localizedFormat("--phone 需要 HOST:PORT 或 http://HOST:PORT 形式的地址，而不是「%@」", {*value});
            return std::nullopt;
        }
    }
    if (command.m_command == QLatin1String("help"))
        return command;
    const auto shape = commandShapes().constFind(command.m_command);
    if (shape == commandShapes().cend()) {
        *error = command.m_command.isEmpty() ? localized("缺少命令") : localized("未知命令：") + command.m_command;
        return std::nullopt;
    }
    const int given = int(command.m_operands.size());
    if (given < shape->leastOperands || (shape->mostOperands >= 0 && given > shape->mostOperands)) {
        *error = localized("参数个数不对：") + command.m_command;
        return std::nullopt;
    }
    if (command.m_to && !shape->takesTo) {
        *error = localizedFormat("%@ 不接受 --to", {command.m_command});
        return std::nullopt;
    }
    if (command.m_command == QLatin1String("rename") && command.m_operands[1].trimmed().isEmpty()) {
        *error = localized("新名称不能为空");
        return std::nullopt;
    }
    if (command.m_phone && command.m_device) {
        *error = localized("--phone 和 --device 只能给一个");
        return std::nullopt;
    }
    return command;
}

QCoro::Task<ExitStatus> CliCommand::run()
{
    // Discovery runs only when the run needs it, to find a phone or to list them.
    MacViewModel viewModel({}, false);
    if (m_command == QLatin1String("devices"))
        co_return co_await runDevices(viewModel);
    const ExitStatus connected = co_await connectViewModel(viewModel);
    if (connected != ExitStatus::done)
        co_return connected;
    if (m_command == QLatin1String("info"))
        co_return printInfo(*viewModel.device());
    co_return co_await runRemote(viewModel);
}

ExitStatus CliCommand::printInfo(const DeviceInfo& device)
{
    printOut(localized("名称：") + device.name);
    printOut(localized("系统版本：") + device.systemVersion);
    // No figure is not an empty phone.
    printOut(localized("可用空间：")
             + (device.storageFree ? formatByteCount(*device.storageFree) : localized("未知（手机未提供）")));
    if (!device.platform.isEmpty())
        printOut(localized("平台：") + device.platform);
    return ExitStatus::done;
}
