#include "clicommand.h"
#include "clioutput.h"

#include "common/languagemanager.h"
#include "transport/diagnostics.h"

#include <QCoreApplication>
#include <QTimer>

namespace {

// --help and --version win over everything else before a "--", as in most tools.
bool asksFor(const QStringList& arguments, std::initializer_list<const char*> options)
{
    for (const QString& arg : arguments) {
        if (arg == QLatin1String("--"))
            return false;
        for (const char* option : options) {
            if (arg == QLatin1String(option))
                return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Zorvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Zorvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZORVANE_VERSION));
    LanguageManager::shared();

    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (asksFor(arguments, {"--help", "-h"})) {
        printOut(CliCommand::usage());
        return int(ExitStatus::done);
    }
    if (asksFor(arguments, {"--version"})) {
        printOut(QStringLiteral("zorvane-cli ") + QCoreApplication::applicationVersion());
        return int(ExitStatus::done);
    }
    QString error;
    auto command = CliCommand::parse(arguments, &error);
    if (!command) {
        printError(error);
        printError(localized("运行 zorvane-cli --help 查看用法"));
        return int(ExitStatus::usage);
    }
    if (command->isHelp()) {
        printOut(CliCommand::usage());
        return int(ExitStatus::done);
    }
    // "[DIAG] " lines carry full local paths and internal names: on the command line they are
    // for whoever asks, and kept off the results on standard output.
    Diagnostics::setDiagnosticSink(command->isVerbose() ? Diagnostics::DiagnosticSink::standardError
                                                        : Diagnostics::DiagnosticSink::nowhere);
    ExitStatus status = ExitStatus::failed;
    QTimer::singleShot(0, [&] {
        [](CliCommand& cmd, ExitStatus& result) -> QCoro::Task<void> {
            result = co_await cmd.run();
            QCoreApplication::quit();
        }(*command, status);
    });
    QCoreApplication::exec();
    return int(status);
}
