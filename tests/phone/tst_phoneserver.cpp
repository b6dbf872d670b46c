#include "phoneprocess.h"
#include "rawhttp.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>
#include <memory>
#include <vector>

// The stand-in as a whole process: handshake endpoints, pairing, strict request handling,
// the command line and every fault kind that shapes an answer.
class TestPhoneServer : public QObject
{
    Q_OBJECT

private slots:
    void curlReadsInfo();
    void infoReportsRealFreeSpaceByDefault();
    void pairingSequence();
    void routingStatuses_data();
    void routingStatuses();
    void oversizedHeadIsRefusedAndServerLivesOn();
    void idleConnectionsAreCapped();
    void faultsShapeTheAnswer_data();
    void faultsShapeTheAnswer();
    void silentFaultHoldsOnlyItsOwnConnection();
    void trickleSendsSlowly();
    void limitedFaultFailsOnceThenAnswers();
    void commandLine();

private:
    static RawHttp::Reply get(PhoneProcess& phone, const QByteArray& target,
                              const QByteArray& clientId = "TEST-CLIENT", int timeoutMs = 10000)
    {
        return RawHttp::exchange(phone.host(), phone.port(), RawHttp::request("GET", target, clientId),
                                 timeoutMs);
    }
    static RawHttp::Reply post(PhoneProcess& phone, const QByteArray& target,
                               const QByteArray& clientId = "TEST-CLIENT")
    {
        return RawHttp::exchange(phone.host(), phone.port(), RawHttp::request("POST", target, clientId));
    }
};

void TestPhoneServer::curlReadsInfo()
{
    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    if (curl.isEmpty())
        QSKIP("curl is not installed");
    PhoneProcess phone;
    QVERIFY2(phone.start({QStringLiteral("--name"), QStringLiteral("测试机 A"),
                          QStringLiteral("--system-version"), QStringLiteral("Android 14"),
                          QStringLiteral("--platform"), QStringLiteral("android"),
                          QStringLiteral("--storage-free"), QStringLiteral("123456789012")}),
             qPrintable(phone.errorText()));
    QProcess process;
    process.start(curl, {QStringLiteral("-sS"), QStringLiteral("--max-time"), QStringLiteral("10"),
                         QStringLiteral("http://%1/info").arg(phone.address())});
    QVERIFY(process.waitForFinished(15000));
    QCOMPARE(process.exitCode(), 0);
    QJsonParseError error;
    const QJsonObject info = QJsonDocument::fromJson(process.readAllStandardOutput(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QCOMPARE(info.value(QStringLiteral("name")).toString(), QStringLiteral("测试机 A"));
    QCOMPARE(info.value(QStringLiteral("systemVersion")).toString(), QStringLiteral("Android 14"));
    QCOMPARE(info.value(QStringLiteral("platform")).toString(), QStringLiteral("android"));
    QCOMPARE(info.value(QStringLiteral("storageFree")).toInteger(), 123456789012);
    QVERIFY(info.value(QStringLiteral("gzip")).isBool());
}

void TestPhoneServer::infoReportsRealFreeSpaceByDefault()
{
    PhoneProcess phone;
    QVERIFY2(phone.start(), qPrintable(phone.errorText()));
    const RawHttp::Reply reply = get(phone, "/info");
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.header("content-length").toLongLong(), reply.body.size());
    const QJsonObject info = QJsonDocument::fromJson(reply.body).object();
    QVERIFY(info.value(QStringLiteral("storageFree")).toInteger() > 0);
    QVERIFY(!info.value(QStringLiteral("name")).toString().isEmpty());
    QVERIFY(info.contains(QStringLiteral("systemVersion")));
}

void TestPhoneServer::pairingSequence()
{
    PhoneProcess phone;
    QVERIFY2(phone.start({QStringLiteral("--pairing-code"), QStringLiteral("246810")}),
             qPrintable(phone.errorText()));
    QCOMPARE(get(phone, "/info", "MAC-A").status, 401);
    QCOMPARE(get(phone, "/list?path=/", "MAC-A").status, 401);
    QCOMPARE(post(phone, "/pair?code=111111", "MAC-A").status, 403);
    QCOMPARE(get(phone, "/info", "MAC-A").status, 401);
    QCOMPARE(post(phone, "/pair?code=246810", "MAC-A").status, 200);
    QCOMPARE(get(phone, "/info", "MAC-A").status, 200);
    QCOMPARE(get(phone, "/list?path=/", "MAC-A").status, 200);
    // Pairing is per client: another computer, or one without an identity, is still refused.
    QCOMPARE(get(phone, "/info", "MAC-B").status, 401);
    QCOMPARE(get(phone, "/info", "").status, 401);
}

void TestPhoneServer::routingStatuses_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");

    QTest::newRow("unknown endpoint") << RawHttp::request("GET", "/nothing") << 404;
    QTest::newRow("endpoint path is exact") << RawHttp::request("GET", "/info/") << 404;
    QTest::newRow("POST to /info") << RawHttp::request("POST", "/info") << 405;
    QTest::newRow("GET to /pair") << RawHttp::request("GET", "/pair?code=1") << 405;
    QTest::newRow("pair without pairing code") << RawHttp::request("POST", "/pair?code=1") << 200;
    QTest::newRow("garbage") << QByteArray("hello there\r\n\r\n") << 400;
    QTest::newRow("missing Host") << QByteArray("GET /info HTTP/1.1\r\n\r\n") << 400;
    QTest::newRow("chunked upload") << QByteArray("POST /upload?path=/x HTTP/1.1\r\nHost: t\r\n"
                                                  "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n") << 501;
    QTest::newRow("HTTP/1.0 without Host") << QByteArray("GET /info HTTP/1.0\r\n\r\n") << 200;
}

void TestPhoneServer::routingStatuses()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    PhoneProcess phone;
    QVERIFY2(phone.start(), qPrintable(phone.errorText()));
    const RawHttp::Reply reply = RawHttp::exchange(phone.host(), phone.port(), request);
    QCOMPARE(reply.status, status);
    QVERIFY(reply.closedByPeer);
    QCOMPARE(reply.header("content-length").toLongLong(), reply.body.size());
}

void TestPhoneServer::oversizedHeadIsRefusedAndServerLivesOn()
{
    PhoneProcess phone;
    QVERIFY2(phone.start(), qPrintable(phone.errorText()));
    // Never sends the blank line; the answer must come without it, once the cap is passed.
    QByteArray endless = "GET /info HTTP/1.1\r\nHost: t\r\n";
    while (endless.size() < 200 * 1024)
        endless += "X-Pad: " + QByteArray(200, 'p') + "\r\n";
    const RawHttp::Reply reply = RawHttp::exchange(phone.host(), phone.port(), endless);
    QCOMPARE(reply.status, 431);
    QVERIFY(reply.closedByPeer);
    QCOMPARE(get(phone, "/info").status, 200);
}

void TestPhoneServer::idleConnectionsAreCapped()
{
    PhoneProcess phone;
    QVERIFY2(phone.start(), qPrintable(phone.errorText()));
    // Connections that never send a byte must not pile up without end.
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < 300; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(phone.host(), phone.port());
        QVERIFY(idle.back()->waitForConnected(5000));
    }
    const auto closedCount = [&idle] {
        return std::count_if(idle.begin(), idle.end(), [](const auto& socket) {
            return socket->state() != QAbstractSocket::ConnectedState;
        });
    };
    QTRY_COMPARE(closedCount(), 300 - 256);
    QTest::qWait(300);
    QCOMPARE(closedCount(), 300 - 256);
    // Once they are gone, the server answers again.
    idle.clear();
    QTRY_COMPARE(get(phone, "/info").status, 200);
}

void TestPhoneServer::faultsShapeTheAnswer_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("status");       // 0: no head at all
    QTest::addColumn<int>("bodyBytes");    // -1: the whole body
    QTest::addColumn<bool>("closed");

    QTest::newRow("status") << QStringLiteral("/info:status:503") << 503 << 0 << true;
    QTest::newRow("close") << QStringLiteral("/info:close") << 0 << 0 << true;
    QTest::newRow("head-close") << QStringLiteral("/info:head-close") << 200 << 0 << true;
    QTest::newRow("short") << QStringLiteral("/info:short:7") << 200 << 7 << true;
    QTest::newRow("close-mid") << QStringLiteral("/info:close-mid:3") << 200 << 3 << true;
    QTest::newRow("stall-mid") << QStringLiteral("/info:stall-mid:5") << 200 << 5 << false;
    QTest::newRow("silent") << QStringLiteral("/info:silent") << 0 << 0 << false;
    QTest::newRow("other path untouched") << QStringLiteral("/list:close") << 200 << -1 << true;
}

void TestPhoneServer::faultsShapeTheAnswer()
{
    QFETCH(QString, fault);
    QFETCH(int, status);
    QFETCH(int, bodyBytes);
    QFETCH(bool, closed);
    PhoneProcess phone;
    QVERIFY2(phone.start({QStringLiteral("--fault"), fault}), qPrintable(phone.errorText()));
    const RawHttp::Reply reply = get(phone, "/info", "TEST-CLIENT", closed ? 10000 : 1500);
    QCOMPARE(reply.status, status);
    QCOMPARE(reply.closedByPeer, closed);
    if (status == 0) {
        QVERIFY(reply.raw.isEmpty());
        return;
    }
    // The head always announces the real length, so the client can tell it was cut short.
    if (status == 200)
        QVERIFY(reply.header("content-length").toLongLong() > 20);
    if (bodyBytes >= 0)
        QCOMPARE(reply.body.size(), bodyBytes);
    else
        QCOMPARE(reply.body.size(), reply.header("content-length").toLongLong());
}

void TestPhoneServer::silentFaultHoldsOnlyItsOwnConnection()
{
    PhoneProcess phone;
    QVERIFY2(phone.start({QStringLiteral("--fault"), QStringLiteral("/info:silent")}),
             qPrintable(phone.errorText()));
    QTcpSocket hanging;
    hanging.connectToHost(phone.host(), phone.port());
    QVERIFY(hanging.waitForConnected(5000));
    hanging.write(RawHttp::request("GET", "/info"));
    QVERIFY(hanging.waitForBytesWritten(5000));
    // Others are served meanwhile.
    QCOMPARE(get(phone, "/list?path=/").status, 200);
    QVERIFY(!hanging.waitForReadyRead(300));
    QCOMPARE(hanging.state(), QAbstractSocket::ConnectedState);
}

void TestPhoneServer::trickleSendsSlowly()
{
    PhoneProcess phone;
    QVERIFY2(phone.start({QStringLiteral("--fault"), QStringLiteral("/nothing:trickle:3")}),
             qPrintable(phone.errorText()));
    const RawHttp::Reply reply = get(phone, "/nothing");
    QCOMPARE(reply.status, 404);
    QCOMPARE(reply.body.size(), reply.header("content-length").toLongLong());
    QVERIFY(reply.closedByPeer);
    // One byte every 3 ms: the whole answer cannot arrive faster than that.
    QVERIFY2(reply.elapsedMs >= reply.raw.size() * 3 * 8 / 10,
             qPrintable(QStringLiteral("%1 bytes in %2 ms").arg(reply.raw.size()).arg(reply.elapsedMs)));
}

void TestPhoneServer::limitedFaultFailsOnceThenAnswers()
{
    PhoneProcess phone;
    QVERIFY2(phone.start({QStringLiteral("--fault"), QStringLiteral("/info:close@1"),
                          QStringLiteral("--fault"), QStringLiteral("/info:status:500@2")}),
             qPrintable(phone.errorText()));
    QCOMPARE(get(phone, "/info").status, 0);
    QCOMPARE(get(phone, "/info").status, 500);
    QCOMPARE(get(phone, "/info").status, 500);
    QCOMPARE(get(phone, "/info").status, 200);
    QCOMPARE(get(phone, "/info").status, 200);
}

void TestPhoneServer::commandLine()
{
    const QString bin = PhoneProcess::binaryPath();
    QVERIFY(!bin.isEmpty());
    QProcess help;
    help.start(bin, {QStringLiteral("--help")});
    QVERIFY(help.waitForFinished(5000));
    QCOMPARE(help.exitCode(), 0);
    const QString text = QString::fromUtf8(help.readAllStandardOutput());
    for (const char* word : {"--root", "--host", "--port", "--name", "--system-version",
                             "--platform", "--storage-free", "--pairing-code",
                             "--no-folder-endpoints", "--no-hash", "--tree-prefix", "--fault",
                             "silent", "head-close", "short:N", "trickle:MS", "status:CODE",
                             "stall-mid:N", "close-mid:N", "corrupt-digest", "slow-read:MS", "@N"})
        QVERIFY2(text.contains(QLatin1String(word)), word);

    const QList<QStringList> refused = {
        {},                                                              // no --root
        {QStringLiteral("--root"), QStringLiteral("/nonexistent/zorvane")},
        {QStringLiteral("--root"), QStringLiteral("/tmp"), QStringLiteral("--fault"), QStringLiteral("/info:explode")},
        {QStringLiteral("--root"), QStringLiteral("/tmp"), QStringLiteral("--fault"), QStringLiteral("/info:short")},
        {QStringLiteral("--root"), QStringLiteral("/tmp"), QStringLiteral("--port"), QStringLiteral("70000")},
        {QStringLiteral("--root"), QStringLiteral("/tmp"), QStringLiteral("--bogus")},
    };
    for (const QStringList& args : refused) {
        QProcess process;
        process.start(bin, args);
        QVERIFY(process.waitForFinished(5000));
        QVERIFY2(process.exitCode() != 0, qPrintable(args.join(QLatin1Char(' '))));
        QVERIFY(process.readAllStandardOutput().isEmpty());
        QVERIFY(!process.readAllStandardError().isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestPhoneServer)
#include "tst_phoneserver.moc"
