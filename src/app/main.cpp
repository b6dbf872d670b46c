#include "app/macviewmodel.h"
#include "transport/phoneaddress.h"
#include "ui/application.h"
#include "ui/transfernotifier.h"
#include "common/languagemanager.h"

#include <QCommandLineParser>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QPointer>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <unistd.h>

namespace {

// Milliseconds since the kernel started this process, so the dynamic loading before main counts;
// good to one clock tick (10 ms at the usual 100 Hz).
long long msSinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Field 22, the start in ticks since boot, counted from field 3 after the command name (which
    // may hold spaces).
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const long long startTicks = fields.value(22 - 3).toLongLong();
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000 - startTicks * 1000 / sysconf(_SC_CLK_TCK);
}

// For bench/window/run.sh: the first frame ends the run, saying how long it took to come.
void reportFirstFrame(QQmlApplicationEngine& engine)
{
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().value(0));
    if (!window)
        return;
    // Direct, so a threaded render loop's time is taken on its render thread as the frame ends.
    auto reported = std::make_shared<std::atomic_bool>(false);
    QObject::connect(window, &QQuickWindow::frameSwapped, window, [reported] {
        if (reported->exchange(true))
            return;
        std::printf("first frame after %lld ms\n", msSinceProcessStart());
        std::fflush(stdout);
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }, Qt::DirectConnection);
}

struct CommandLine
{
    QCommandLineParser parser;
    // A phone can also be named by address (the demo's stand-in, or a phone whose service is not
    // announced on this network).
    QCommandLineOption phone{QStringLiteral("phone"), localized("连接到指定地址的手机"), QStringLiteral("HOST:PORT")};
    QCommandLineOption code{QStringLiteral("code"), localized("手机上显示的 6 位配对码"), QStringLiteral("CODE")};

    CommandLine()
    {
        parser.setApplicationDescription(localized("在电脑和手机之间传送文件，并用 SHA-256 校验"));
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addOptions({phone, code});
    }
};

// --help and --version answer in a terminal without a display.
bool asksForHelpOrVersion(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--")
            return false;
        if (arg == "--help" || arg == "-h" || arg == "--help-all" || arg == "--version" || arg == "-v")
            return true;
    }
    return false;
}

void nameTheApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Zorvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Zorvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZORVANE_VERSION));
}

} // namespace

int main(int argc, char* argv[])
{
    if (asksForHelpOrVersion(argc, argv)) {
        QCoreApplication core(argc, argv);
        nameTheApplication();
        LanguageManager::shared();
        CommandLine commandLine;
        commandLine.parser.process(core);  // prints and exits
        return 0;
    }
    QGuiApplication app(argc, argv);
    nameTheApplication();
    // Ties the window to its launcher (and its icon) on X11 and Wayland desktops.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.zorvane.Zorvane"));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/Zorvane/applogo.svg")));
    QQuickStyle::setStyle(QStringLiteral("Basic"));

    LanguageManager::shared();

    CommandLine commandLine;
    QCommandLineParser& options = commandLine.parser;
    const QCommandLineOption& phoneOption = commandLine.phone;
    const QCommandLineOption& codeOption = commandLine.code;
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
    if (qEnvironmentVariableIsSet("ZORVANE_REPORT_FIRST_FRAME"))
        reportFirstFrame(engine);
    const QPointer<QQuickWindow> window = qobject_cast<QQuickWindow*>(engine.rootObjects().value(0));
    TransferNotifier notifier(viewModel, [window] { return window && window->isActive(); });
    // Runs while the window is up; a failure shows in the window's connection notice.
    std::optional<QCoro::Task<bool>> connecting;
    if (phone)
        connecting.emplace(viewModel.connectByAddress(phone->host, phone->port, pairingCode));
    return QGuiApplication::exec();
}
