#pragma once

#include "phoneprocess.h"

#include "app/macviewmodel.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// What the transfer tests share: a view model connected to a stand-in phone, and ways to make
// and compare files.
namespace transferfixture {

// Every file under `root` with its bytes, and every folder (as "name/"), by relative path.
QMap<QString, QByteArray> snapshot(const QString& root);
void writeFile(const QString& path, const QByteArray& bytes);
// `size` bytes that differ with `seed`.
QByteArray pattern(qint64 size, int seed);
// "waiting", "running", "success" or "failed: " and the failure's text.
QString statusText(const TransferTask* task);

struct ConnectedPhone
{
    PhoneProcess phone;
    QTemporaryDir local;
    std::unique_ptr<MacViewModel> viewModel;
};

// A stand-in started with `phoneArgs`, connected over WiFi (or as a cable phone) as the
// connection flow does, with `local` open on the left; nothing (after a warning) on failure.
std::unique_ptr<ConnectedPhone> connectedPhone(const TransportTimings& timings, const QStringList& phoneArgs,
                                               bool overWiFi = true);
bool waitForQueue(MacViewModel& viewModel, int timeoutMs = 60000);
TransferTask* lastTask(MacViewModel& viewModel);
// The folder-pull archives left in the temporary folder.
QStringList tempArchives();

} // namespace transferfixture
