// The task panel as the user sees it: the count badge, the active counter, the clear button
// and the rows' percentages, driven by tasks moving through their states.
#include "scopedsettings.h"

#include "app/macviewmodel.h"
#include "common/languagemanager.h"
#include "ui/application.h"

#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

namespace {

template <typename T = QQuickItem>
T* named(QObject* root, const char* name)
{
    return root->findChild<T*>(QString::fromLatin1(name));
}

QStringList visibleTexts(QQuickItem* item)
{
    QStringList texts;
    if (!item->isVisible())
        return texts;
    const QVariant text = item->property("text");
    if (text.isValid() && !text.toString().isEmpty())
        texts << text.toString();
    for (QQuickItem* child : item->childItems())
        texts << visibleTexts(child);
    return texts;
}

} // namespace

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
    }

private:
    ScopedSettings m_settings;
};

QTEST_MAIN(TaskPanelTest)
#include "tst_taskpanel.moc"
