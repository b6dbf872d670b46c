#pragma once

#include "verifyoutcome.h"

#include <QCoroTask>
#include <QMap>
#include <QSet>
#include <QString>

class WiFiTransport;

// Compares SHA-256 digests of a transferred file or folder on this computer and on the phone.
// Local digests are computed on the thread pool, so a large file never stalls the window. No
// check ever fails: every problem is an outcome.
namespace TransferVerification {

QCoro::Task<VerifyOutcome> verifyFile(WiFiTransport& transport, QString localPath, QString remotePath);
QCoro::Task<VerifyOutcome> verifyTree(WiFiTransport& transport, QString localRoot, QString remoteRoot);

// Compares a local tree map with the phone's (already normalized) one.
VerifyOutcome compareTrees(const QMap<QString, QString>& local, const QMap<QString, QString>& phone);

// Some phones put the folder's own name in front of every path; drop it when no path matches as is.
QMap<QString, QString> normalizeTreeMap(const QMap<QString, QString>& phone, const QSet<QString>& localPaths);

} // namespace TransferVerification
