#include "transport/httpclientstate.h"

#include <QTest>

// The head parser on its own: what counts as a head, which headers are read, where the body starts.
class HttpClientStateTest : public QObject
{
    Q_OBJECT

private slots:
    void headersAreReadInAnyCase_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("status");
        QTest::addColumn<qint64>("contentLength");
        QTest::addColumn<qint64>("totalBytes");
        QTest::addColumn<QString>("verified");
        const qint64 none = HTTPClientState::notGiven;
        QTest::newRow("plain") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n") << 200 << 5LL << none << "";
        QTest::newRow("upper case, tabs") << QByteArray("HTTP/1.1 404 Not Found\r\nCONTENT-LENGTH:\t7 \r\n") << 404
                                          << 7LL << none << "";
        QTest::newRow("archive total and verified")
            << QByteArray("HTTP/1.0 200\r\nx-qvx-total-bytes: 123\r\nX-QVX-Verified: sha256:ab:cd\r\n") << 200 << none
            << 123LL << "sha256:ab:cd";
        QTest::newRow("line without value is ignored")
            << QByteArray("HTTP/1.1 500 X\r\nContent-Length:\r\nweird line\r\n") << 500 << none << none << "";
        QTest::newRow("status with sign") << QByteArray("HTTP/1.1 +201 Created\r\n") << 201 << none << none << "";
    }

    void headersAreReadInAnyCase()
    {
        QFETCH(QByteArray, head);
        QFETCH(int, status);
        QFETCH(qint64, contentLength);
        QFETCH(qint64, totalBytes);
        QFETCH(QString, verified);
        HTTPClientState state;
        state.append(head + "\r\nBODY");
        QCOMPARE(state.tryParseHeader(), HTTPClientState::ParseResult::parsed);
        QCOMPARE(state.status(), status);
        QCOMPARE(state.contentLength(), contentLength);
        QCOMPARE(state.archiveTotalBytes(), totalBytes);
        QCOMPARE(state.serverVerified().value_or(QString()), verified);
        QCOMPARE(state.takePending(), QByteArray("BODY"));
        QCOMPARE(state.bodyReceived(), 4);
    }

    // A length that cannot be a byte count leaves the end of the body unknown: refused, not
    // ignored (and a negative one would otherwise end the body before it began).
    void badContentLengthIsRefused_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("negative") << QByteArray("-5");
        QTest::newRow("not a number") << QByteArray("abc");
        QTest::newRow("other blanks") << QByteArray("5\v");
        QTest::newRow("two numbers") << QByteArray("5 6");
        QTest::newRow("too large") << QByteArray("99999999999999999999");
    }

    void badContentLengthIsRefused()
    {
        QFETCH(QByteArray, value);
        HTTPClientState state;
        state.append("HTTP/1.1 200 OK\r\nContent-Length: " + value + "\r\n\r\nBODY");
        QCOMPARE(state.tryParseHeader(), HTTPClientState::ParseResult::badContentLength);
        QCOMPARE(state.badContentLength().toUtf8(), value);
        QVERIFY(!state.headerParsed());
    }

    // However the bytes arrive, no more than the announced body is handed on.
    void bytesPastTheAnnouncedLengthAreDropped()
    {
        HTTPClientState state;
        state.append("HTTP/1.1 200 OK\r\nContent-Length: 6\r\n\r\nabcd");
        QCOMPARE(state.tryParseHeader(), HTTPClientState::ParseResult::parsed);
        QCOMPARE(state.takePending(), QByteArray("abcd"));
        state.append("efgh");
        QCOMPARE(state.takePending(), QByteArray("ef"));
        state.append("more");
        QCOMPARE(state.takePending(), QByteArray());
        QCOMPARE(state.bodyReceived(), 6);

        HTTPClientState empty;
        empty.append("HTTP/1.1 204 X\r\nContent-Length: 0\r\n\r\nstray");
        QCOMPARE(empty.tryParseHeader(), HTTPClientState::ParseResult::parsed);
        QCOMPARE(empty.takePending(), QByteArray());
    }

    void headSplitOverReadsGivesTheSameResult()
    {
        const QByteArray whole = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nabcd";
        for (int cut = 1; cut < whole.size(); ++cut) {
            HTTPClientState state;
            state.append(whole.left(cut));
            state.tryParseHeader();
            state.append(whole.mid(cut));
            QCOMPARE(state.tryParseHeader(), HTTPClientState::ParseResult::parsed);
            QCOMPARE(state.contentLength(), 4);
            QCOMPARE(state.takePending(), QByteArray("abcd"));
        }
    }

    void unparseableHeadsWaitForTheEnd_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("no blank line yet") << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n");
        QTest::newRow("no status number") << QByteArray("HTTP/1.1 OK\r\n\r\n");
        QTest::newRow("one word") << QByteArray("garbage\r\n\r\n");
        QTest::newRow("not UTF-8") << QByteArray("HTTP/1.1 200 \xff\xfe\r\n\r\n");
        QTest::newRow("status with a tab") << QByteArray("HTTP/1.1 \t200 OK\r\n\r\n");
        QTest::newRow("status with a suffix") << QByteArray("HTTP/1.1 200x OK\r\n\r\n");
    }

    void unparseableHeadsWaitForTheEnd()
    {
        QFETCH(QByteArray, bytes);
        HTTPClientState state;
        state.append(bytes);
        QCOMPARE(state.tryParseHeader(), HTTPClientState::ParseResult::needMore);
        QVERIFY(!state.headerParsed());
    }

    void oversizedHeadIsRefused()
    {
        HTTPClientState endless;
        endless.append("HTTP/1.1 200 OK\r\n");
        HTTPClientState::ParseResult result = HTTPClientState::ParseResult::needMore;
        for (int i = 0; i < 100 && result == HTTPClientState::ParseResult::needMore; ++i) {
            endless.append("X-Filler: " + QByteArray(1000, 'x') + "\r\n");
            result = endless.tryParseHeader();
        }
        QCOMPARE(result, HTTPClientState::ParseResult::headTooLarge);
        QVERIFY(endless.bufferedHeadBytes() <= HTTPClientState::maxHeadSize + 1100);

        // A head that ends but is never parseable must not pile up either: what follows it is
        // dropped, and the request ends as a peer that never answered.
        HTTPClientState garbage;
        garbage.append("garbage\r\n\r\n" + QByteArray(1000, 'g'));
        QCOMPARE(garbage.tryParseHeader(), HTTPClientState::ParseResult::needMore);
        for (int i = 0; i < 100; ++i)
            garbage.append(QByteArray(1000, 'g'));
        QCOMPARE(garbage.tryParseHeader(), HTTPClientState::ParseResult::needMore);
        QCOMPARE(garbage.bufferedHeadBytes(), 0);
        QVERIFY(!garbage.headerParsed());
    }

    void finishIsGrantedOnce()
    {
        HTTPClientState state;
        QVERIFY(state.finish());
        QVERIFY(!state.finish());
        QVERIFY(state.isFinished());
    }
};

QTEST_GUILESS_MAIN(HttpClientStateTest)
#include "tst_httpclientstate.moc"
