#include "phoneprocess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Settings of a user of our own, so runs never touch the real ones.
const QTemporaryDir& userConfig()
{
    static const QTemporaryDir folder;
    return folder;
}

QString settingsFile()
{
    return userConfig().filePath("Zorvane/Zorvane.conf");
}

Run runCli(const QStringList& args, const QString& workingDirectory)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", userConfig().path());
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workingDirectory);
    process.start(qEnvironmentVariable("ZORVANE_CLI_BIN"), args);
    process.waitForFinished(60000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

} // namespace

// zorvane-cli push and pull, run as a user would against the stand-in phone.
class TransferCliTest : public QObject
{
    Q_OBJECT

private slots:
    void pushThenPullBack()
    {
        PhoneProcess phone;
        QVERIFY2(phone.start(), qPrintable(phone.errorText()));
        QTemporaryDir work;
        writeFile(work.filePath("a.bin"), QByteArray(300000, 'a'));
        writeFile(work.filePath("文件夹/b.txt"), "bee");
        QDir(phone.root()).mkpath("收件箱");

        // The window's remembered folder is the user's; the command walks elsewhere without it.
        QTemporaryDir remembered;
        QSettings(settingsFile(), QSettings::IniFormat).setValue("qvx.localDirectoryBookmark", remembered.path());

        // "文件夹/" as the shell completes it.
        const Run push = runCli({"push", "a.bin", "文件夹/", "--to", "/收件箱", "--phone", phone.address()}, work.path());
        QCOMPARE(push.exitCode, 0);
        QVERIFY2(push.out.contains("[VERIFY] a.bin：SHA-256 校验通过\n"), qPrintable(push.out));
        QVERIFY2(push.out.contains("[VERIFY] 文件夹：SHA-256 校验通过\n"), qPrintable(push.out));
        QCOMPARE(readFile(phone.root() + "/收件箱/文件夹/b.txt"), QByteArray("bee"));
        // Not a terminal: no progress line.
        QCOMPARE(push.err, QString());

        QTemporaryDir back;
        const Run pull = runCli({"pull", "/收件箱/a.bin", "/收件箱/文件夹", "--to", back.path(), "--phone", phone.address()},
                                work.path());
        QCOMPARE(pull.exitCode, 0);
        QCOMPARE(readFile(back.filePath("a.bin")), QByteArray(300000, 'a'));
        QCOMPARE(readFile(back.filePath("文件夹/b.txt")), QByteArray("bee"));
        QCOMPARE(QSettings(settingsFile(), QSettings::IniFormat).value("qvx.localDirectoryBookmark").toString(),
                 remembered.path());
    }

    void failuresExitNonZero_data()
    {
        QTest::addColumn<QStringList>("phoneArgs");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("err");
        QTest::newRow("nothing there") << QStringList{} << QStringList{"push", "missing.bin"}
                                       << "missing.bin：本机没有这一项（或它是隐藏项）";
        QTest::newRow("phone refuses the download")
            << QStringList{"--fault", "/download:status:500"} << QStringList{"pull", "/x.txt"}
            << "x.txt：WiFi 拉取失败（HTTP 500）";
        QTest::newRow("phone is full") << QStringList{"--storage-free", "1000"} << QStringList{"push", "x.txt"}
                                       << "x.txt：手机可用空间不足：「x.txt」需要 4 字节，手机仅剩 1 KB。请先在手机端清理空间后重试";
    }

    void failuresExitNonZero()
    {
        QFETCH(QStringList, phoneArgs);
        QFETCH(QStringList, args);
        QFETCH(QString, err);
        PhoneProcess phone;
        QVERIFY2(phone.start(phoneArgs), qPrintable(phone.errorText()));
        writeFile(phone.root() + "/x.txt", "xxxx");
        QTemporaryDir work;
        writeFile(work.filePath("x.txt"), "xxxx");
        const Run run = runCli(args + QStringList{"--phone", phone.address()}, work.path());
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.contains(err), qPrintable(run.err));
    }
};

QTEST_GUILESS_MAIN(TransferCliTest)
#include "tst_transfercli.moc"
