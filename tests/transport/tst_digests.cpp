#include "rawpeer.h"

#include "phoneprocess.h"
#include "scopedsettings.h"

#include "transport/transporterror.h"
#include "transport/wifitransport.h"
#include "common/zorvaneerror.h"

#include "taskrunner.h"

#include <QCoroTask>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace std::chrono_literals;

namespace {

using Tree = QMap<QString, QString>;

const QString emptyDigest = QStringLiteral("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
const QString abcDigest = QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

QString sha256Of(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

QString describe(const std::optional<QString>& digest)
{
    return digest ? *digest : QStringLiteral("<none>");
}

QString describe(const std::optional<Tree>& tree)
{
    if (!tree)
        return QStringLiteral("<none>");
    QStringList pairs;
    for (auto it = tree->begin(); it != tree->end(); ++it)
        pairs << it.key() + QLatin1Char('=') + it.value();
    return QLatin1Char('{') + pairs.join(QLatin1Char(' ')) + QLatin1Char('}');
}

// What a request ended with, as text: its value, or its failure text.
template <typename T>
QString outcomeOf(QCoro::Task<T>&& task)
{
    try {
        return describe(runTask(std::move(task)));
    } catch (const std::exception& error) {
        return QStringLiteral("failed: ") + errorDescription(error);
    }
}

WiFiDeviceInfo phoneAt(const QString& host, quint16 port)
{
    WiFiDeviceInfo info;
    info.id = QStringLiteral("test-phone");
    info.name = QStringLiteral("测试机");
    info.endpoint = NetworkEndpoint::hostAndPort(host, port);
    return info;
}

} // namespace

class DigestsTest : public QObject
{
    Q_OBJECT

private:
    ScopedSettings m_settings;
    TransportTimings m_fast{1000ms, 1000ms, 100ms};
    QTemporaryDir m_work;

    std::unique_ptr<WiFiTransport> connectedTo(const QString& host, quint16 port)
    {
        auto transport = std::make_unique<WiFiTransport>(m_fast);
        runTask(transport->connect(phoneAt(host, port), std::nullopt, false));
        return transport;
    }

    std::unique_ptr<WiFiTransport> answeredBy(RawPeer& peer, int status, const QByteArray& body)
    {
        peer.setScripts({RawPeer::infoAnswer(), RawPeer::answer(status, body)});
        return connectedTo(QStringLiteral("127.0.0.1"), peer.port());
    }

    std::unique_ptr<PhoneProcess> startPhone(const QStringList& args = {})
    {
        auto phone = std::make_unique<PhoneProcess>();
        if (!phone->start(args))
            qFatal("%s", qPrintable(phone->errorText()));
        return phone;
    }

private slots:
    void fileDigests_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");

        QTest::newRow("empty") << QByteArray() << emptyDigest;
        QTest::newRow("abc") << QByteArray("abc") << abcDigest;
        // Across the 1 MiB read boundary.
        QByteArray big(1048576 + 1, Qt::Uninitialized);
        for (qsizetype i = 0; i < big.size(); ++i)
            big[i] = char(i * 7 + i / 251);
        QTest::newRow("1 MiB + 1") << big << sha256Of(big);
    }

    void fileDigests()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        const QString path = m_work.filePath(QString::fromLatin1(QTest::currentDataTag()));
        writeFile(path, content);
        QCOMPARE(describe(WiFiTransport::sha256Hex(path)), expected);
    }

    void unreadableFileHasNoDigest()
    {
        QCOMPARE(describe(WiFiTransport::sha256Hex(m_work.filePath("missing"))), "<none>");
        // A named pipe would block the reader for ever; in a tree it is simply not a file.
        const QString root = m_work.filePath("withpipe");
        writeFile(root + "/a.txt", "abc");
        QCOMPARE(::mkfifo(QFile::encodeName(root + "/pipe").constData(), 0600), 0);
        QCOMPARE(describe(WiFiTransport::sha256Hex(root + "/pipe")), "<none>");
        QCOMPARE(describe(WiFiTransport::sha256Manifest(root)), describe(Tree{{QStringLiteral("a.txt"), abcDigest}}));
    }

    void manifestLeavesOutHiddenItemsAndFolders()
    {
        const QString root = m_work.filePath("tree");
        writeFile(root + "/a/x.txt", "abc");
        writeFile(root + "/.git/config", "[core]");
        writeFile(root + "/.DS_Store", "ds");
        writeFile(root + "/b/.hidden/y.txt", "y");
        writeFile(root + "/b/.z", "z");
        QDir().mkpath(root + "/empty/deeper");
        const Tree expected{{QStringLiteral("a/x.txt"), abcDigest}};

        for (const QString& spelling : {root, root + "/", root + "/./", root + "/empty/../"})
            QCOMPARE(describe(WiFiTransport::sha256Manifest(spelling)), describe(expected));
        QCOMPARE(describe(WiFiTransport::sha256Manifest(m_work.filePath("missing"))), "{}");
        QCOMPARE(describe(WiFiTransport::sha256Manifest(root + "/empty")), "{}");
    }

    // The phone's digests agree with ours, and a phone without them gives none rather than an error.
    void remoteDigestsFromThePhone()
    {
        for (const QStringList& args : {QStringList(), QStringList{"--tree-prefix"}, QStringList{"--no-hash"},
                                        QStringList{"--fault", "/hash:corrupt-digest", "--fault", "/hashTree:corrupt-digest"}}) {
            auto phone = startPhone(args);
            writeFile(phone->root() + "/相册/x.txt", "abc");
            writeFile(phone->root() + "/相册/sub/y.bin", QByteArray(300'000, 'y'));
            writeFile(phone->root() + "/相册/.git/config", "c");
            auto transport = connectedTo(phone->host(), phone->port());
            const Tree local = WiFiTransport::sha256Manifest(phone->root() + "/相册");

            const QString file = outcomeOf(transport->remoteFileSHA256("/相册/x.txt"));
            const QString tree = outcomeOf(transport->remoteTreeSHA256("/相册/"));
            QCOMPARE(outcomeOf(transport->remoteFileSHA256("/相册/nope.txt")), "<none>");
            QCOMPARE(outcomeOf(transport->remoteTreeSHA256("/nope")), "<none>");

            if (args.isEmpty()) {
                QCOMPARE(file, abcDigest);
                QCOMPARE(tree, describe(local));
            } else if (args.first() == "--tree-prefix") {
                Tree prefixed;
                for (auto it = local.begin(); it != local.end(); ++it)
                    prefixed.insert("相册/" + it.key(), it.value());
                QCOMPARE(tree, describe(prefixed));
            } else if (args.first() == "--no-hash") {
                QCOMPARE(file, "<none>");
                QCOMPARE(tree, "<none>");
            } else {
                QVERIFY(file.size() == 64 && file != abcDigest);
                QVERIFY(tree.size() == describe(local).size() && tree != describe(local));
            }
        }
    }

    void fileAnswers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected");

        const QByteArray upper = abcDigest.toUpper().toLatin1();
        QTest::newRow("upper case, line break") << 200 << upper + "\n" << abcDigest;
        QTest::newRow("spaces and CR LF") << 200 << " \t" + upper + " \r\n" << abcDigest;
        QTest::newRow("63 characters") << 200 << abcDigest.left(63).toLatin1() << "<none>";
        QTest::newRow("65 characters") << 200 << abcDigest.toLatin1() + "0" << "<none>";
        QTest::newRow("empty") << 200 << QByteArray() << "<none>";
        QTest::newRow("not UTF-8") << 200 << QByteArray(64, '\xff') << "<none>";
        QTest::newRow("404") << 404 << abcDigest.toLatin1() << "<none>";
        QTest::newRow("500") << 500 << abcDigest.toLatin1() << "failed: 读取远端哈希失败（HTTP 500）";
        QTest::newRow("204") << 204 << QByteArray() << "failed: 读取远端哈希失败（HTTP 204）";
    }

    void fileAnswers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);
        RawPeer peer;
        auto transport = answeredBy(peer, status, body);
        QCOMPARE(outcomeOf(transport->remoteFileSHA256("/a.txt")), expected);
    }

    void treeAnswers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("expected");

        QTest::newRow("lower-cased, later wins, incomplete skipped")
            << 200
            << QByteArray(R"({"files":[{"path":"a.txt","sha256":"AB"},{"path":"b.txt"},{"sha256":"cd"},)"
                          R"({"path":"/c/d.txt","sha256":"Ef","size":3},{"path":"a.txt","sha256":"12"}],"more":1})")
            << "{/c/d.txt=ef a.txt=12}";
        QTest::newRow("empty list") << 200 << QByteArray(R"({"files":[]})") << "{}";
        QTest::newRow("digest not text")
            << 200 << QByteArray(R"({"files":[{"path":"a","sha256":5}]})") << "{}";
        QTest::newRow("files is an object") << 200 << QByteArray(R"({"files":{"path":"a","sha256":"ab"}})")
                                            << "<none>";
        QTest::newRow("an element not an object")
            << 200 << QByteArray(R"({"files":[{"path":"a","sha256":"ab"},"b"]})") << "<none>";
        QTest::newRow("no files") << 200 << QByteArray(R"({"file":[]})") << "<none>";
        QTest::newRow("top level array") << 200 << QByteArray(R"([{"files":[]}])") << "<none>";
        QTest::newRow("not JSON") << 200 << QByteArray(R"({"files":[)") << "<none>";
        QTest::newRow("404") << 404 << QByteArray(R"({"files":[]})") << "<none>";
        QTest::newRow("500") << 500 << QByteArray() << "failed: 读取远端目录哈希失败（HTTP 500）";
    }

    void treeAnswers()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QString, expected);
        RawPeer peer;
        auto transport = answeredBy(peer, status, body);
        QCOMPARE(outcomeOf(transport->remoteTreeSHA256("/d")), expected);
    }
};

QTEST_GUILESS_MAIN(DigestsTest)
#include "tst_digests.moc"
