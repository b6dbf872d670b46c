#include "../app/phonefixture.h"
#include "transferfixture.h"

#include "scopedsettings.h"
#include "taskrunner.h"

#include "app/macviewmodel.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;
using namespace transferfixture;

// Cancelling transfers: a waiting one never starts, a running one stops at once and leaves both
// sides as they were, and the queue goes straight on.
class CancelTest : public QObject
{
    Q_OBJECT

private:
    ScopedSettings m_settings;
    QTemporaryDir m_temp;
    // A stalled request would be given up only after 5 s: a cancel must not wait for that.
    TransportTimings m_timings{5000ms, 5000ms, 200ms, 30000ms, 100ms};

    static QStringList phoneEntries(const QString& root)
    {
        return QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    static QMap<QString, QByteArray> withoutAfter(QMap<QString, QByteArray> tree)
    {
        tree.remove(QStringLiteral("after.txt"));
        return tree;
    }

private slots:
    void initTestCase()
    {
        qputenv("TMPDIR", m_temp.path().toUtf8());
    }

    void runningTransferStopsAtOnceAndLeavesBothSidesAsTheyWere_data()
    {
        QTest::addColumn<QStringList>("phoneArgs");
        QTest::addColumn<bool>("pull");
        QTest::addColumn<bool>("folder");
        QTest::newRow("file pull") << QStringList{"--fault", "/download:stall-mid:300000"} << true << false;
        QTest::newRow("folder pull") << QStringList{"--fault", "/downloadFolder:stall-mid:300000"} << true << true;
        QTest::newRow("folder pull, file by file")
            << QStringList{"--no-folder-endpoints", "--fault", "/download:stall-mid:300000"} << true << true;
        QTest::newRow("file push") << QStringList{"--fault", "/upload:slow-read:10"} << false << false;
        QTest::newRow("folder push") << QStringList{"--fault", "/uploadTar:slow-read:10"} << false << true;
    }

    // The computer and the phone each hold an older "big.bin" (or "Album/big.bin"); the transfer
    // that would replace it is cancelled mid-way, and a small push waits behind it.
    void runningTransferStopsAtOnceAndLeavesBothSidesAsTheyWere()
    {
        QFETCH(QStringList, phoneArgs);
        QFETCH(bool, pull);
        QFETCH(bool, folder);
        auto s = connectedPhone(m_timings, phoneArgs);
        QVERIFY(s);
        MacViewModel& vm = *s->viewModel;
        const QString item = folder ? QStringLiteral("Album") : QStringLiteral("big.bin");
        const QString file = folder ? QStringLiteral("Album/big.bin") : QStringLiteral("big.bin");
        const QString& source = pull ? s->phone.root() : s->local.path();
        const QString& target = pull ? s->local.path() : s->phone.root();
        writeFile(source + "/" + file, pattern(4 * 1024 * 1024, 1));
        writeFile(target + "/" + file, pattern(1000, 2));
        writeFile(s->local.filePath("after.txt"), "after");
        const auto localBefore = snapshot(s->local.path());
        const auto phoneBefore = snapshot(s->phone.root());
        runTask(vm.reloadRemote());

        if (pull)
            vm.pull({phonefixture::remoteEntry(vm, "/" + item + (folder ? "/" : ""))});
        else
            vm.pushURLs({s->local.filePath(item)});
        TransferTask* task = lastTask(vm);
        vm.pushURLs({s->local.filePath("after.txt")});
        TransferTask* after = lastTask(vm);
        QTRY_VERIFY_WITH_TIMEOUT(task->progress() > 0.01, 10000);
        const QStringList checksBefore = vm.verificationResults();

        QElapsedTimer sinceCancel;
        sinceCancel.start();
        vm.cancelTask(task->idText());
        QTRY_VERIFY_WITH_TIMEOUT(task->isFinished(), 5000);
        // Well inside the 5 s a stalled request is given: the request was stopped, not abandoned.
        QCOMPARE_LT(sinceCancel.elapsed(), 1500);
        QCOMPARE(statusText(task), QStringLiteral("failed: 已取消"));
        QVERIFY(waitForQueue(vm));
        QCOMPARE(statusText(after), QStringLiteral("success"));
        // Only the push behind it was checked.
        QCOMPARE(vm.verificationResults().size(), checksBefore.size() + 1);
        QVERIFY(vm.verificationResults().last().contains("after.txt"));

        // The computer: no partial or temporary file, the old file as it was.
        QCOMPARE(snapshot(s->local.path()), localBefore);
        QCOMPARE(tempArchives(), QStringList());
        // The phone: nothing deleted; the old file as it was, beside the small push.
        // (The stand-in drops its partial upload once it has read what was already on its way.)
        auto phoneAfter = snapshot(s->phone.root());
        QCOMPARE(phoneAfter.take("after.txt"), QByteArray("after"));
        QTRY_COMPARE_WITH_TIMEOUT(withoutAfter(snapshot(s->phone.root())), phoneBefore, 20000);
        QVERIFY(vm.device());
    }

    void waitingTransferNeverStarts()
    {
        auto s = connectedPhone(m_timings, {"--fault", "/upload:slow-read:5"});
        QVERIFY(s);
        MacViewModel& vm = *s->viewModel;
        QList<TransferTask*> tasks;
        for (int i = 0; i < 3; ++i) {
            const QString path = s->local.filePath(QStringLiteral("f%1.bin").arg(i));
            writeFile(path, pattern(256 * 1024, i));
            vm.pushURLs({path});
            tasks << lastTask(vm);
        }
        QTRY_COMPARE_WITH_TIMEOUT(tasks[0]->status(), TransferTask::Status::running, 10000);
        vm.cancelTask(tasks[1]->idText());
        // Told at once, not when its turn comes.
        QCOMPARE(statusText(tasks[1]), QStringLiteral("failed: 已取消"));
        QCOMPARE(vm.tasks()->activeCount(), 2);
        // Cancelling what has ended changes nothing.
        vm.cancelTask(tasks[1]->idText());
        QVERIFY(waitForQueue(vm));
        QCOMPARE(statusText(tasks[0]), QStringLiteral("success"));
        QCOMPARE(statusText(tasks[1]), QStringLiteral("failed: 已取消"));
        QCOMPARE(statusText(tasks[2]), QStringLiteral("success"));
        QCOMPARE(phoneEntries(s->phone.root()), (QStringList{"f0.bin", "f2.bin"}));
        vm.cancelTask(tasks[0]->idText());
        QCOMPARE(statusText(tasks[0]), QStringLiteral("success"));
    }

    void cancellingEverythingEmptiesTheQueue()
    {
        auto s = connectedPhone(m_timings, {"--fault", "/upload:slow-read:50"});
        QVERIFY(s);
        MacViewModel& vm = *s->viewModel;
        for (int i = 0; i < 3; ++i) {
            const QString path = s->local.filePath(QStringLiteral("f%1.bin").arg(i));
            writeFile(path, pattern(2 * 1024 * 1024, i));
            vm.pushURLs({path});
        }
        QTRY_COMPARE_WITH_TIMEOUT(vm.tasks()->tasks()[0]->status(), TransferTask::Status::running, 10000);
        vm.cancelAllTasks();
        QVERIFY(waitForQueue(vm, 3000));
        for (const TransferTask* task : vm.tasks()->tasks())
            QCOMPARE(statusText(task), QStringLiteral("failed: 已取消"));
        QTRY_COMPARE_WITH_TIMEOUT(phoneEntries(s->phone.root()), QStringList(), 5000);
    }
};

QTEST_GUILESS_MAIN(CancelTest)
#include "tst_cancel.moc"
