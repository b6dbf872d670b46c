// The file-transfer benchmark tool: one transfer or digest per run, so the script can time it and
// measure its memory from outside, next to curl and openssl doing the same work.
//
//   zorvane-fileapi-bench push HOST PORT LOCAL REMOTE
//   zorvane-fileapi-bench pull HOST PORT REMOTE LOCAL
//   zorvane-fileapi-bench sha256 FILE
//
// Prints "seconds=S peak_rss_kib=K" on stderr (the digest on stdout for sha256); exit status 1 on
// failure, with the failure text on stderr.
#include "transport/wifitransport.h"
#include "common/zorvaneerror.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QElapsedTimer>

#include <sys/resource.h>

#include <cstdio>
#include <exception>

namespace {

long peakResidentKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void report(const QElapsedTimer& clock)
{
    std::fprintf(stderr, "seconds=%.6f peak_rss_kib=%ld\n", double(clock.nsecsElapsed()) / 1e9, peakResidentKiB());
}

int usage()
{
    std::fprintf(stderr, "usage: zorvane-fileapi-bench push HOST PORT LOCAL REMOTE | pull HOST PORT REMOTE LOCAL"
                         " | sha256 FILE\n");
    return 2;
}

QCoro::Task<void> transfer(WiFiTransport& transport, QString mode, QString host, int port, QString from, QString to,
                           int& status)
{
    try {
        const QString id = QStringLiteral("bench");
        const std::optional<QString> noCode;
        co_await transport.connect(host, port, id, id, noCode);
        QElapsedTimer clock;
        clock.start();
        if (mode == QLatin1String("push")) {
            co_await transport.pushFile(from, to);
        } else {
            const std::optional<qint64> unknownSize;
            co_await transport.pullFile(from, to, unknownSize);
        }
        report(clock);
        status = 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", qPrintable(errorDescription(error)));
        status = 1;
    }
    QCoreApplication::quit();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);

    if (args.size() == 2 && args[0] == QLatin1String("sha256")) {
        QElapsedTimer clock;
        clock.start();
        const std::optional<QString> digest = WiFiTransport::sha256Hex(args[1]);
        report(clock);
        if (!digest)
            return 1;
        std::printf("%s\n", qPrintable(*digest));
        return 0;
    }
    if (args.size() != 5 || (args[0] != QLatin1String("push") && args[0] != QLatin1String("pull")))
        return usage();

    // The client identity is kept in settings (the script points XDG_CONFIG_HOME elsewhere, so the
    // user's own are left alone and the identity is made once, not in every timed run).
    QCoreApplication::setOrganizationName(QStringLiteral("Zorvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Zorvane"));

    WiFiTransport transport;
    int status = 1;
    QCoro::Task<void> running = transfer(transport, args[0], args[1], args[2].toInt(), args[3], args[4], status);
    if (!running.isReady())
        app.exec();
    return status;
}
