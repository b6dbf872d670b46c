#include "app/macviewmodel.h"
#include "transport/phoneaddress.h"
#include "ui/application.h"
#include "common/languagemanager.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQuickStyle>

#include <cstdio>
#include <optional>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Zorvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Zorvane"));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/Zorvane/applogo.svg")));
    QQuickStyle::setStyle(QStringLiteral("Basic"));

    LanguageManager::shared();

    // A phone can also be named by address (the demo's stand-in, or a phone whose service is not
    // announced on this network).
    QCommandLineParser options;
    options.addHelpOption();
    const QCommandLineOption phoneOption(QStringLiteral("phone"), localized("连接到指定地址的手机"),
                                         QStringLiteral("HOST:PORT"));
    const QCommandLineOption codeOption(QStringLiteral("code"), localized("手机上显示的 6 位配对码"),
                                        QStringLiteral("CODE"));
    options.addOptions({phoneOption, codeOption});
    options.process(app);
    std::optional<PhoneAddress> phone;
    if (options.isSet(phoneOption)) {
        phone = PhoneAddress::parse(options.value(phoneOption));
        if (!phone) {
            std::fprintf(stderr, "%s\n", qPrintable(localized("--phone 需要 HOST:PORT 形式的地址")));
            return 2;
        }
    }
    std::optional<QString> pairingCode;
    if (options.isSet(codeOption))
        pairingCode = options.value(codeOption);

    MacViewModel viewModel({}, true);
    QQmlApplicationEngine engine;
    if (!Application::loadMainWindow(engine, viewModel))
        return 1;
    // Runs while the window is up; a failure shows in the window's connection notice.
    std::optional<QCoro::Task<bool>> connecting;
    if (phone)
        connecting.emplace(viewModel.connectByAddress(phone->host, phone->port, pairingCode));
    return QGuiApplication::exec();
}
