#include "phoneprocess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

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

struct Program
{
    QString path;
    QStringList args;
};

// Runs zorvane-cli with `args`, or `through` (which runs it itself) when given.
Run runCli(const QStringList& args, const QString& workingDirectory, const std::optional<Program>& through = {})
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", userConfig().path());
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workingDirectory);
    if (through)
        process.start(through->path, through->args);
    else
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

    // On a terminal the progress bar is cleared before any other line, so the two never share
    // one. script(1) gives the run a terminal.
    void progressLineNeverSharesALine()
    {
        const QString script = QStandardPaths::findExecutable("script");
        if (script.isEmpty())
            QSKIP("script(1) is not installed: no terminal to draw on");
        PhoneProcess phone;
        QVERIFY2(phone.start(), qPrintable(phone.errorText()));
        QTemporaryDir work;
        writeFile(work.filePath("big.bin"), QByteArray(4000000, 'b'));
        const QString command = QStringLiteral("'%1' push big.bin --phone %2")
                                    .arg(qEnvironmentVariable("ZORVANE_CLI_BIN"), phone.address());
        const Run run = runCli({}, work.path(), Program{script, {"-qec", command, "/dev/null"}});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains("% 推送 big.bin"), qPrintable(run.out));  // the bar was drawn
        const qsizetype verify = run.out.indexOf("[VERIFY] big.bin：SHA-256 校验通过");
        QVERIFY2(verify > 0, qPrintable(run.out));
        QVERIFY2(run.out.mid(0, verify).endsWith("\r\x1b[K"), qPrintable(run.out));
    }

    void failuresExitNonZero_data()
    {
        QTest::addColumn<QStringList>("phoneArgs");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("err");
        QTest::newRow("nothing there") << QStringList{} << QStringList{"push", "missing.bin"}
                                       << "missing.bin：本机没有这一项";
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

    // What a push or a pull tells: its exit status, the "[VERIFY] " lines on standard output, and
    // the rest on standard error, where the "[DIAG] " lines appear only with --verbose.
    void outcomes_data()
    {
        QTest::addColumn<QStringList>("phoneArgs");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");   // a part of standard output
        QTest::addColumn<QStringList>("err");  // parts of standard error; none means it is empty

        const QStringList none;
        const QStringList corrupt{"--fault", "/hash:corrupt-digest", "--fault", "/hashTree:corrupt-digest"};
        QTest::newRow("checked") << none << QStringList{"push", "x.txt"} << 0 << "[VERIFY] x.txt：SHA-256 校验通过\n"
                                 << none;
        QTest::newRow("push check failed")
            << corrupt << QStringList{"push", "x.txt"} << 3 << "[VERIFY] x.txt：SHA-256 校验失败"
            << QStringList{"x.txt：已传送，但 SHA-256 校验未通过或无法完成"};
        QTest::newRow("folder push check failed")
            << corrupt << QStringList{"push", "F"} << 3 << "[VERIFY] F：SHA-256 校验失败"
            << QStringList{"F：已传送，但 SHA-256 校验未通过或无法完成"};
        QTest::newRow("pull check failed")
            << corrupt << QStringList{"pull", "/x.txt", "--to", "back"} << 3 << "[VERIFY] x.txt：SHA-256 校验失败"
            << QStringList{"x.txt：已传送，但 SHA-256 校验未通过或无法完成"};
        QTest::newRow("a failure outweighs a failed check")
            << corrupt << QStringList{"push", "x.txt", "missing.bin"} << 1 << "[VERIFY] x.txt：SHA-256 校验失败"
            << QStringList{"missing.bin：本机没有这一项", "x.txt：已传送，但"};
        QTest::newRow("phone without digests")
            << QStringList{"--no-hash"} << QStringList{"push", "x.txt"} << 0 << "[VERIFY] x.txt：手机端未提供哈希接口"
            << QStringList{"x.txt：已传送；手机不提供 SHA-256 哈希，未能校验"};
        // Named on the command line, a hidden file is the user's choice.
        QTest::newRow("hidden file named") << none << QStringList{"push", ".env"} << 0
                                           << "[VERIFY] .env：SHA-256 校验通过\n" << none;
        QTest::newRow("hidden items in a folder")
            << none << QStringList{"push", "F"} << 0 << "[VERIFY] F：SHA-256 校验通过\n"
            << QStringList{"F：已跳过 2 个隐藏项"};
        // An empty folder is made on the phone: done, with nothing to compare.
        QTest::newRow("folder of hidden items only")
            << none << QStringList{"push", "H"} << 0 << "[VERIFY] H：文件夹内没有文件，已跳过校验\n"
            << QStringList{"H：已跳过 1 个隐藏项"};
        QTest::newRow("empty folder") << none << QStringList{"push", "E"} << 0
                                      << "[VERIFY] E：文件夹内没有文件，已跳过校验\n" << none;
        QTest::newRow("verbose") << none << QStringList{"push", "F", "--verbose"} << 0
                                 << "[VERIFY] F：SHA-256 校验通过\n"
                                 << QStringList{"[DIAG] tryPushFolderAsTar root=", "F：已跳过 2 个隐藏项"};
    }

    void outcomes()
    {
        QFETCH(QStringList, phoneArgs);
        QFETCH(QStringList, args);
        QFETCH(QString, out);
        QFETCH(QStringList, err);
        PhoneProcess phone;
        QVERIFY2(phone.start(phoneArgs), qPrintable(phone.errorText()));
        writeFile(phone.root() + "/x.txt", "xxxx");
        QTemporaryDir work;
        writeFile(work.filePath("x.txt"), "xxxx");
        writeFile(work.filePath(".env"), "SECRET=1");
        writeFile(work.filePath("F/a.txt"), "a");
        writeFile(work.filePath("F/.hidden"), "h");
        writeFile(work.filePath("F/.git/config"), "c");
        writeFile(work.filePath("H/.only"), "o");
        QDir(work.path()).mkpath("E");
        QDir(work.path()).mkpath("back");

        const Run run = runCli(args + QStringList{"--phone", phone.address()}, work.path());
        QTEST(run.exitCode, "exitCode");
        QVERIFY2(run.out.contains(out), qPrintable(run.out));
        QVERIFY2(!run.out.contains("[DIAG]"), qPrintable(run.out));
        if (err.isEmpty())
            QCOMPARE(run.err, QString());
        for (const QString& part : err)
            QVERIFY2(run.err.contains(part), qPrintable(run.err));
        if (!args.contains("--verbose"))
            QVERIFY2(!run.err.contains("[DIAG]"), qPrintable(run.err));
    }

    void interruptCancelsTheRunningTransfer_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("Ctrl+C") << int(SIGINT);
        QTest::newRow("SIGTERM") << int(SIGTERM);
    }

    // The phone stalls mid-file; the signal ends the pull at once, keeps the old local file and
    // leaves nothing half-written.
    void interruptCancelsTheRunningTransfer()
    {
        QFETCH(int, signal);
        PhoneProcess phone;
        QVERIFY2(phone.start({"--fault", "/download:stall-mid:100000"}), qPrintable(phone.errorText()));
        writeFile(phone.root() + "/big.bin", QByteArray(1000000, 'n'));
        QTemporaryDir into;
        writeFile(into.filePath("big.bin"), "old");

        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", userConfig().path());
        cli.setProcessEnvironment(env);
        cli.start(qEnvironmentVariable("ZORVANE_CLI_BIN"),
                  {"pull", "/big.bin", "--to", into.path(), "--phone", phone.address()});
        QVERIFY(cli.waitForStarted());
        // Under way once its temporary file has the stalled bytes.
        const auto partial = [&] {
            for (const QFileInfo& info : QDir(into.path()).entryInfoList(QDir::Files | QDir::Hidden)) {
                if (info.fileName() != "big.bin" && info.size() > 0)
                    return true;
            }
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(partial(), 10000);
        ::kill(pid_t(cli.processId()), signal);
        // Far sooner than the 30 s after which a stalled phone is given up.
        QVERIFY(cli.waitForFinished(5000));
        QCOMPARE(cli.exitStatus(), QProcess::NormalExit);
        QCOMPARE(cli.exitCode(), 1);
        const QString err = QString::fromUtf8(cli.readAllStandardError());
        QVERIFY2(err.contains("big.bin：已取消"), qPrintable(err));
        QCOMPARE(QDir(into.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"big.bin"});
        QCOMPARE(readFile(into.filePath("big.bin")), QByteArray("old"));
    }
};

QTEST_GUILESS_MAIN(TransferCliTest)
#include "tst_transfercli.moc"
