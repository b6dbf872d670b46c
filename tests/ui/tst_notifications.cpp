// The desktop notification at the end of a long run of transfers, received by a stand-in of the
// notification service on a session bus of the test's own.
#include "phoneprocess.h"
#include "scopedsettings.h"
#include "taskrunner.h"

#include "app/macviewmodel.h"
#include "ui/transfernotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace std::chrono_literals;

// Answers Notify as a desktop's notification service would, keeping what it was told.
class NotificationService : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Received
    {
        QString app;
        QString icon;
        QString summary;
        QString body;
    };
    QList<Received> received;

public slots:
    uint Notify(const QString& app, uint, const QString& icon, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap&, int)
    {
        received << Received{app, icon, summary, body};
        return uint(received.size());
    }
};

class NotificationsTest : public QObject
{
    Q_OBJECT

private:
    ScopedSettings m_settings;
    QProcess m_bus;
    QString m_address;
    NotificationService m_service;
    QTemporaryDir m_local;

    bool startService()
    {
        QDBusConnection standIn = QDBusConnection::connectToBus(m_address, QStringLiteral("stand-in"));
        return standIn.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &m_service,
                                      QDBusConnection::ExportAllSlots)
               && standIn.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }

    // A push of `size` bytes to a phone that reads 16 KiB every `pace` ms, with the window active
    // or not; what the service received meanwhile.
    QList<NotificationService::Received> pushWhile(qint64 size, int pace, bool windowActive)
    {
        PhoneProcess phone;
        if (!phone.start({"--name", "演示手机", "--fault", QStringLiteral("/upload:slow-read:%1").arg(pace)}))
            return {};
        MacViewModel viewModel({}, false);
        TransferNotifier notifier(viewModel, [windowActive] { return windowActive; });
        notifier.setLongRun(1500ms);
        if (!runTask(viewModel.connectByAddress(phone.host(), phone.port(), std::nullopt)))
            return {};
        const QString path = m_local.filePath(QStringLiteral("片段-%1.bin").arg(size));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray(size, 'n'));
        file.close();
        const qsizetype before = m_service.received.size();
        viewModel.pushURLs({path});
        QDeadlineTimer deadline(30000);
        while (!viewModel.transferQueue().isIdle() && !deadline.hasExpired())
            QTest::qWait(20);
        // Time for a call on its way to arrive.
        QTest::qWait(300);
        return m_service.received.mid(before);
    }

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable("dbus-daemon").isEmpty())
            QSKIP("dbus-daemon is not installed");
        m_bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QVERIFY(m_bus.waitForReadyRead(10000));
        m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
        QVERIFY(!m_address.isEmpty());
        // Before anything asks for the session bus, which is made once per process.
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toUtf8());
        QVERIFY(QDBusConnection::sessionBus().isConnected());
    }

    void cleanupTestCase()
    {
        m_bus.kill();
        m_bus.waitForFinished();
    }

    void withoutAServiceNothingWaits()
    {
        // No service yet: the long run ends as always and nothing is received.
        QVERIFY(pushWhile(1200 * 1024, 40, false).isEmpty());
        QVERIFY(!QDBusConnection::sessionBus().interface()->isServiceRegistered("org.freedesktop.Notifications"));
    }

    void oneNotificationForALongRunInTheBackground()
    {
        QVERIFY(startService());
        const auto received = pushWhile(1200 * 1024, 40, false);
        QCOMPARE(received.size(), 1);
        QCOMPARE(received[0].app, QStringLiteral("Zorvane"));
        QCOMPARE(received[0].icon, QStringLiteral("io.zorvane.Zorvane"));
        QCOMPARE(received[0].summary, QStringLiteral("传输完成"));
        QCOMPARE(received[0].body, QStringLiteral("已推送 1 项到 演示手机"));
    }

    void noneForAShortRunOrAnActiveWindow()
    {
        QVERIFY(QDBusConnection::sessionBus().interface()->isServiceRegistered("org.freedesktop.Notifications"));
        QVERIFY(pushWhile(10 * 1024, 1, false).isEmpty());
        QVERIFY(pushWhile(1200 * 1024, 40, true).isEmpty());
    }

    void whatARunSays()
    {
        TransferTask pushed("a.jpg", TransferTask::Direction::push, 1);
        TransferTask pulled("b.mov", TransferTask::Direction::pull, 1);
        TransferTask failed("c.pdf", TransferTask::Direction::push, 1);
        for (TransferTask* task : {&pushed, &pulled, &failed})
            task->setRunning();
        pushed.setSuccess();
        pulled.setSuccess();
        failed.setFailed("手机可用空间不足");
        auto said = TransferNotifier::describe({&pushed, &pulled}, "演示手机");
        QCOMPARE(said.body, QStringLiteral("已推送 1 项到 演示手机，已从 演示手机 拉取 1 项"));
        said = TransferNotifier::describe({&pushed, &failed}, "演示手机");
        QCOMPARE(said.title, QStringLiteral("传输失败"));
        QCOMPARE(said.body, QStringLiteral("c.pdf：手机可用空间不足"));
    }
};

QTEST_GUILESS_MAIN(NotificationsTest)
#include "tst_notifications.moc"
