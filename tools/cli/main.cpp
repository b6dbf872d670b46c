#include "clicommand.h"

#include "common/languagemanager.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Zorvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Zorvane"));
    LanguageManager::shared();

    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"))) {
        std::fprintf(stdout, "%s\n", CliCommand::usage().toUtf8().constData());
        return 0;
    }
    QString error;
    auto command = CliCommand::parse(arguments, &error);
    if (!command) {
        std::fprintf(stderr, "%s\n%s\n", error.toUtf8().constData(), CliCommand::usage().toUtf8().constData());
        return 2;
    }
    int status = 1;
    QTimer::singleShot(0, [&] {
        [](CliCommand& cmd, int& result) -> QCoro::Task<void> {
            result = co_await cmd.run();
            QCoreApplication::quit();
        }(*command, status);
    });
    QCoreApplication::exec();
    return status;
}
