#include "transferverification.h"
#include "common/offthread.h"

#include "archive/tararchive.h"
#include "common/filedigest.h"
#include "transport/wifitransport.h"
#include "common/zorvaneerror.h"
#include "common/texttemplate.h"

#include <QCoroFuture>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <memory>

namespace TransferVerification {

QCoro::Task<VerifyOutcome> verifyFile(WiFiTransport& transport, QString localPath, QString remotePath)
{
    // Both sides hash at the same time: this computer on the thread pool, the phone meanwhile.
    const auto abandon = std::make_shared<std::atomic<bool>>(false);
    auto hashing = startOffThread([localPath, abandon] { return WiFiTransport::sha256Hex(localPath, abandon.get()); });
    auto asking = askPhoneFile(transport, remotePath);
    const PhoneFile phone = co_await asking;
    // A phone without a digest makes the check skipped whatever ours is: ours is not needed.
    if (!phone.requestError && !phone.digest) {
        abandon->store(true);
        co_return VerifyOutcome::skipped();
    }
    const std::optional<QString> local = resultOf(co_await hashing);
    co_return compareFile(local, phone);
}

QCoro::Task<PhoneFile> askPhoneFile(WiFiTransport& transport, QString remotePath)
{
    PhoneFile answer;
    try {
        answer.digest = co_await transport.remoteFileSHA256(remotePath);
    } catch (const std::exception& error) {
        answer.requestError = errorDescription(error);
    }
    co_return answer;
}

VerifyOutcome compareFile(const std::optional<QString>& local, const PhoneFile& phone)
{
    if (!phone.requestError && !phone.digest)
        return VerifyOutcome::skipped();
    if (!local)
        return VerifyOutcome::skipped();
    if (phone.requestError)
        return VerifyOutcome::requestFailed(*phone.requestError);
    if (*phone.digest == *local)
        return VerifyOutcome::passed();
    return VerifyOutcome::mismatch(localizedFormat("本机 %@… / 手机 %@…", {local->left(12), phone.digest->left(12)}));
}

QCoro::Task<PhoneTree> askPhoneTree(WiFiTransport& transport, QString remoteRoot)
{
    PhoneTree answer;
    try {
        answer.map = co_await transport.remoteTreeSHA256(remoteRoot);
    } catch (const std::exception& error) {
        answer.requestError = errorDescription(error);
    }
    co_return answer;
}

namespace {

// This computer's side of a folder check, computed on the thread pool; `abandon` stops it early.
struct LocalTree
{
    QFuture<OffThreadOutcome<QMap<QString, QString>>> hashing;
    std::shared_ptr<std::atomic<bool>> abandon;
};

LocalTree startLocalTree(const QString& localRoot)
{
    // The items a folder archive holds, and no others: no links, no "__MACOSX" leftovers (which
    // travel only file by file, and are then simply not checked).
    const auto abandon = std::make_shared<std::atomic<bool>>(false);
    return {startOffThread([localRoot, abandon] {
                return FileDigest::sha256Manifest(localRoot, abandon.get(), {},
                                                  TarArchive::TarStreamSource::isMacLeftover);
            }),
            abandon};
}

QCoro::Task<VerifyOutcome> compareWithPhone(QMap<QString, QString> tree, PhoneTree phone);

QCoro::Task<VerifyOutcome> finishTreeCheck(LocalTree local, PhoneTree phone)
{
    if (!phone.requestError && !phone.map) {
        local.abandon->store(true);
        co_return VerifyOutcome::skipped();
    }
    QMap<QString, QString> tree = resultOf(co_await local.hashing);
    co_return co_await compareWithPhone(std::move(tree), std::move(phone));
}

QCoro::Task<VerifyOutcome> compareWithPhone(QMap<QString, QString> tree, PhoneTree phone)
{
    if (!phone.requestError && !phone.map)
        co_return VerifyOutcome::skipped();
    if (tree.isEmpty())
        co_return VerifyOutcome::nothingToCheck();
    if (phone.requestError)
        co_return VerifyOutcome::requestFailed(*phone.requestError);
    if (!phone.map)
        co_return VerifyOutcome::skipped();
    // Hundreds of thousands of paths take long enough to compare to be felt: on the thread pool.
    auto comparing = startOffThread([tree = std::move(tree), phoneMap = std::move(*phone.map)] {
        const QStringList localPaths = tree.keys();
        return differenceOf(tree, normalizeTreeMap(phoneMap, QSet<QString>(localPaths.begin(), localPaths.end())));
    });
    co_return outcomeOf(resultOf(co_await comparing));
}

} // namespace

QCoro::Task<VerifyOutcome> verifyTree(WiFiTransport& transport, QString localRoot, QString remoteRoot)
{
    // Both sides at the same time: this computer on the thread pool while the phone is asked.
    const LocalTree local = startLocalTree(localRoot);
    auto asking = askPhoneTree(transport, remoteRoot);
    const PhoneTree phone = co_await asking;
    co_return co_await finishTreeCheck(local, phone);
}

QCoro::Task<VerifyOutcome> verifyTreeAgainst(QString localRoot, PhoneTree phone)
{
    const LocalTree local = startLocalTree(localRoot);
    co_return co_await finishTreeCheck(local, phone);
}

QCoro::Task<VerifyOutcome> verifyTreeDigests(QMap<QString, QString> ours, PhoneTree phone)
{
    co_return co_await compareWithPhone(walkedItemsOf(std::move(ours)), std::move(phone));
}

QMap<QString, QString> walkedItemsOf(QMap<QString, QString> tree)
{
    for (auto it = tree.begin(); it != tree.end();) {
        const QStringList parts = it.key().split(QLatin1Char('/'));
        const bool leftOut = std::any_of(parts.begin(), parts.end(), [](const QString& part) {
            return part.startsWith(QLatin1Char('.')) || TarArchive::TarStreamSource::isMacLeftover(part.toUtf8());
        });
        it = leftOut ? tree.erase(it) : std::next(it);
    }
    return tree;
}

TreeDifference differenceOf(const QMap<QString, QString>& local, const QMap<QString, QString>& phone)
{
    TreeDifference difference;
    for (auto it = local.cbegin(); it != local.cend(); ++it) {
        const auto found = phone.constFind(it.key());
        if (found == phone.cend())
            difference.missing << it.key();
        else if (found.value() != it.value())
            difference.differing << it.key();
    }
    return difference;
}

VerifyOutcome outcomeOf(const TreeDifference& difference)
{
    const QStringList& missing = difference.missing;
    const QStringList& differing = difference.differing;
    if (missing.isEmpty() && differing.isEmpty())
        return VerifyOutcome::passed();
    const QString joiner = QStringLiteral("、");
    QStringList parts;
    if (!missing.isEmpty())
        parts << localizedFormat("手机端缺失 %ld 个（如 %@）", {missing.size(), missing.mid(0, 3).join(joiner)});
    if (!differing.isEmpty())
        parts << localizedFormat("内容不一致 %ld 个（如 %@）", {differing.size(), differing.mid(0, 3).join(joiner)});
    return VerifyOutcome::mismatch(parts.join(QStringLiteral("；")));
}

VerifyOutcome compareTrees(const QMap<QString, QString>& local, const QMap<QString, QString>& phone)
{
    return outcomeOf(differenceOf(local, phone));
}

QMap<QString, QString> normalizeTreeMap(const QMap<QString, QString>& phone, const QSet<QString>& localPaths)
{
    for (auto it = phone.cbegin(); it != phone.cend(); ++it) {
        if (localPaths.contains(it.key()))
            return phone;
    }
    QMap<QString, QString> stripped;
    for (auto it = phone.cbegin(); it != phone.cend(); ++it) {
        const qsizetype slash = it.key().indexOf(QLatin1Char('/'));
        if (slash >= 0)
            stripped.insert(it.key().mid(slash + 1), it.value());
    }
    return stripped.isEmpty() ? phone : stripped;
}

} // namespace TransferVerification
