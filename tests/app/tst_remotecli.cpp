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
};

void RemoteCliTest::commands_data()
{
    QTest::addColumn<QStringList>("phoneArgs");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
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
    process.start(cli, args + QStringList{"--phone", phone.address()});
    QVERIFY(process.waitForFinished(30000));
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const QString errText = QString::fromUtf8(process.readAllStandardError());

    QTEST(process.exitCode(), "exitCode");
    QTEST(out, "out");
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

QTEST_GUILESS_MAIN(RemoteCliTest)
#include "tst_remotecli.moc"
