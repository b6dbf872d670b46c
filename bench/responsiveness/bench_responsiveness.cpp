// How long the GUI thread's event loop goes without turning while the view model does heavy work,
// measured as the longest interval between two ticks of a 10 ms timer:
//
//   zorvane-responsiveness-bench PHONE_BIN SCRATCH_DIR folder-push|batch-push|bulk-delete [COUNT]
//
//   folder-push  push one folder of COUNT empty files (default 100,000)
//   batch-push   queue 500 single-file pushes chosen from a folder of COUNT files (default 20,000)
//   bulk-delete  select COUNT phone entries (default 10,000) and delete them
//
// Starts its own zorvane-phone on loopback. Prints one line: the scenario, the worst and median
// interval in ms, the tick count and the seconds the work took; exit status 1 when the work failed.
#include "app/macviewmodel.h"
#include "transport/phoneaddress.h"

#include <QCoreApplication>
#include <QCoroTask>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Ticks of a 10 ms timer on this thread; the intervals between them.
class TickRecorder
{
public:
    TickRecorder()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_intervals.push_back(double(m_clock.nsecsElapsed()) / 1e6);
            m_clock.restart();
        });
    }
    void start()
    {
        m_clock.start();
        m_timer.start();
    }
    void stop()
    {
        m_timer.stop();
        m_intervals.push_back(double(m_clock.nsecsElapsed()) / 1e6);
    }
    double worst() const { return m_intervals.empty() ? 0 : *std::max_element(m_intervals.begin(), m_intervals.end()); }
    double median() const
    {
        std::vector<double> sorted = m_intervals;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0 : sorted[sorted.size() / 2];
    }
    size_t count() const { return m_intervals.size(); }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    std::vector<double> m_intervals;
};

void makeFiles(const QString& folder, int count, const QByteArray& content)
{
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        QFile file(folder + QStringLiteral("/file-%1.txt").arg(i, 6, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(file.fileName()));
    }
}

bool startPhone(QProcess& phone, const QString& binary, const QString& root, QString& address)
{
    phone.start(binary, {QStringLiteral("--root"), root, QStringLiteral("--port"), QStringLiteral("0")});
    if (!phone.waitForStarted(5000))
        return false;
    static const QRegularExpression listening(QStringLiteral("^listening on (.+)$"));
    while (phone.waitForReadyRead(10000)) {
        while (phone.canReadLine()) {
            const auto match = listening.match(QString::fromUtf8(phone.readLine()).trimmed());
            if (match.hasMatch()) {
                address = match.captured(1);
                return true;
            }
        }
    }
    return false;
}

QCoro::Task<void> waitUntilIdle(MacViewModel& viewModel)
{
    while (!viewModel.transferQueue().isIdle()) {
        QTimer wait;
        wait.setSingleShot(true);
        QEventLoop loop;
        QObject::connect(&viewModel.transferQueue(), &TransferQueue::idle, &loop, &QEventLoop::quit);
        QObject::connect(&wait, &QTimer::timeout, &loop, &QEventLoop::quit);
        wait.start(100);
        loop.exec();
    }
    co_return;
}

QCoro::Task<int> measure(QString phoneBinary, QString scratch, QString scenario, int count)
{
    const QString cabin = scratch + QStringLiteral("/cabin");
    const QString local = scratch + QStringLiteral("/local");
    QDir().mkpath(cabin);
    QDir().mkpath(local);
    if (scenario == QLatin1String("folder-push"))
        makeFiles(local + QStringLiteral("/big"), count, {});
    else if (scenario == QLatin1String("batch-push"))
        makeFiles(local, count, QByteArray(1024, 'x'));
    else if (scenario == QLatin1String("bulk-delete"))
        makeFiles(cabin + QStringLiteral("/many"), count, QByteArray("x"));
    else
        co_return 2;

    QProcess phone;
    QString address;
    if (!startPhone(phone, phoneBinary, cabin, address)) {
        std::fprintf(stderr, "zorvane-phone did not start\n");
        co_return 1;
    }
    MacViewModel viewModel({}, false);
    const auto parsed = PhoneAddress::parse(address);
    if (!parsed) {
        std::fprintf(stderr, "bad address %s\n", qPrintable(address));
        co_return 1;
    }
    const std::optional<QString> noCode;
    if (!co_await viewModel.connectByAddress(parsed->host, parsed->port, noCode)) {
        std::fprintf(stderr, "cannot connect: %s\n", qPrintable(viewModel.wifiErrorMessage()));
        co_return 1;
    }
    viewModel.openLocalDirectory(local);

    TickRecorder ticks;
    QElapsedTimer clock;
    clock.start();
    ticks.start();
    if (scenario == QLatin1String("folder-push")) {
        viewModel.setSelectedLocal({local + QStringLiteral("/big")});
        viewModel.pushSelected();
        co_await waitUntilIdle(viewModel);
    } else if (scenario == QLatin1String("batch-push")) {
        QStringList picked;
        const QList<TransferEntry>& entries = viewModel.localItems()->entries();
        for (qsizetype i = 0; i < entries.size() && picked.size() < 500; i += std::max<qsizetype>(1, entries.size() / 500))
            picked << entries[i].id;
        viewModel.setSelectedLocal(picked);
        viewModel.pushSelected();
        co_await waitUntilIdle(viewModel);
    } else {
        const QString folder = QStringLiteral("/many");
        co_await viewModel.goRemoteTo(folder);
        QStringList all;
        for (const TransferEntry& entry : viewModel.remoteItems()->entries())
            all << entry.id;
        viewModel.setSelectedRemote(all);
        co_await viewModel.deleteRemoteSelection();
    }
    ticks.stop();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;

    int failed = 0;
    for (const TransferTask* task : viewModel.tasks()->tasks())
        failed += task->status() == TransferTask::Status::failed ? 1 : 0;
    if (scenario == QLatin1String("bulk-delete") && !viewModel.remoteItems()->entries().isEmpty())
        failed += int(viewModel.remoteItems()->entries().size());
    std::printf("%s count=%d worst_ms=%.1f median_ms=%.1f ticks=%zu seconds=%.2f failed=%d\n", qPrintable(scenario),
                count, ticks.worst(), ticks.median(), ticks.count(), seconds, failed);
    phone.kill();
    phone.waitForFinished();
    co_return failed == 0 ? 0 : 1;
}

QCoro::Task<void> measureAndQuit(QStringList args, QString scenario, int count, int* status)
{
    *status = co_await measure(args[1], args[2], scenario, count);
    QCoreApplication::quit();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4) {
        std::fprintf(stderr, "usage: zorvane-responsiveness-bench PHONE_BIN SCRATCH_DIR "
                             "folder-push|batch-push|bulk-delete [COUNT]\n");
        return 2;
    }
    const QString scenario = args[3];
    int count = args.size() > 4 ? args[4].toInt() : 0;
    if (count <= 0)
        count = scenario == QLatin1String("folder-push") ? 100000 : scenario == QLatin1String("batch-push") ? 20000 : 10000;
    int status = 2;
    QTimer::singleShot(0, [&] { measureAndQuit(args, scenario, count, &status); });
    app.exec();
    return status;
}
