#include "transferfixture.h"

#include "taskrunner.h"

#include "common/zorvaneerror.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTest>

namespace transferfixture {

QMap<QString, QByteArray> snapshot(const QString& root)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(root).relativeFilePath(path);
        if (it.fileInfo().isDir()) {
            tree.insert(relative + QLatin1Char('/'), {});
        } else {
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            tree.insert(relative, file.readAll());
        }
    }
    return tree;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray pattern(qint64 size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qint64 i = 0; i < size; ++i)
        bytes[i] = char((i * 31 + seed * 7) & 0xff);
    return bytes;
}

QString statusText(const TransferTask* task)
{
    switch (task->status()) {
    case TransferTask::Status::waiting: return QStringLiteral("waiting");
    case TransferTask::Status::running: return QStringLiteral("running");
    case TransferTask::Status::success: return QStringLiteral("success");
    case TransferTask::Status::failed: return QStringLiteral("failed: ") + task->failureMessage();
    }
    return {};
}

std::unique_ptr<ConnectedPhone> connectedPhone(const TransportTimings& timings, const QStringList& phoneArgs,
                                               bool overWiFi)
{
    auto setup = std::make_unique<ConnectedPhone>();
    if (!setup->phone.start(phoneArgs)) {
        qWarning() << setup->phone.errorText();
        return nullptr;
    }
    setup->viewModel = std::make_unique<MacViewModel>(timings);
    MacViewModel& vm = *setup->viewModel;
    try {
        DeviceInfo device;
        if (overWiFi) {
            WiFiDeviceInfo info;
            info.id = QStringLiteral("stand-in");
            info.name = QStringLiteral("演示手机");
            info.endpoint = NetworkEndpoint::hostAndPort(setup->phone.host(), setup->phone.port());
            device = runTask(vm.wifiTransport().connect(info, std::nullopt, false));
        } else {
            device = runTask(vm.wifiTransport().connect(setup->phone.host(), setup->phone.port(), "s", "Pixel",
                                                        std::nullopt));
        }
        runTask(vm.adoptConnection(device, !overWiFi));
    } catch (const std::exception& error) {
        qWarning() << errorDescription(error);
        return nullptr;
    }
    vm.openLocalDirectory(setup->local.path());
    return setup;
}

bool waitForQueue(MacViewModel& viewModel, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!viewModel.transferQueue().isIdle() && !deadline.hasExpired())
        QTest::qWait(20);
    return viewModel.transferQueue().isIdle();
}

TransferTask* lastTask(MacViewModel& viewModel)
{
    return viewModel.tasks()->tasks().last();
}

QStringList tempArchives()
{
    return QDir(QDir::tempPath()).entryList({QStringLiteral("qvx-pull-*")}, QDir::Files);
}

} // namespace transferfixture
