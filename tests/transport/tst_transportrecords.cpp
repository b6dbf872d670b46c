#include "transport/queryencoding.h"
#include "transport/serverinfo.h"
#include "transport/transporterror.h"
#include "common/zorvaneerror.h"

#include <QTest>

class TransportRecordsTest : public QObject
{
    Q_OBJECT

private slots:
    void remoteOperationErrors_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("expected"); // empty: pairingRequired
        QTest::newRow("401 is pairing") << "复制" << 401 << QString();
        QTest::newRow("403") << "删除" << 403 << "删除失败：手机端拒绝该操作（不允许操作文件舱根）";
        QTest::newRow("404 keeps its own number")
            << "删除" << 404 << "删除失败（HTTP 404）：文件不存在，或手机端 App 版本过旧（请在手机上更新后重试）";
        QTest::newRow("409") << "重命名" << 409 << "重命名失败：同名文件已存在";
        QTest::newRow("204 is a failure too") << "删除" << 204 << "删除失败（HTTP 204）";
        QTest::newRow("500") << "拉取文件夹" << 500 << "拉取文件夹失败（HTTP 500）";
    }

    void remoteOperationErrors()
    {
        QFETCH(QString, operation);
        QFETCH(int, status);
        QFETCH(QString, expected);
        const TransportError error = remoteOperationError(operation, status);
        if (expected.isEmpty()) {
            QCOMPARE(error.kind(), TransportError::Kind::pairingRequired);
            QCOMPARE(error.description(),
                     QStringLiteral("手机端需要配对：请打开手机 App 的「连接管理」，把配对码输入到 PC"));
        } else {
            QCOMPARE(error.kind(), TransportError::Kind::operationFailed);
            QCOMPARE(error.description(), expected);
        }
    }

    void queryEncoding_data()
    {
        QTest::addColumn<QString>("apiPath");
        QTest::addColumn<QVariant>("remotePath");
        QTest::addColumn<QueryItems>("extra");
        QTest::addColumn<QString>("expected");
        QTest::newRow("root") << "/list" << QVariant("/") << QueryItems{} << "/list?path=/";
        QTest::newRow("empty path is the root") << "/list" << QVariant("") << QueryItems{} << "/list?path=/";
        QTest::newRow("doubled and trailing slashes, space")
            << "/list" << QVariant("//DCIM//a b/") << QueryItems{} << "/list?path=/DCIM/a%20b";
        QTest::newRow("Chinese stays raw") << "/download" << QVariant("/照片/猫 咪.jpg") << QueryItems{}
                                           << "/download?path=/照片/猫%20咪.jpg";
        QTest::newRow("value with a slash is encoded whole")
            << "/rename" << QVariant("/a.txt") << QueryItems{{"to", "a/b"}} << "/rename?path=/a.txt&to=a%2Fb";
        QTest::newRow("no path, one item") << "/pair" << QVariant() << QueryItems{{"code", "123456"}}
                                           << "/pair?code=123456";
        QTest::newRow("no query at all") << "/info" << QVariant() << QueryItems{} << "/info";
        QTest::newRow("punctuation and symbols")
            << "/x" << QVariant() << QueryItems{{"k", "a&b=c?d#e+f%g-h.i_j~k"}}
            << "/x?k=a%26b%3Dc%3Fd%23e%2Bf%25g-h.i_j~k";
        QTest::newRow("marks, other scripts, emoji")
            << "/x" << QVariant() << QueryItems{{"k", QString::fromUtf8("e\u0301ß٣😀")}}
            << QString::fromUtf8("/x?k=e\u0301ß٣%F0%9F%98%80");
    }

    void queryEncoding()
    {
        QFETCH(QString, apiPath);
        QFETCH(QVariant, remotePath);
        QFETCH(QueryItems, extra);
        QFETCH(QString, expected);
        const std::optional<QString> path = remotePath.isValid() ? std::optional(remotePath.toString()) : std::nullopt;
        QCOMPARE(QueryEncoding::requestTarget(apiPath, path, extra), expected);
    }

    void unencodableTextIsUsedAsIs()
    {
        const QString lone = QString(QChar(0xD800)) + QStringLiteral(" x");
        QCOMPARE(QueryEncoding::encode(lone), lone);
    }

    void serverInfoDecoding()
    {
        const ServerInfo full = ServerInfo::decode(
            R"({"name":"小米","systemVersion":"Android 14","storageFree":123456789012,"platform":"android","gzip":true,"extra":1})");
        QCOMPARE(full.name, QStringLiteral("小米"));
        QCOMPARE(full.storageFree, 123456789012LL);
        QCOMPARE(full.platform, QStringLiteral("android"));
        QVERIFY(full.gzip);

        const ServerInfo minimal = ServerInfo::decode(R"({"name":"a","systemVersion":"iOS 17","storageFree":0})");
        QCOMPARE(minimal.platform, QString());
        QVERIFY(!minimal.gzip);

        // Byte counts beyond what a double holds exactly keep every digit.
        const ServerInfo huge =
            ServerInfo::decode(R"({"name":"a","systemVersion":"x","storageFree":9007199254740993})");
        QCOMPARE(huge.storageFree, 9007199254740993LL);
    }

    void serverInfoRejects_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("not JSON") << QByteArray("<html>") << "JSON";
        QTest::newRow("array") << QByteArray("[]") << "JSON";
        QTest::newRow("missing name") << QByteArray(R"({"systemVersion":"x","storageFree":1})") << "name";
        QTest::newRow("storageFree as text") << QByteArray(R"({"name":"a","systemVersion":"x","storageFree":"1"})")
                                             << "storageFree";
        QTest::newRow("fractional storageFree") << QByteArray(R"({"name":"a","systemVersion":"x","storageFree":1.5})")
                                                << "storageFree";
        QTest::newRow("gzip as text") << QByteArray(R"({"name":"a","systemVersion":"x","storageFree":1,"gzip":"yes"})")
                                      << "gzip";
    }

    void serverInfoRejects()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, mentions);
        try {
            ServerInfo::decode(body);
            QFAIL("decoded a bad answer");
        } catch (const PlatformError& error) {
            QVERIFY2(error.description().contains(mentions), qPrintable(error.description()));
        }
    }
};

QTEST_GUILESS_MAIN(TransportRecordsTest)
#include "tst_transportrecords.moc"
