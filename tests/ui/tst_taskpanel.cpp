// The task panel as the user sees it: the count badge, the active counter, the clear button
// and the rows' percentages, driven by tasks moving through their states.
#include "phoneprocess.h"
#include "scopedsettings.h"
#include "taskrunner.h"
#include "windowdriver.h"

#include "app/macviewmodel.h"
#include "common/languagemanager.h"
#include "ui/application.h"

#include <QDir>
#include <QFile>
#include <QQmlApplicationEngine>
#include <QTemporaryDir>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

using namespace windowdriver;

class TaskPanelTest : public QObject
{
    Q_OBJECT

private slots:
    void countersClearingAndPercentages()
    {
        LanguageManager::shared();
        MacViewModel vm;
        QQmlApplicationEngine engine;
        QVERIFY(Application::loadMainWindow(engine, vm));
        auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QObject* root = engine.rootObjects().first();

        // Nothing yet: the hint, no counters.
        QStringList shown = visibleTexts(window->contentItem());
        QVERIFY(shown.contains("传输任务"));
        QVERIFY(!named(root, "activeCount")->isVisible());
        QVERIFY(!named(root, "clearFinishedButton")->isVisible());
        QVERIFY(shown.filter("暂无任务").size() == 1);

        auto* running = new TransferTask("照片.jpg", TransferTask::Direction::push, 100);
        auto* failing = new TransferTask("报告.pdf", TransferTask::Direction::pull, 100);
        auto* waiting = new TransferTask("歌.mp3", TransferTask::Direction::push, 100);
        for (TransferTask* task : {running, failing, waiting})
            vm.tasks()->append(task);
        running->setRunning();
        running->setProgress(0.999);
        QTRY_VERIFY(named(root, "activeCount")->isVisible());
        QCOMPARE(named(root, "activeCount")->property("text").toString(), QStringLiteral("进行中 3"));
        QVERIFY(!named(root, "clearFinishedButton")->isVisible());
        QTRY_VERIFY2(visibleTexts(named(root, "taskList")).contains("100%"), qPrintable(visibleTexts(named(root, "taskList")).join("|")));

        running->setSuccess();
        failing->setFailed("手机拒绝了这个请求");
        QTRY_VERIFY(named(root, "clearFinishedButton")->isVisible());
        QCOMPARE(named(root, "activeCount")->property("text").toString(), QStringLiteral("进行中 1"));
        QTRY_VERIFY(visibleTexts(named(root, "taskList")).contains("手机拒绝了这个请求"));

        auto* clear = named(root, "clearFinishedButton");
        QTest::mouseClick(window, Qt::LeftButton, {}, clear->mapToScene(QPointF(clear->width() / 2, clear->height() / 2)).toPoint());
        QTRY_COMPARE(vm.tasks()->count(), 1);
        QCOMPARE(vm.tasks()->tasks().first()->name(), QStringLiteral("歌.mp3"));
        QTRY_VERIFY(!named(root, "clearFinishedButton")->isVisible());

        // Collapsed: the list folds away, the header and its counters stay live.
        auto* body = named(root, "taskPanelBody");
        QTRY_COMPARE(body->height(), 151.0); // the divider and the list's fixed 150
        const qreal expandedHeight = body->height();
        click(window, named(root, "taskPanelToggle"));
        QTRY_VERIFY(!body->isVisible());
        waiting->setRunning();
        QTRY_COMPARE(named(root, "activeCount")->property("text").toString(), QStringLiteral("进行中 1"));
        QVERIFY(named(root, "activeCount")->isVisible());
        click(window, named(root, "taskPanelToggle"));
        QTRY_COMPARE(body->height(), expandedHeight);
        QVERIFY(named(root, "taskList")->isVisible());
    }

    // The row's cancel button on a pull the phone has stalled: the old local file stays, nothing
    // half-written is left, and the row says so.
    void cancellingARunningPullFromItsRow()
    {
        PhoneProcess phone;
        QVERIFY2(phone.start({"--fault", "/download:stall-mid:100000"}), qPrintable(phone.errorText()));
        QFile remote(phone.root() + "/视频.mp4");
        QVERIFY(remote.open(QIODevice::WriteOnly));
        remote.write(QByteArray(1'000'000, 'v'));
        remote.close();
        QTemporaryDir local;
        QFile old(local.filePath("视频.mp4"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old");
        old.close();

        OpenWindow w;
        QVERIFY(w.open());
        w.viewModel.openLocalDirectory(local.path());
        QVERIFY(runTask(w.viewModel.connectByAddress(phone.host(), phone.port(), std::nullopt)));
        w.viewModel.setSelectedRemote({"/视频.mp4"});
        w.viewModel.pullSelected();
        TransferTask* task = w.viewModel.tasks()->tasks().last();
        QTRY_VERIFY_WITH_TIMEOUT(task->progress() > 0.05, 10000);

        QQuickItem* cancel = nullptr;
        QTRY_VERIFY((cancel = shownItem(named(w.root(), "taskList"), "cancelTask")) && cancel->isVisible());
        click(w.window, cancel);
        QTRY_VERIFY_WITH_TIMEOUT(task->isFinished(), 3000);
        QCOMPARE(task->failureMessage(), QStringLiteral("已取消"));
        QTRY_VERIFY(visibleTexts(named(w.root(), "taskList")).contains("已取消"));
        QVERIFY(!cancel->isVisible());
        QCOMPARE(QDir(local.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"视频.mp4"});
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old"));
    }

private:
    ScopedSettings m_settings;
};

QTEST_MAIN(TaskPanelTest)
#include "tst_taskpanel.moc"
