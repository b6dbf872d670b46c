#include "rawpeer.h"
#include "stdoutcapture.h"

#include "phoneprocess.h"
#include "scopedsettings.h"

#include "transport/clientidentity.h"
#include "transport/queryencoding.h"
#include "transport/transporterror.h"
#include "transport/wifitransport.h"
#include "common/zorvaneerror.h"

#include "taskrunner.h"

#include <QCoroTask>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace std::chrono_literals;

namespace {

// The failure text of a request that must fail, or "" when it did not.
QString failureOf(QCoro::Task<HttpResponse>&& task)
{
    try {
        runTask(std::move(task));
    } catch (const std::exception& error) {
        return errorDescription(error);
    }
    return {};
}

WiFiDeviceInfo phoneAt(quint16 port)
{
    WiFiDeviceInfo info;
    info.id = QStringLiteral("test-phone");
    info.name = QStringLiteral("测试机");
    info.endpoint = NetworkEndpoint::hostAndPort(QStringLiteral("127.0.0.1"), port);
    return info;
}

const QString wifiTimeout = QStringLiteral(
    "WiFi 传输超时（%1 秒无响应）。通常是手机锁屏、切走了 Zorvane 或断开 WiFi——手机端保持 Zorvane 在前台后重试");

} // namespace

class RequestEngineTest : public QObject
{
    Q_OBJECT

private:
    ScopedSettings m_settings;
    TransportTimings m_fast{1000ms, 2000ms, 100ms};

    // A transport connected over "WiFi" to `peer`, whose first connection answers /info; the
    // scripts given are for the requests after it.
    std::unique_ptr<WiFiTransport> connectedTo(RawPeer& peer, QList<RawPeer::Script> scripts)
    {
        scripts.prepend(RawPeer::infoAnswer());
        peer.setScripts(scripts);
        auto transport = std::make_unique<WiFiTransport>(m_fast);
        runTask(transport->connect(phoneAt(peer.port()), std::nullopt, false));
        return transport;
    }

private slots:
    void requestHeadsAreExact()
    {
        RawPeer peer;
        auto transport = connectedTo(peer, {RawPeer::answer(200, "[]")});
        const QString name = QueryEncoding::encode(ClientIdentity::computerName());
        const QByteArray common = "Host: tarnivox\r\nX-QVX-Client: " + ClientIdentity::id().toUtf8()
                                  + "\r\nX-QVX-Name: " + name.toUtf8() + "\r\n";

        runTask(transport->performRequest("GET", "/list", QStringLiteral("/")));
        QCOMPARE(peer.received(1), "GET /list?path=/ HTTP/1.1\r\n" + common + "Connection: close\r\n\r\n");

        runTask(transport->performRequest("POST", "/rename", QStringLiteral("//DCIM//a b/"),
                                          {.query = {{"to", "新 名/x"}}, .bodyLength = 0}));
        QCOMPARE(peer.received(2), "POST /rename?path=/DCIM/a%20b&to=新%20名%2Fx HTTP/1.1\r\n" + common
                                       + "Content-Length: 0\r\nConnection: close\r\n\r\n");
        // The handshake itself carried the same identity.
        QVERIFY(peer.head(0).contains("X-QVX-Client: " + ClientIdentity::id().toUtf8() + "\r\n"));
    }

    void completesAsSoonAsTheAnnouncedBodyArrived()
    {
        RawPeer peer;
        auto transport = connectedTo(peer, {{RawPeer::send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"),
                                             RawPeer::hold()}});
        QElapsedTimer clock;
        clock.start();
        const HttpResponse response = runTask(transport->performRequest("GET", "/x", std::nullopt));
        QCOMPARE(response.status, 200);
        QCOMPARE(response.body, QByteArray("hello"));
        QVERIFY2(clock.elapsed() < 900, "waited for the watchdog instead of the byte count");
    }

    void answersArriveHoweverTheyAreCut_data()
    {
        QTest::addColumn<RawPeer::Script>("script");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("close-delimited body")
            << RawPeer::Script{RawPeer::send("HTTP/1.1 200 OK\r\nX-Other: 1\r\n\r\nall of "), RawPeer::pause(30),
                               RawPeer::send("it"), RawPeer::close()}
            << 200 << QByteArray("all of it");
        QTest::newRow("upper-case header name")
            << RawPeer::Script{RawPeer::send("HTTP/1.1 201 Created\r\nCONTENT-LENGTH: 3\r\n\r\nabc"), RawPeer::hold()}
            << 201 << QByteArray("abc");
        QTest::newRow("head split over reads")
            << RawPeer::Script{RawPeer::send("HTTP/1.1 200 OK\r\nConte"), RawPeer::pause(30),
                               RawPeer::send("nt-Length: 4\r\n\r"), RawPeer::pause(30), RawPeer::send("\nab"),
                               RawPeer::pause(30), RawPeer::send("cd"), RawPeer::hold()}
            << 200 << QByteArray("abcd");
        QTest::newRow("error status is a result")
            << RawPeer::answer(404, "nope") << 404 << QByteArray("nope");
        QTest::newRow("empty body") << RawPeer::answer(200, "") << 200 << QByteArray();
        QTest::newRow("bytes past the announced length")
            << RawPeer::Script{RawPeer::send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhel"), RawPeer::pause(30),
                               RawPeer::send("lo world"), RawPeer::hold()}
            << 200 << QByteArray("hello");
        QTest::newRow("bytes past the announced length, one read")
            << RawPeer::Script{RawPeer::send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello world"), RawPeer::close()}
            << 200 << QByteArray("hello");
    }

    // The same body whether it is collected or handed to a consumer piece by piece.
    void answersArriveHoweverTheyAreCut()
    {
        QFETCH(RawPeer::Script, script);
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        RawPeer peer;
        auto transport = connectedTo(peer, {script});
        const HttpResponse response = runTask(transport->performRequest("GET", "/x", std::nullopt));
        QCOMPARE(response.status, status);
        QCOMPARE(response.body, body);

        QByteArray consumed;
        const HttpResponse streamed = runTask(transport->performRequest(
            "GET", "/x", std::nullopt, {.onBody = [&](const QByteArray& chunk) { consumed += chunk; }}));
        QCOMPARE(streamed.status, status);
        QCOMPARE(consumed, body);
    }

    void failuresHaveTheirTexts_data()
    {
        QTest::addColumn<RawPeer::Script>("script");
        QTest::addColumn<QString>("expected");
        QTest::newRow("closed before a head") << RawPeer::Script{RawPeer::close()} << "连接手机失败（无响应）";
        QTest::newRow("half a head, then closed")
            << RawPeer::Script{RawPeer::send("HTTP/1.1 200 OK\r\nContent-"), RawPeer::close()}
            << "连接手机失败（无响应）";
        QTest::newRow("body cut short")
            << RawPeer::Script{RawPeer::send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabcd"), RawPeer::close()}
            << "手机的应答不完整：连接在收到 4 / 10 字节后中断";
        QTest::newRow("unparseable head, then a long body")
            << RawPeer::Script{RawPeer::send("garbage\r\n\r\n" + QByteArray(100 * 1024, 'b')), RawPeer::close()}
            << "连接手机失败（无响应）";
        QTest::newRow("head without end")
            << RawPeer::Script{RawPeer::send("HTTP/1.1 200 OK\r\n" + QByteArray(70 * 1024, 'x')), RawPeer::hold()}
            << "手机的应答头过长（超过 65536 字节），已中止";
        QTest::newRow("negative length")
            << RawPeer::Script{RawPeer::send("HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nhello"), RawPeer::hold()}
            << "手机的应答无效：长度“-5”不是有效的字节数";
        QTest::newRow("malformed length")
            << RawPeer::Script{RawPeer::send("HTTP/1.1 200 OK\r\nContent-Length: 12ab\r\n\r\nhello"), RawPeer::close()}
            << "手机的应答无效：长度“12ab”不是有效的字节数";
        QTest::newRow("silence") << RawPeer::Script{RawPeer::hold()} << wifiTimeout.arg(1);
        QTest::newRow("head, then silence")
            << RawPeer::Script{RawPeer::send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nab"), RawPeer::hold()}
            << wifiTimeout.arg(1);
    }

    void failuresHaveTheirTexts()
    {
        QFETCH(RawPeer::Script, script);
        QFETCH(QString, expected);
        RawPeer peer;
        auto transport = connectedTo(peer, {script});
        QCOMPARE(failureOf(transport->performRequest("GET", "/x", std::nullopt)), expected);
    }

    void watchdogCountsFromTheLastSignOfLife()
    {
        // Bytes trickling in keep the request alive past the idle limit; the silence after them
        // is what is measured.
        RawPeer peer;
        RawPeer::Script trickle{RawPeer::send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n")};
        for (int i = 0; i < 6; ++i)
            trickle << RawPeer::pause(300) << RawPeer::send("x");
        trickle << RawPeer::hold();
        auto transport = connectedTo(peer, {trickle});
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(failureOf(transport->performRequest("GET", "/x", std::nullopt)), wifiTimeout.arg(1));
        QVERIFY2(clock.elapsed() >= 2800, qPrintable(QString::number(clock.elapsed())));
    }

    void tunnelUsesItsOwnLimitAndText()
    {
        RawPeer peer;
        peer.setScripts({RawPeer::infoAnswer(), {RawPeer::hold()}});
        WiFiTransport transport(m_fast);
        runTask(transport.connect(QStringLiteral("127.0.0.1"), peer.port(), "serial-1", "Pixel", std::nullopt));
        QElapsedTimer clock;
        clock.start();
        const QString text = failureOf(transport.performRequest("GET", "/x", std::nullopt));
        QCOMPARE(text, QStringLiteral("数据线通道无响应（2 秒）。手机端 App 可能被系统挂起：请把 Zorvane 切回前台，或在 Mac 上断开后重新连接"));
        QVERIFY(clock.elapsed() >= 2000);
    }

    void downloadProgressStaysBelowOneUntilDone()
    {
        RawPeer peer;
        RawPeer::Script pieces{RawPeer::send("HTTP/1.1 200 OK\r\nx-qvx-total-bytes: 1000\r\n\r\n")};
        for (int i = 0; i < 10; ++i)
            pieces << RawPeer::send(QByteArray(100, char('a' + i))) << RawPeer::pause(10);
        pieces << RawPeer::close();
        auto transport = connectedTo(peer, {pieces});
        QList<double> reports;
        QByteArray received;
        const HttpResponse response = runTask(transport->performRequest(
            "GET", "/downloadFolder", QStringLiteral("/a"),
            {.onBody = [&](const QByteArray& chunk) { received += chunk; }, .progress = [&](double p) { reports << p; }}));
        QCOMPARE(response.status, 200);
        QVERIFY(response.body.isEmpty());
        QCOMPARE(received.size(), 1000);
        QVERIFY(reports.size() >= 2);
        QCOMPARE(reports.last(), 1.0);
        for (qsizetype i = 0; i + 1 < reports.size(); ++i)
            QVERIFY2(reports[i] <= 0.99, qPrintable(QString::number(reports[i])));
        QVERIFY(reports[reports.size() - 2] == 0.99);
    }

    void uploadStreamsOneChunkAtATime()
    {
        RawPeer peer;
        auto transport = connectedTo(peer, {RawPeer::answer(200, "ok")});
        const qint64 total = 600 * 1024;
        QByteArray payload(total, Qt::Uninitialized);
        for (qint64 i = 0; i < total; ++i)
            payload[i] = char(i * 7);
        QList<qint64> offsets;
        QList<double> reports;
        const HttpResponse response = runTask(transport->performRequest(
            "POST", "/upload", QStringLiteral("/f.bin"),
            {.bodyLength = total,
             .bodyProvider = [&](qint64 offset) -> std::optional<QByteArray> {
                 offsets << offset;
                 return payload.mid(offset, 262144);
             },
             .progress = [&](double p) { reports << p; }}));
        QCOMPARE(response.status, 200);
        QCOMPARE(offsets, (QList<qint64>{0, 262144, 524288}));
        QCOMPARE(reports.last(), 1.0);
        const QByteArray got = peer.received(1);
        QCOMPARE(got.mid(got.indexOf("\r\n\r\n") + 4), payload);
        QVERIFY(peer.head(1).contains("\r\nContent-Length: 614400\r\n"));
    }

    void uploadProviderFailures()
    {
        RawPeer peer;
        auto transport = connectedTo(peer, {RawPeer::answer(200, "ok")});
        // Runs dry before the announced length (a file that shrank).
        QCOMPARE(failureOf(transport->performRequest(
                     "POST", "/upload", QStringLiteral("/a"),
                     {.bodyLength = 100, .bodyProvider = [](qint64 offset) -> std::optional<QByteArray> {
                          return offset == 0 ? QByteArray(40, 'a') : QByteArray();
                      }})),
                 QStringLiteral("生成上传数据失败"));
        // Its own error passes through.
        QCOMPARE(failureOf(transport->performRequest(
                     "POST", "/upload", QStringLiteral("/a"),
                     {.bodyLength = 100,
                      .bodyProvider = [](qint64) -> std::optional<QByteArray> { throw PlatformError("读取失败：磁盘错误"); }})),
                 QStringLiteral("读取失败：磁盘错误"));
        // Zero length: nothing is asked for, the answer is read.
        bool asked = false;
        const HttpResponse response = runTask(transport->performRequest(
            "POST", "/upload", QStringLiteral("/empty"),
            {.bodyLength = 0, .bodyProvider = [&](qint64) -> std::optional<QByteArray> {
                 asked = true;
                 return QByteArray("x");
             }}));
        QCOMPARE(response.status, 200);
        QVERIFY(!asked);
    }

    void diagnosticLinesAreExact()
    {
        RawPeer peer;
        auto transport = connectedTo(peer, {RawPeer::answer(200, "ok"),
                                            {RawPeer::send("HTTP/1.1 200 OK\r\n\r\nclosed by peer"), RawPeer::close()}});
        StdoutCapture capture;
        runTask(transport->performRequest("POST", "/upload", QStringLiteral("/a"),
                                          {.bodyLength = 300000, .bodyProvider = [](qint64 offset) -> std::optional<QByteArray> {
                                               return QByteArray(int(std::min<qint64>(262144, 300000 - offset)), 'u');
                                           }}));
        runTask(transport->performRequest("GET", "/x", std::nullopt));
        QCOMPARE(capture.take(), QByteArray("[DIAG] streamUpload first chunk size=262144 total=300000\n"
                                            "[DIAG] 响应结束 isComplete=true error=nil 已收=14 字节\n"));
    }

    void callerFailureEndsTheDownloadAtOnce()
    {
        // A consumer that cannot store what arrives (a full disk) stops the request then and
        // there, with its own error, instead of reading the rest for nothing.
        RawPeer peer;
        auto transport = connectedTo(peer, {{RawPeer::send("HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\n\r\n"
                                                           + QByteArray(1000, 'd')),
                                             RawPeer::hold()}});
        int deliveries = 0;
        QElapsedTimer clock;
        clock.start();
        const QString text = failureOf(transport->performRequest(
            "GET", "/download", QStringLiteral("/big"), {.onBody = [&](const QByteArray&) {
                ++deliveries;
                throw PlatformError("写入失败：磁盘已满");
            }}));
        QCOMPARE(text, QStringLiteral("写入失败：磁盘已满"));
        QCOMPARE(deliveries, 1);
        QVERIFY2(clock.elapsed() < 900, "waited for the watchdog");
    }

    // A body kept in memory has a ceiling: a peer that keeps sending keeps the watchdog quiet, so
    // only the size can stop it. A body handed to a consumer is the consumer's business.
    void collectedBodiesAreCapped_data()
    {
        QTest::addColumn<RawPeer::Script>("script");
        QTest::addColumn<bool>("toConsumer");
        QTest::addColumn<QString>("expected");
        const QByteArray piece(64 * 1024, 'z');
        const QString tooLarge = QStringLiteral("手机的应答过大（超过 1048576 字节），已中止");
        QTest::newRow("endless body")
            << RawPeer::Script{RawPeer::send("HTTP/1.1 200 OK\r\n\r\n"), RawPeer::flood(piece, 4096), RawPeer::close()}
            << false << tooLarge;
        QTest::newRow("announced past the limit")
            << RawPeer::Script{RawPeer::send("HTTP/1.1 200 OK\r\nContent-Length: 1048577\r\n\r\nab"), RawPeer::hold()}
            << false << tooLarge;
        QTest::newRow("error page that never ends")
            << RawPeer::Script{RawPeer::send("HTTP/1.1 500 X\r\n\r\n"), RawPeer::flood(piece, 4096), RawPeer::close()}
            << false << tooLarge;
        QTest::newRow("consumer takes more than the limit")
            << RawPeer::Script{RawPeer::send("HTTP/1.1 200 OK\r\n\r\n"), RawPeer::flood(piece, 32), RawPeer::close()}
            << true << QString();
    }

    void collectedBodiesAreCapped()
    {
        QFETCH(RawPeer::Script, script);
        QFETCH(bool, toConsumer);
        QFETCH(QString, expected);
        RawPeer peer;
        auto transport = connectedTo(peer, {script});
        qint64 consumed = 0;
        RequestOptions options{.maxCollectedBody = 1024 * 1024};
        if (toConsumer)
            options.onBody = [&](const QByteArray& chunk) { consumed += chunk.size(); };
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(failureOf(transport->performRequest("GET", "/list", QStringLiteral("/"), options)), expected);
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(consumed, toConsumer ? 32 * 64 * 1024 : 0);
    }

    void uploadCutShortIsNeverStored_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("status");     // the result, when the request ends with one
        QTest::addColumn<QString>("failure");
        // A 200 before the body arrived cannot mean the file was stored.
        QTest::newRow("early 200") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n") << 0
                                   << QStringLiteral("上传未完成：手机在收到全部 1073741824 字节前关闭了连接");
        // An early refusal is the phone's own answer, and says why.
        QTest::newRow("early refusal") << QByteArray("HTTP/1.1 507 X\r\nContent-Length: 4\r\n\r\nfull") << 507
                                       << QString();
    }

    void uploadCutShortIsNeverStored()
    {
        QFETCH(QByteArray, answer);
        QFETCH(int, status);
        QFETCH(QString, failure);
        RawPeer peer;
        auto transport = connectedTo(peer, {{RawPeer::send(answer), RawPeer::endSending()}});
        peer.setAnswerAfterHead(true);
        const qint64 total = 1LL << 30;
        const auto provider = [total](qint64 offset) -> std::optional<QByteArray> {
            return QByteArray(int(std::min<qint64>(262144, total - offset)), 'x');
        };
        try {
            const HttpResponse response = runTask(transport->performRequest(
                "POST", "/upload", QStringLiteral("/big"), {.bodyLength = total, .bodyProvider = provider}));
            QCOMPARE(response.status, status);
            QVERIFY(failure.isEmpty());
        } catch (const std::exception& error) {
            QCOMPARE(errorDescription(error), failure);
        }
    }

    void noPhoneNoRequest()
    {
        WiFiTransport transport(m_fast);
        QCOMPARE(failureOf(transport.performRequest("GET", "/info", std::nullopt)),
                 QStringLiteral("未检测到已连接的手机"));
    }

    // What was tried and why it failed, in the user's language.
    void refusedConnectionNamesTheAddress()
    {
        quint16 closedPort = 0;
        {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost, 0);
            closedPort = probe.serverPort();
        }
        WiFiTransport transport(m_fast);
        transport.switchEndpoint(QStringLiteral("127.0.0.1"), closedPort);
        const QString text = failureOf(transport.performRequest("GET", "/info", std::nullopt));
        QCOMPARE(text, QStringLiteral("无法连接 127.0.0.1:%1：连接被拒绝").arg(closedPort));
    }

    void talksToThePhoneStandIn()
    {
        PhoneProcess phone;
        QVERIFY2(phone.start({"--name", "演示手机", "--storage-free", "4096"}), qPrintable(phone.errorText()));
        WiFiTransport transport(m_fast);
        transport.switchEndpoint(phone.host(), phone.port());
        const HttpResponse info = runTask(transport.performRequest("GET", "/info", std::nullopt));
        QCOMPARE(info.status, 200);
        const QJsonObject json = QJsonDocument::fromJson(info.body).object();
        QCOMPARE(json.value("name").toString(), QStringLiteral("演示手机"));
        QCOMPARE(json.value("storageFree").toInteger(), 4096);
        const HttpResponse unknown = runTask(transport.performRequest("GET", "/nowhere", std::nullopt));
        QCOMPARE(unknown.status, 404);
    }
};

QTEST_GUILESS_MAIN(RequestEngineTest)
#include "tst_requestengine.moc"
