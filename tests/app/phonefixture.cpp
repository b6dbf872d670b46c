#include "phonefixture.h"

#include "phoneprocess.h"
#include "taskrunner.h"

#include "common/zorvaneerror.h"

#include <QDir>
#include <QFile>

namespace phonefixture {

void makeTree(const QString& root, const QStringList& entries)
{
    for (const QString& entry : entries) {
        const QString path = root + QLatin1Char('/') + entry;
        if (entry.endsWith(QLatin1Char('/'))) {
            QDir().mkpath(path);
            continue;
        }
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(entry.toUtf8());
    }
}

bool connect(MacViewModel& viewModel, const PhoneProcess& phone, QString* failure)
{
    try {
        const DeviceInfo device = runTask(viewModel.wifiTransport().connect(
            phone.host(), phone.port(), QStringLiteral("stand-in"), QStringLiteral("WiFi"), std::nullopt));
        runTask(viewModel.adoptConnection(device, false));
        return true;
    } catch (const std::exception& error) {
        *failure = errorDescription(error);
        return false;
    }
}

QStringList remoteIds(MacViewModel& viewModel)
{
    QStringList ids;
    for (const TransferEntry& entry : viewModel.remoteItems()->entries())
        ids << entry.id;
    return ids;
}

QStringList remoteNames(MacViewModel& viewModel)
{
    QStringList names;
    for (const TransferEntry& entry : viewModel.remoteItems()->entries())
        names << entry.name;
    return names;
}

TransferEntry remoteEntry(MacViewModel& viewModel, const QString& id)
{
    for (const TransferEntry& entry : viewModel.remoteItems()->entries()) {
        if (entry.id == id)
            return entry;
    }
    return {};
}

} // namespace phonefixture
