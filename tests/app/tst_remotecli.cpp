#include "phonefixture.h"
#include "phoneprocess.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// zorvane-cli's file-cabin commands, run as a user would against the stand-in phone.
class RemoteCliTest : public QObject
{
    Q_OBJECT

private slots:
    void commands_data();
    void commands();
    void phonesThatCannotBeUsed_data();
    void phonesThatCannotBeUsed();
    void helpTellsWhatUsersNeedToKnow();
    void phonesByNameOrTheOnlyOne();
};

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs with its settings in `configHome`, or in a folder of its own.
Run runCli(const QStringList& args, const QString& configHome = {})
{
    QTemporaryDir config;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", configHome.isEmpty() ? config.path() : configHome);
    process.setProcessEnvironment(env);
    process.start(qEnvironmentVariable("ZORVANE_CLI_BIN"), args);
    process.waitForFinished(30000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

void RemoteCliTest::commands_data()
{
    QTest::addColumn<QStringList>("phoneArgs");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // the whole of standard output, or "~text" for a part of it
    QTest::addColumn<QString>("err"); // the whole of standard error, or "~text" for a part of it
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");

    const QStringList none;
    // A phone reached by its address is a WiFi connection in failure texts.
    const QString wifi = QStringLiteral("WiFi");

    QTest::newRow("ls root") << none << QStringList{"ls"} << 0 << "—\tDCIM/\n5 B\ta.txt\n" << "" << none << none;
    QTest::newRow("ls folder, typed loosely") << none << QStringList{"ls", "DCIM//"} << 0 << "—\tSub/\n10 B\tx.jpg\n"
                                              << "" << none << none;
    QTest::newRow("ls missing") << none << QStringList{"ls", "/missing"} << 1 << ""
                                << wifi + " 列目录失败（HTTP 404）\n" << none << none;
    QTest::newRow("mkdir") << none << QStringList{"mkdir", "/DCIM/ New "} << 0 << "" << "" << QStringList{"DCIM/New"}
                           << none;
    QTest::newRow("mkdir without parent") << none << QStringList{"mkdir", "/no/New"} << 1 << ""
                                          << wifi + " 建目录失败（HTTP 404）\n" << none << QStringList{"no"};
    QTest::newRow("mkdir root") << none << QStringList{"mkdir", "/"} << 1 << "" << "/：不能对文件舱根目录操作\n"
                                << none << none;
    QTest::newRow("rm in two folders") << none << QStringList{"rm", "/a.txt", "DCIM/x.jpg", "/DCIM/Sub"} << 0 << ""
                                       << "" << QStringList{"DCIM"} << QStringList{"a.txt", "DCIM/x.jpg", "DCIM/Sub"};
    QTest::newRow("rm with a missing path") << none << QStringList{"rm", "/nope", "/a.txt"} << 1 << ""
                                            << "/nope：文件舱里没有这一项\n" << none << QStringList{"a.txt"};
    QTest::newRow("rm refused by the phone")
        << QStringList{"--fault", "/delete:status:500"} << QStringList{"rm", "/a.txt"} << 1 << ""
        << "a.txt：删除失败（HTTP 500）\n" << QStringList{"a.txt"} << none;
    QTest::newRow("mv") << none << QStringList{"mv", "/a.txt", "/DCIM/x.jpg", "/DCIM/Sub"} << 0 << "" << ""
                        << QStringList{"DCIM/Sub/a.txt", "DCIM/Sub/x.jpg"} << QStringList{"a.txt", "DCIM/x.jpg"};
    QTest::newRow("mv into itself") << none << QStringList{"mv", "/DCIM", "/DCIM/Sub"} << 1 << ""
                                    << "DCIM：目标不能是自身或其子目录\n" << QStringList{"DCIM/Sub"}
                                    << QStringList{"DCIM/Sub/DCIM"};
    QTest::newRow("cp") << none << QStringList{"cp", "/DCIM", "/a.txt", "/DCIM/Sub/"} << 1 << ""
                        << "DCIM：目标不能是自身或其子目录\n" << QStringList{"a.txt", "DCIM/Sub/a.txt"} << none;
    QTest::newRow("cp onto an existing name") << none << QStringList{"cp", "/a.txt", "/"} << 1 << ""
                                              << "a.txt：复制失败：同名文件已存在\n" << QStringList{"a.txt"} << none;
    QTest::newRow("rename") << none << QStringList{"rename", "/DCIM/x.jpg", "y.jpg"} << 0 << "" << ""
                            << QStringList{"DCIM/y.jpg"} << QStringList{"DCIM/x.jpg"};
    QTest::newRow("rename with a slash") << none << QStringList{"rename", "/a.txt", "DCIM/a.txt"} << 1 << ""
                                         << "名称不能包含「/」\n" << QStringList{"a.txt"} << QStringList{"DCIM/a.txt"};
    QTest::newRow("pairing needed") << QStringList{"--pairing-code", "246801"} << QStringList{"ls"} << 1 << ""
                                    << "~手机端需要配对" << none << none;
    QTest::newRow("paired with the code") << QStringList{"--pairing-code", "246801"}
                                          << QStringList{"mkdir", "/P", "--code", "246801"} << 0 << "" << ""
                                          << QStringList{"P"} << none;
    const QStringList described{"--name", "测试机", "--system-version", "iOS 17.5", "--storage-free", "5000000000",
                                "--platform", "ios", "--pairing-code", "246801"};
    QTest::newRow("info") << described << QStringList{"info", "--code", "246801"} << 0
                          << "名称：测试机\n系统版本：iOS 17.5\n可用空间：5.00 GB\n平台：ios\n" << "" << none << none;
    QTest::newRow("info with a wrong code")
        << described << QStringList{"info", "--code", "111111"} << 1 << ""
        << "配对码不正确，请核对手机上「连接管理」里显示的 6 位数字\n" << none << none;
    QTest::newRow("operands missing") << none << QStringList{"mv", "/a.txt"} << 2 << "" << "~参数个数不对：mv" << none
                                      << none;
    QTest::newRow("pairing needed says how") << QStringList{"--pairing-code", "246801"} << QStringList{"ls"} << 1 << ""
                                             << "~再运行一次：加上 --code 配对码" << none << none;
    QTest::newRow("option=value") << QStringList{"--pairing-code", "246801"}
                                  << QStringList{"mkdir", "--code=246801", "/P"} << 0 << "" << "" << QStringList{"P"}
                                  << none;
    QTest::newRow("-- before a name with a dash") << none << QStringList{"mkdir", "--", "-n"} << 0 << "" << ""
                                                  << QStringList{"-n"} << none;
    QTest::newRow("a dash name without --") << none << QStringList{"mkdir", "-n"} << 2 << "" << "~未知选项：-n"
                                            << none << QStringList{"-n"};
    QTest::newRow("an option the command does not take")
        << none << QStringList{"ls", "--to", "/DCIM"} << 2 << "" << "~ls 不接受 --to" << none << none;
    QTest::newRow("rename to nothing") << none << QStringList{"rename", "/a.txt", ""} << 2 << "" << "~新名称不能为空"
                                       << QStringList{"a.txt"} << none;
    QTest::newRow("rename to blanks") << none << QStringList{"rename", "/a.txt", "  "} << 2 << ""
                                      << "~新名称不能为空" << QStringList{"a.txt"} << none;
    QTest::newRow("help") << none << QStringList{"help"} << 0 << "~退出码：" << "" << none << none;
    QTest::newRow("version") << none << QStringList{"--version"} << 0 << "~zorvane-cli " << "" << none << none;
}

void RemoteCliTest::commands()
{
    QFETCH(QStringList, phoneArgs);
    QFETCH(QStringList, args);
    QFETCH(QString, err);

    const QString cli = qEnvironmentVariable("ZORVANE_CLI_BIN");
    QVERIFY(!cli.isEmpty());
    PhoneProcess phone;
    QVERIFY2(phone.start(phoneArgs), qPrintable(phone.errorText()));
    phonefixture::makeTree(phone.root(), {"a.txt", "DCIM/x.jpg", "DCIM/Sub/"});

    QTemporaryDir config;
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", config.path());
    process.setProcessEnvironment(env);
    // The address first: after a "--" everything is a name.
    process.start(cli, QStringList{"--phone", phone.address()} + args);
    QVERIFY(process.waitForFinished(30000));
    const QString outText = QString::fromUtf8(process.readAllStandardOutput());
    const QString errText = QString::fromUtf8(process.readAllStandardError());

    QTEST(process.exitCode(), "exitCode");
    QFETCH(QString, out);
    if (out.startsWith('~'))
        QVERIFY2(outText.contains(out.mid(1)), qPrintable(outText));
    else
        QCOMPARE(outText, out);
    if (err.startsWith('~'))
        QVERIFY2(errText.contains(err.mid(1)), qPrintable(errText));
    else
        QCOMPARE(errText, err);
    QFETCH(QStringList, present);
    for (const QString& path : present)
        QVERIFY2(QFileInfo::exists(phone.root() + "/" + path), qPrintable(path));
    QFETCH(QStringList, absent);
    for (const QString& path : absent)
        QVERIFY2(!QFileInfo::exists(phone.root() + "/" + path), qPrintable(path));
}

// What was tried and why it failed, in words a user can act on. "ADDRESS" is the stand-in's.
void RemoteCliTest::phonesThatCannotBeUsed_data()
{
    QTest::addColumn<QStringList>("phoneArgs");
    QTest::addColumn<QString>("phone");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");

    const QStringList none;
    QTest::newRow("nothing listening") << none << "127.0.0.1:1" << 1 << "无法连接 127.0.0.1:1：连接被拒绝\n";
    QTest::newRow("written as a web address") << none << "http://ADDRESS/" << 0 << "";
    QTest::newRow("another scheme") << none << "https://ADDRESS" << 2 << "~--phone 需要 HOST:PORT";
    QTest::newRow("a web server without /info")
        << QStringList{"--fault", "/info:status:404"} << "ADDRESS" << 1
        << "ADDRESS 上的服务不是手机的文件服务（/info 答复 HTTP 404）\n";
    QTest::newRow("a web server answering something else")
        << QStringList{"--fault", "/info:status:200"} << "ADDRESS" << 1
        << "ADDRESS 上的服务不像手机的文件服务：手机信息无法解读：不是有效的 JSON 对象\n";
}

void RemoteCliTest::phonesThatCannotBeUsed()
{
    QFETCH(QStringList, phoneArgs);
    QFETCH(QString, phone);
    QFETCH(QString, err);
    PhoneProcess stand;
    QVERIFY2(stand.start(phoneArgs), qPrintable(stand.errorText()));
    phone.replace("ADDRESS", stand.address());
    err.replace("ADDRESS", stand.address());

    const Run run = runCli({"ls", "--phone", phone});
    QTEST(run.exitCode, "exitCode");
    if (err.startsWith('~'))
        QVERIFY2(run.err.contains(err.mid(1)), qPrintable(run.err));
    else
        QCOMPARE(run.err, err);
}

void RemoteCliTest::helpTellsWhatUsersNeedToKnow()
{
    const Run run = runCli({"--help"});
    QCOMPARE(run.exitCode, 0);
    for (const char* part : {"退出码", "3  已传送，但 SHA-256 校验未通过", "会替换目标文件夹里的同名文件", "配对会被记住",
                             "--verbose", "--version"})
        QVERIFY2(run.out.contains(QString::fromUtf8(part)), part);
}

// Without --phone a run finds its phone: by --device among the phones found and remembered, or
// the only one there is. (Discovery finds nothing here; the phones are remembered ones.)
void RemoteCliTest::phonesByNameOrTheOnlyOne()
{
    QTemporaryDir config;
    PhoneProcess living, kitchen;
    QVERIFY2(living.start({"--name", "客厅的手机"}), qPrintable(living.errorText()));
    QVERIFY2(kitchen.start({"--name", "厨房的手机"}), qPrintable(kitchen.errorText()));
    phonefixture::makeTree(living.root(), {"客厅.txt"});

    Run run = runCli({"ls"}, config.path());
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("没有找到手机"), qPrintable(run.err));
    QVERIFY2(run.err.contains("--phone HOST:PORT"), qPrintable(run.err));

    // Reached once by address, it is remembered under its own name.
    QCOMPARE(runCli({"info", "--phone", living.address()}, config.path()).exitCode, 0);
    run = runCli({"devices"}, config.path());
    QVERIFY2(run.out.contains("客厅的手机\t按地址\t地址：" + living.address() + "\n"), qPrintable(run.out));

    run = runCli({"ls"}, config.path());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QString("10 B\t客厅.txt\n"));

    QCOMPARE(runCli({"info", "--phone", kitchen.address()}, config.path()).exitCode, 0);
    run = runCli({"ls"}, config.path());
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains("--device") && run.err.contains("客厅的手机") && run.err.contains("厨房的手机"),
             qPrintable(run.err));

    run = runCli({"ls", "--device", "客厅的手机"}, config.path());
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QString("10 B\t客厅.txt\n"));
    run = runCli({"ls", "--device=阳台的手机"}, config.path());
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains("没有找到名为「阳台的手机」的手机"), qPrintable(run.err));
    run = runCli({"ls", "--device", "客厅的手机", "--phone", living.address()}, config.path());
    QCOMPARE(run.exitCode, 2);
}

QTEST_GUILESS_MAIN(RemoteCliTest)
#include "tst_remotecli.moc"
