#include "phoneprocess.h"
#include "scopedsettings.h"
#include "taskrunner.h"

#include "app/macviewmodel.h"
#include "transport/phoneaddress.h"
#include "ui/application.h"
#include "common/languagemanager.h"

#include <QDir>
#include <QFile>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList g_qmlWarnings;

void recordWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_qmlWarnings << QString::fromUtf8(context.file ? context.file : "") + QLatin1Char(' ') + message;
}

// Every non-empty text the window's items show, visible or not.
QStringList shownTexts(QQuickItem* item)
{
    QStringList texts;
    const QVariant text = item->property("text");
    if (text.isValid() && !text.toString().isEmpty())
        texts << text.toString();
    for (QQuickItem* child : item->childItems())
        texts << shownTexts(child);
    return texts;
}

} // namespace

// The window as the app opens it: it loads without a QML warning, keeps its minimum size, and
// shows the view model's state in Chinese, before and after a phone is connected.
class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void windowShowsThePanesAndThePhone()
    {
        PhoneProcess phone;
        QVERIFY2(phone.start({"--name", "演示手机", "--system-version", "iOS 17.5"}), qPrintable(phone.errorText()));
        QDir().mkpath(phone.root() + "/照片");
        QFile(phone.root() + "/说明.txt").open(QIODevice::WriteOnly);
        QTemporaryDir local;
        QFile(local.filePath("笔记.txt")).open(QIODevice::WriteOnly);

        const QtMessageHandler previous = qInstallMessageHandler(recordWarnings);
        LanguageManager::shared();
        MacViewModel viewModel;
        QQmlApplicationEngine engine;
        QVERIFY(Application::loadMainWindow(engine, viewModel));
        auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
        QVERIFY(window);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(window->minimumWidth() >= 980 && window->minimumHeight() >= 600);
        QVERIFY(window->width() >= window->minimumWidth() && window->height() >= window->minimumHeight());

        QStringList texts = shownTexts(window->contentItem());
        for (const char* expected : {"PC 本地", "文件舱", "推送", "拉取", "传输任务", "选择文件夹", "未连接 iPhone / Android"})
            QVERIFY2(texts.contains(QString::fromUtf8(expected)), expected);

        viewModel.openLocalDirectory(local.path());
        const PhoneAddress address{phone.host(), phone.port()};
        QVERIFY(runTask(viewModel.connectByAddress(address.host, address.port, std::nullopt)));
        QTest::qWait(100); // the list views create their rows
        texts = shownTexts(window->contentItem());
        for (const char* expected : {"演示手机", "照片", "说明.txt", "笔记.txt"})
            QVERIFY2(texts.contains(QString::fromUtf8(expected)), expected);

        qInstallMessageHandler(previous);
        QVERIFY2(g_qmlWarnings.isEmpty(), qPrintable(g_qmlWarnings.join('\n')));
    }

private:
    ScopedSettings m_settings;
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
