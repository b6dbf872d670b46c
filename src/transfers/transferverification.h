#pragma once

#include "verifyoutcome.h"

#include <QCoroTask>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

class WiFiTransport;

// Compares SHA-256 digests of a transferred file or folder on this computer and on the phone.
// Local digests are computed on the thread pool, so a large file never stalls the window. No
// check ever fails: every problem is an outcome.
namespace TransferVerification {

QCoro::Task<VerifyOutcome> verifyFile(WiFiTransport& transport, QString localPath, QString remotePath);
QCoro::Task<VerifyOutcome> verifyTree(WiFiTransport& transport, QString localRoot, QString remoteRoot);

// The phone's side of a file check: its digest, none when it offers none, or the request's
// error text.
struct PhoneFile
{
    std::optional<QString> digest;
    std::optional<QString> requestError;
};
QCoro::Task<PhoneFile> askPhoneFile(WiFiTransport& transport, QString remotePath);

// A file check whose sides are both known: this computer's digest (none when it could not be
// made) and the phone's answer.
VerifyOutcome compareFile(const std::optional<QString>& local, const PhoneFile& phone);

// The phone's side of a folder check: its tree map, none when it offers no digests, or the
// request's error text.
struct PhoneTree
{
    std::optional<QMap<QString, QString>> map;
    std::optional<QString> requestError;
};
QCoro::Task<PhoneTree> askPhoneTree(WiFiTransport& transport, QString remoteRoot);

// A folder check whose phone side was asked already: after a pull, the phone's folder is the
// same before and after the transfer, so it can be asked while this computer still unpacks.
QCoro::Task<VerifyOutcome> verifyTreeAgainst(QString localRoot, PhoneTree phone);
// The same check when this computer's digests were made as the files were written or sent (path
// below the folder → digest, see TarExtractor::digests() and TarStreamSource::digests()): nothing
// is read again. Items a walk of the folder would leave out (hidden ones, "__MACOSX") are left
// out here too.
QCoro::Task<VerifyOutcome> verifyTreeDigests(QMap<QString, QString> ours, PhoneTree phone);
// The paths of `tree` a walk of the folder would take in: no hidden item, nothing inside a
// hidden folder or a "__MACOSX" one.
QMap<QString, QString> walkedItemsOf(QMap<QString, QString> tree);

// Local paths the phone lacks or holds with other bytes, in the local map's order.
struct TreeDifference
{
    QStringList missing;
    QStringList differing;
};
TreeDifference differenceOf(const QMap<QString, QString>& local, const QMap<QString, QString>& phone);
VerifyOutcome outcomeOf(const TreeDifference& difference);

// Compares a local tree map with the phone's (already normalized) one.
VerifyOutcome compareTrees(const QMap<QString, QString>& local, const QMap<QString, QString>& phone);

// Some phones put the folder's own name in front of every path; drop it when no path matches as is.
QMap<QString, QString> normalizeTreeMap(const QMap<QString, QString>& phone, const QSet<QString>& localPaths);

} // namespace TransferVerification
