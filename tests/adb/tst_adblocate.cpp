#include "adbtesthelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

QByteArray contentsOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes, QFileDevice::Permissions permissions)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    return QFile::setPermissions(path, permissions);
}

constexpr QFileDevice::Permissions readWrite = QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                               | QFileDevice::ReadUser | QFileDevice::WriteUser;

} // namespace

// Finding adb: the chosen tool is taken and kept, a file without the execute bit gets it, and a
// file that cannot run where it lies is run from a private copy.
class AdbLocateTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_work;
    QString m_noexecMount;

private slots:
    void initTestCase()
    {
        QVERIFY(m_work.isValid());
        // The private copy goes under the per-user application data folder; keep it in here.
        qputenv("XDG_DATA_HOME", m_work.filePath("data").toLocal8Bit());
    }

    void cleanupTestCase()
    {
        if (!m_noexecMount.isEmpty())
            ::umount2(QFile::encodeName(m_noexecMount).constData(), MNT_DETACH);
        qunsetenv("ZORVANE_ADB");
    }

    void chosenToolIsFoundAndKept()
    {
        qputenv("ZORVANE_ADB", "/bin/true");
        AdbBridge bridge;
        QCOMPARE(bridge.locateBinary(), std::optional<QString>("/bin/true"));
        // Found once, kept for the life of the bridge whatever the environment says later.
        qputenv("ZORVANE_ADB", "/bin/false");
        QCOMPARE(bridge.locateBinary(), std::optional<QString>("/bin/true"));
        AdbBridge fresh;
        QCOMPARE(fresh.locateBinary(), std::optional<QString>("/bin/false"));
    }

    void candidateWithoutExecuteBitGetsIt()
    {
        const QString tool = m_work.filePath("plain/adb");
        QVERIFY(QDir().mkpath(m_work.filePath("plain")));
        QVERIFY(writeFile(tool, contentsOf("/bin/true"), readWrite));
        QVERIFY(!QFileInfo(tool).isExecutable());
        qputenv("ZORVANE_ADB", tool.toLocal8Bit());

        AdbBridge bridge(quickTimeouts());
        QCOMPARE(bridge.locateBinary(), std::optional<QString>(tool));
        QVERIFY(QFileInfo(tool).isExecutable());
        QCOMPARE(bridge.run(tool, {}, 5s).status, 0);
    }

    // As on a volume mounted without execution: the bits can be set, the file still cannot run.
    void candidateThatCannotRunInPlaceIsCopied()
    {
        QString tool;
        if (::geteuid() == 0) {
            const QString mount = m_work.filePath("noexec");
            QVERIFY(QDir().mkpath(mount));
            // In a mount namespace of this process only, so nothing outside sees the mount.
            if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
                || ::mount("tmpfs", QFile::encodeName(mount).constData(), "tmpfs",
                           MS_NOEXEC | MS_NOSUID | MS_NODEV, "size=16m") != 0)
                QSKIP("cannot mount a noexec folder here (no mount namespace)");
            m_noexecMount = mount;
            tool = mount + "/adb";
            QVERIFY(writeFile(tool, contentsOf("/bin/true"), readWrite));
        } else {
            // Someone else's file: its bits cannot be changed by this user.
            tool = "/etc/hostname";
            if (!QFileInfo(tool).isFile() || QFileInfo(tool).isExecutable() || QFileInfo(tool).ownerId() == ::geteuid())
                QSKIP("no file of another user to try with");
        }
        qputenv("ZORVANE_ADB", tool.toLocal8Bit());

        const QString copy = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/bin/adb";
        QVERIFY(copy.startsWith(m_work.path()));
        // A copy left from an earlier search is replaced, even a read-only one.
        QVERIFY(QDir().mkpath(QFileInfo(copy).path()));
        QVERIFY(writeFile(copy, "stale", QFileDevice::ReadOwner));

        AdbBridge bridge(quickTimeouts());
        QCOMPARE(bridge.locateBinary(), std::optional<QString>(copy));
        QCOMPARE(contentsOf(copy), contentsOf(tool));
        QVERIFY(QFileInfo(copy).isExecutable());
        if (::geteuid() == 0)
            QCOMPARE(bridge.run(copy, {}, 5s).status, 0);
    }
};

QTEST_GUILESS_MAIN(AdbLocateTest)
#include "tst_adblocate.moc"
