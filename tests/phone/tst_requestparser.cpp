#include "requestparser.h"

#include <QTest>

using phone::RequestParser;

class TestRequestParser : public QObject
{
    Q_OBJECT

private slots:
    void decodesTargetAndHeaders();
    void sameResultWhateverTheReadSizes();
    void rejectsMalformedHeads_data();
    void rejectsMalformedHeads();
    void capsTheHeadSize();
    void percentDecoding_data();
    void percentDecoding();
};

void TestRequestParser::decodesTargetAndHeaders()
{
    RequestParser parser;
    const QByteArray head =
        "POST /rename?path=/%E7%85%A7%E7%89%87/a%20b.txt&to=%E6%96%B0/c&empty=&flag HTTP/1.1\r\n"
        "Host: tarnivox\r\n"
        "X-QVX-Client: 0F6C1D6E-1111-2222-3333-444455556666\r\n"
        "CONTENT-LENGTH:  0 \r\n"
        "Connection: close\r\n\r\n";
    QCOMPARE(parser.feed(head), RequestParser::State::complete);
    const phone::RequestHead& h = parser.head();
    QCOMPARE(h.method, QByteArray("POST"));
    QCOMPARE(h.path, QStringLiteral("/rename"));
    QCOMPARE(h.queryItem(QStringLiteral("path")), QStringLiteral("/照片/a b.txt"));
    QCOMPARE(h.queryItem(QStringLiteral("to")), QStringLiteral("新/c"));
    QCOMPARE(h.queryItem(QStringLiteral("empty")), QString());
    QVERIFY(h.queryItem(QStringLiteral("flag")).has_value());
    QVERIFY(!h.queryItem(QStringLiteral("missing")).has_value());
    QCOMPARE(h.header("x-qvx-client"), QByteArray("0F6C1D6E-1111-2222-3333-444455556666"));
    QVERIFY(h.hasContentLength);
    QCOMPARE(h.contentLength, 0);

    // The client sends Chinese letters as raw UTF-8 bytes; they must arrive intact.
    RequestParser raw;
    QCOMPARE(raw.feed("GET /list?path=/" + QStringLiteral("相册").toUtf8()
                      + " HTTP/1.1\r\nHost: x\r\n\r\n"),
             RequestParser::State::complete);
    QCOMPARE(raw.head().queryItem(QStringLiteral("path")), QStringLiteral("/相册"));
    QVERIFY(!raw.head().hasContentLength);
}

void TestRequestParser::sameResultWhateverTheReadSizes()
{
    const QByteArray request = "POST /upload?path=/x HTTP/1.1\r\nHost: tarnivox\r\n"
                               "Content-Length: 11\r\nExpect: 100-continue\r\n\r\nhello world";
    for (int step : {1, 2, 3, 7, int(request.size())}) {
        RequestParser parser;
        RequestParser::State state = RequestParser::State::needMore;
        for (qsizetype at = 0; at < request.size(); at += step)
            state = parser.feed(QByteArrayView(request).sliced(at, qMin<qsizetype>(step, request.size() - at)));
        QCOMPARE(state, RequestParser::State::complete);
        QCOMPARE(parser.head().contentLength, 11);
        QVERIFY(parser.head().expectsContinue);
        QCOMPARE(parser.takeLeftover(), QByteArray("hello world"));
    }
}

void TestRequestParser::rejectsMalformedHeads_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("status");

    const QByteArray host = "Host: tarnivox\r\n";
    QTest::newRow("bare LF line ends") << QByteArray("GET /info HTTP/1.1\nHost: x\n\r\n\r\n") << 400;
    QTest::newRow("CR inside a line") << QByteArray("GET /info HTTP/1.1\r\nHost: a\rb\r\n\r\n") << 400;
    QTest::newRow("no version") << QByteArray("GET /info\r\n" + host + "\r\n") << 400;
    QTest::newRow("lower-case version") << QByteArray("GET /info http/1.1\r\n" + host + "\r\n") << 400;
    QTest::newRow("HTTP/2.0") << QByteArray("GET /info HTTP/2.0\r\n" + host + "\r\n") << 505;
    QTest::newRow("double space") << QByteArray("GET  /info HTTP/1.1\r\n" + host + "\r\n") << 400;
    QTest::newRow("absolute target") << QByteArray("GET http://x/info HTTP/1.1\r\n" + host + "\r\n") << 400;
    QTest::newRow("empty method") << QByteArray(" /info HTTP/1.1\r\n" + host + "\r\n") << 400;
    QTest::newRow("method with slash") << QByteArray("G/T /info HTTP/1.1\r\n" + host + "\r\n") << 400;
    QTest::newRow("control char in target") << QByteArray("GET /in\x01fo HTTP/1.1\r\n" + host + "\r\n") << 400;
    QTest::newRow("header without colon") << QByteArray("GET /info HTTP/1.1\r\n" + host + "Oops\r\n\r\n") << 400;
    QTest::newRow("space before colon") << QByteArray("GET /info HTTP/1.1\r\n" + host + "Name : v\r\n\r\n") << 400;
    QTest::newRow("folded header") << QByteArray("GET /info HTTP/1.1\r\n" + host + "A: b\r\n c\r\n\r\n") << 400;
    QTest::newRow("no Host on 1.1") << QByteArray("GET /info HTTP/1.1\r\n\r\n") << 400;
    QTest::newRow("two Hosts") << QByteArray("GET /info HTTP/1.1\r\n" + host + host + "\r\n") << 400;
    QTest::newRow("signed length") << QByteArray("POST /upload HTTP/1.1\r\n" + host + "Content-Length: +5\r\n\r\n") << 400;
    QTest::newRow("negative length") << QByteArray("POST /upload HTTP/1.1\r\n" + host + "Content-Length: -1\r\n\r\n") << 400;
    QTest::newRow("list length") << QByteArray("POST /upload HTTP/1.1\r\n" + host + "Content-Length: 5, 5\r\n\r\n") << 400;
    QTest::newRow("huge length") << QByteArray("POST /upload HTTP/1.1\r\n" + host + "Content-Length: 99999999999999999999\r\n\r\n") << 400;
    QTest::newRow("conflicting lengths") << QByteArray("POST /upload HTTP/1.1\r\n" + host + "Content-Length: 5\r\nContent-Length: 6\r\n\r\n") << 400;
    QTest::newRow("chunked body") << QByteArray("POST /upload HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\n") << 501;
    QTest::newRow("odd expectation") << QByteArray("POST /upload HTTP/1.1\r\n" + host + "Expect: magic\r\n\r\n") << 417;
    QTest::newRow("bad escape") << QByteArray("GET /list?path=/%G1 HTTP/1.1\r\n" + host + "\r\n") << 400;
    QTest::newRow("cut escape") << QByteArray("GET /list?path=/a%2 HTTP/1.1\r\n" + host + "\r\n") << 400;
    QTest::newRow("escaped NUL") << QByteArray("GET /list?path=/a%00.txt HTTP/1.1\r\n" + host + "\r\n") << 400;
    QTest::newRow("invalid UTF-8") << QByteArray("GET /list?path=/%FF%FE HTTP/1.1\r\n" + host + "\r\n") << 400;
    QTest::newRow("raw invalid UTF-8") << QByteArray("GET /list?path=/\xC3( HTTP/1.1\r\n" + host + "\r\n") << 400;
}

void TestRequestParser::rejectsMalformedHeads()
{
    QFETCH(QByteArray, head);
    QFETCH(int, status);
    RequestParser parser;
    QCOMPARE(parser.feed(head), RequestParser::State::failed);
    QCOMPARE(parser.errorStatus(), status);
    QVERIFY(!parser.errorText().isEmpty());
    // Once failed, more bytes change nothing.
    QCOMPARE(parser.feed("GET /info HTTP/1.1\r\nHost: x\r\n\r\n"), RequestParser::State::failed);
}

void TestRequestParser::capsTheHeadSize()
{
    // A head that never ends is refused as soon as it passes the cap, not when it ends.
    RequestParser endless(1024);
    QCOMPARE(endless.feed("GET /info HTTP/1.1\r\nHost: x\r\n"), RequestParser::State::needMore);
    const QByteArray filler = "X-Filler: " + QByteArray(100, 'a') + "\r\n";
    RequestParser::State state = RequestParser::State::needMore;
    int lines = 0;
    while (state == RequestParser::State::needMore && lines < 100) {
        state = endless.feed(filler);
        ++lines;
    }
    QCOMPARE(state, RequestParser::State::failed);
    QCOMPARE(endless.errorStatus(), 431);
    QVERIFY(lines <= 11);

    // A complete head over the cap in one read is refused too; one just under it passes.
    const QByteArray start = "GET /info HTTP/1.1\r\nHost: x\r\nX-Pad: ";
    const QByteArray end = "\r\n\r\n";
    RequestParser over(1024);
    QCOMPARE(over.feed(start + QByteArray(1025 - start.size() - end.size(), 'b') + end),
             RequestParser::State::failed);
    QCOMPARE(over.errorStatus(), 431);
    RequestParser under(1024);
    QCOMPARE(under.feed(start + QByteArray(1024 - start.size() - end.size(), 'b') + end),
             RequestParser::State::complete);
}

void TestRequestParser::percentDecoding_data()
{
    QTest::addColumn<QByteArray>("encoded");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("decoded");

    QTest::newRow("plain") << QByteArray("abc") << true << QStringLiteral("abc");
    QTest::newRow("space and slash") << QByteArray("a%20b%2Fc") << true << QStringLiteral("a b/c");
    QTest::newRow("lower-case hex") << QByteArray("%e5%a4%a7") << true << QStringLiteral("大");
    QTest::newRow("plus stays plus") << QByteArray("a+b") << true << QStringLiteral("a+b");
    QTest::newRow("dot dot") << QByteArray("%2e%2E") << true << QStringLiteral("..");
    QTest::newRow("percent at end") << QByteArray("abc%") << false << QString();
    QTest::newRow("overlong UTF-8 slash") << QByteArray("%C0%AF") << false << QString();
}

void TestRequestParser::percentDecoding()
{
    QFETCH(QByteArray, encoded);
    QFETCH(bool, valid);
    QFETCH(QString, decoded);
    const std::optional<QString> result = RequestParser::percentDecode(encoded);
    QCOMPARE(result.has_value(), valid);
    if (valid)
        QCOMPARE(*result, decoded);
}

QTEST_GUILESS_MAIN(TestRequestParser)
#include "tst_requestparser.moc"
