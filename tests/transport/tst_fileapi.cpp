#include "rawpeer.h"
#include "stdoutcapture.h"

#include "phoneprocess.h"
#include "scopedsettings.h"

#include "archive/tararchive.h"
#include "transport/transporterror.h"
#include "transport/wifitransport.h"
#include "common/zorvaneerror.h"

#include "taskrunner.h"

#include <QCoroTask>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <cstring>
#include <functional>

#include <sys/resource.h>

using namespace std::chrono_literals;

namespace {

// One remote operation, run against whatever the transport is connected to. `local` is a folder
// of this computer the operation may read from or write to.
using Call = std::function<QCoro::Task<void>(WiFiTransport& transport, QString local)>;

// Lets a one-call lambda hand its task on without awaiting it itself: g++ 12 mishandles
// temporaries built inside a co_await expression.
template <typename T>
QCoro::Task<void> discard(QCoro::Task<T> task)
{
    co_await std::move(task);
}

template <typename T>
QString failureOf(QCoro::Task<T>&& task)
{
    try {
        runTask(std::move(task));
    } catch (const TransportError& error) {
        return error.kind() == TransportError::Kind::pairingRequired ? QStringLiteral("<pairingRequired>")
                                                                     : error.description();
    } catch (const std::exception& error) {
        return errorDescription(error);
    }
    return {};
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (char& c : bytes)
        c = char(generator.bounded(256));
    return bytes;
}

// Every item below `folder`: relative path → size and digest of the content, folders as "<folder>".
QMap<QString, QByteArray> snapshot(const QString& folder)
{
    QMap<QString, QByteArray> items;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString relative = QDir(folder).relativeFilePath(path);
        const QByteArray content = readFile(path);
        items.insert(relative, it.fileInfo().isDir()
                                   ? QByteArray("<folder>")
                                   : QByteArray::number(content.size()) + " bytes, sha1 "
                                         + QCryptographicHash::hash(content, QCryptographicHash::Sha1).toHex());
    }
    return items;
}

// The whole archive the source produces.
QByteArray archiveOf(const QString& folder)
{
    TarArchive::TarStreamSource source(folder);
    QByteArray all;
    for (QByteArray chunk = source.nextChunk(); !chunk.isEmpty(); chunk = source.nextChunk())
        all += chunk;
    return all;
}

WiFiDeviceInfo phoneAt(const QString& host, quint16 port)
{
    WiFiDeviceInfo info;
    info.id = QStringLiteral("test-phone");
    info.name = QStringLiteral("测试机");
    info.endpoint = NetworkEndpoint::hostAndPort(host, port);
    return info;
}

const QString missingText =
    QStringLiteral("%1失败（HTTP 404）：文件不存在，或手机端 App 版本过旧（请在手机上更新后重试）");
const QString timeoutText = QStringLiteral(
    "WiFi 传输超时（1 秒无响应）。通常是手机锁屏、切走了 Zorvane 或断开 WiFi——手机端保持 Zorvane 在前台后重试");

// A writer whose every write takes a while, like a slow disk; a refusing one fails as a full disk.
BodyConsumer slowWriter(int delayMs, bool accepts)
{
    return [delayMs, accepts](const QByteArray&) {
        QThread::msleep(delayMs);
        if (!accepts)
            throw PlatformError("磁盘空间不足");
    };
}

// While it lives, files of this process cannot grow past `bytes`: a write beyond fails with EFBIG
// (the signal that would otherwise end the process is ignored), as a write to a full disk fails.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        rlimit lowered = m_saved;
        lowered.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lowered);
        m_savedHandler = std::signal(SIGXFSZ, SIG_IGN);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_savedHandler);
    }

private:
    rlimit m_saved{};
    void (*m_savedHandler)(int) = nullptr;
};

} // namespace

Q_DECLARE_METATYPE(Call)

class FileApiTest : public QObject
{
    Q_OBJECT

private:
    ScopedSettings m_settings;
    TransportTimings m_fast{1000ms, 1000ms, 100ms};
    QTemporaryDir m_work;

    // Connected over WiFi, or through a cable tunnel (which changes the label in failure texts).
    std::unique_ptr<WiFiTransport> connectedTo(const QString& host, quint16 port, bool cable = false)
    {
        auto transport = std::make_unique<WiFiTransport>(m_fast);
        if (cable)
            runTask(transport->connect(host, port, QStringLiteral("serial-1"), QStringLiteral("Pixel"), std::nullopt));
        else
            runTask(transport->connect(phoneAt(host, port), std::nullopt, false));
        return transport;
    }

    // A transport talking to `peer`, whose first connection answers /info and the next `script`.
    std::unique_ptr<WiFiTransport> connectedTo(RawPeer& peer, const RawPeer::Script& script, bool cable = false)
    {
        peer.setScripts({RawPeer::infoAnswer(), script});
        return connectedTo(QStringLiteral("127.0.0.1"), peer.port(), cable);
    }

    std::unique_ptr<PhoneProcess> startPhone(const QStringList& args = {})
    {
        auto phone = std::make_unique<PhoneProcess>();
        if (!phone->start(args))
            qFatal("%s", qPrintable(phone->errorText()));
        return phone;
    }

    // A small tree with what tends to go wrong: nesting, an empty folder, an empty file, names with
    // spaces and Chinese, and a file spanning several chunks. (Hidden items never travel.)
    QString makeTree(const QString& name)
    {
        const QString root = m_work.filePath(name);
        writeFile(root + "/a/b/多块.bin", randomBytes(600'001, 7));
        writeFile(root + "/a/空.txt", {});
        writeFile(root + "/名字 有空格/x.txt", "hello\n");
        QDir().mkpath(root + "/empty");
        return root;
    }

private slots:
    void requestTargets_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("requestLine");
        QTest::addColumn<QByteArray>("contentLength"); // the header's value, or empty when absent
        QTest::addColumn<QByteArray>("body");

        const QString tree = makeTree(QStringLiteral("targets-tree"));
        writeFile(m_work.filePath("empty.bin"), {});
        writeFile(m_work.filePath("hello.txt"), "hello");
        const QByteArray archive = archiveOf(tree);

        QTest::newRow("list root") << Call([](WiFiTransport& t, QString) { return discard(t.listDirectory(QStringLiteral("/"))); }) << QByteArray("[]") << QByteArray("GET /list?path=/ HTTP/1.1") << QByteArray() << QByteArray();
        QTest::newRow("list, spaces and Chinese") << Call([](WiFiTransport& t, QString) { return discard(t.listDirectory(QStringLiteral("/DCIM/相册 1/"))); }) << QByteArray("[]") << QByteArray("GET /list?path=/DCIM/相册%201 HTTP/1.1") << QByteArray() << QByteArray();
        QTest::newRow("mkdir") << Call([](WiFiTransport& t, QString) { return discard(t.createRemoteDirectory(QStringLiteral("/新建 文件夹"))); }) << QByteArray() << QByteArray("POST /mkdir?path=/新建%20文件夹 HTTP/1.1") << QByteArray("0") << QByteArray();
        QTest::newRow("rename") << Call([](WiFiTransport& t, QString) { return discard(t.renameRemote(QStringLiteral("/a.txt"), QStringLiteral("b.txt"))); }) << QByteArray() << QByteArray("POST /rename?path=/a.txt&to=b.txt HTTP/1.1") << QByteArray("0") << QByteArray();
        QTest::newRow("rename, slash in to") << Call([](WiFiTransport& t, QString) { return discard(t.renameRemote(QStringLiteral("/a.txt"), QStringLiteral("sub/b c.txt"))); }) << QByteArray() << QByteArray("POST /rename?path=/a.txt&to=sub%2Fb%20c.txt HTTP/1.1") << QByteArray("0")
                                  << QByteArray();
        QTest::newRow("copy") << Call([](WiFiTransport& t, QString) { return discard(t.copyRemote(QStringLiteral("/a.txt"), QStringLiteral("/x/a.txt"))); }) << QByteArray() << QByteArray("POST /copy?path=/a.txt&to=%2Fx%2Fa.txt HTTP/1.1") << QByteArray("0")
                              << QByteArray();
        QTest::newRow("delete folder") << Call([](WiFiTransport& t, QString) { return discard(t.deleteRemote(QStringLiteral("/DCIM/"), true)); }) << QByteArray() << QByteArray("POST /delete?path=/DCIM HTTP/1.1") << QByteArray("0") << QByteArray();
        QTest::newRow("delete file") << Call([](WiFiTransport& t, QString) { return discard(t.deleteRemote(QStringLiteral("/DCIM"), false)); }) << QByteArray() << QByteArray("POST /delete?path=/DCIM HTTP/1.1") << QByteArray("0") << QByteArray();
        QTest::newRow("upload empty file") << Call([](WiFiTransport& t, QString local) { return discard(t.pushFile(local + "/empty.bin", QStringLiteral("/e.bin"))); }) << QByteArray() << QByteArray("POST /upload?path=/e.bin HTTP/1.1") << QByteArray("0") << QByteArray();
        QTest::newRow("upload") << Call([](WiFiTransport& t, QString local) { return discard(t.pushFile(local + "/hello.txt", QStringLiteral("/h.txt"))); }) << QByteArray() << QByteArray("POST /upload?path=/h.txt HTTP/1.1") << QByteArray("5") << QByteArray("hello");
        QTest::newRow("download") << Call([](WiFiTransport& t, QString local) { return discard(t.pullFile(QStringLiteral("/a.txt"), local + "/pulled.txt")); }) << QByteArray("abc") << QByteArray("GET /download?path=/a.txt HTTP/1.1") << QByteArray() << QByteArray();
        QTest::newRow("folder upload") << Call([](WiFiTransport& t, QString local) -> QCoro::Task<void> {
            TarArchive::TarStreamSource source(local + "/targets-tree");
            const QString remote = QStringLiteral("/up");
            co_await t.pushFolderStreaming(source, remote);
        }) << QByteArray() << QByteArray("POST /uploadTar?path=/up HTTP/1.1") << QByteArray::number(archive.size())
                                       << archive;
        QTest::newRow("folder download") << Call([](WiFiTransport& t, QString local) { return discard(t.pullFolderTar(QStringLiteral("/up/"), local + "/pulled")); }) << QByteArray(1024, '\0') << QByteArray("GET /downloadFolder?path=/up HTTP/1.1") << QByteArray() << QByteArray();
        QTest::newRow("hash") << Call([](WiFiTransport& t, QString) { return discard(t.remoteFileSHA256(QStringLiteral("/a b.txt"))); }) << QByteArray() << QByteArray("GET /hash?path=/a%20b.txt HTTP/1.1") << QByteArray() << QByteArray();
        QTest::newRow("hash tree") << Call([](WiFiTransport& t, QString) { return discard(t.remoteTreeSHA256(QStringLiteral("/"))); }) << QByteArray() << QByteArray("GET /hashTree?path=/ HTTP/1.1") << QByteArray() << QByteArray();
    }

    void requestTargets()
    {
        QFETCH(Call, call);
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, requestLine);
        QFETCH(QByteArray, contentLength);
        QFETCH(QByteArray, body);

        RawPeer peer;
        auto transport = connectedTo(peer, RawPeer::answer(200, answer));
        StdoutCapture quiet; // the folder upload's diagnostic line
        QCOMPARE(failureOf(call(*transport, m_work.path())), QString());

        const QByteArray head = peer.head(1);
        QCOMPARE(head.left(head.indexOf("\r\n")), requestLine);
        static const QRegularExpression lengthHeader(QStringLiteral("\r\nContent-Length: (\\d+)\r\n"));
        QCOMPARE(lengthHeader.match(QString::fromUtf8(head)).captured(1).toUtf8(), contentLength);
        QCOMPARE(peer.received(1).mid(head.size()), body);
    }

    void listingsKeepThePhonesOrderWithFullPaths()
    {
        auto phone = startPhone();
        writeFile(phone->root() + "/a.txt", "12345");
        writeFile(phone->root() + "/DCIM/b.jpg", "jpg");
        QDir().mkpath(phone->root() + "/DCIM/Camera");
        auto transport = connectedTo(phone->host(), phone->port());

        const QList<RemoteEntry> root = runTask(transport->listDirectory(QStringLiteral("/")));
        const QList<RemoteEntry> expectedRoot{{"/DCIM/", "DCIM", true, 0}, {"/a.txt", "a.txt", false, 5}};
        QCOMPARE(root, expectedRoot);

        const QList<RemoteEntry> expectedDcim{{"/DCIM/Camera/", "Camera", true, 0}, {"/DCIM/b.jpg", "b.jpg", false, 3}};
        QCOMPARE(runTask(transport->listDirectory(QStringLiteral("/DCIM/"))), expectedDcim);
        QCOMPARE(runTask(transport->listDirectory(QStringLiteral("/DCIM"))), expectedDcim);
        QCOMPARE(runTask(transport->listDirectory(QStringLiteral("/DCIM/Camera/"))), QList<RemoteEntry>());
    }

    void listingAnswers_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("expected"); // ids joined with "|", or the failure text

        QTest::newRow("empty array") << QByteArray("[]") << QString();
        QTest::newRow("other keys ignored")
            << QByteArray(R"([{"name":"x","isDirectory":false,"size":3,"mtime":1},{"name":"d","isDirectory":true,"size":0}])")
            << QStringLiteral("/p/x|/p/d/");
        QTest::newRow("object, not array")
            << QByteArray(R"({"name":"x"})") << QStringLiteral("目录列表无法解读：不是有效的 JSON 数组");
        QTest::newRow("not JSON") << QByteArray("OK") << QStringLiteral("目录列表无法解读：不是有效的 JSON 数组");
        QTest::newRow("size missing") << QByteArray(R"([{"name":"x","isDirectory":false}])")
                                      << QStringLiteral("目录列表无法解读：第 1 项的字段“size”缺失或不是整数");
        QTest::newRow("size fractional")
            << QByteArray(R"([{"name":"x","isDirectory":false,"size":1},{"name":"y","isDirectory":false,"size":1.5}])")
            << QStringLiteral("目录列表无法解读：第 2 项的字段“size”缺失或不是整数");
        QTest::newRow("name not text") << QByteArray(R"([{"name":7,"isDirectory":false,"size":1}])")
                                       << QStringLiteral("目录列表无法解读：第 1 项的字段“name”缺失或不是文本");
        QTest::newRow("element not object")
            << QByteArray(R"(["x"])") << QStringLiteral("目录列表无法解读：第 1 项不是对象");
    }

    void listingAnswers()
    {
        QFETCH(QByteArray, answer);
        QFETCH(QString, expected);
        RawPeer peer;
        auto transport = connectedTo(peer, RawPeer::answer(200, answer));
        QString outcome;
        try {
            QStringList ids;
            for (const RemoteEntry& entry : runTask(transport->listDirectory(QStringLiteral("/p/"))))
                ids << entry.id;
            outcome = ids.join(QLatin1Char('|'));
        } catch (const std::exception& error) {
            outcome = errorDescription(error);
        }
        QCOMPARE(outcome, expected);
    }

    void statusTexts_data()
    {
        QTest::addColumn<Call>("call");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("cable");
        QTest::addColumn<QString>("expected");

        writeFile(m_work.filePath("up.bin"), "12345");
        writeFile(m_work.filePath("tree/x.txt"), "x");
        const Call list = [](WiFiTransport& t, QString) { return discard(t.listDirectory("/")); };
        const Call mkdir = [](WiFiTransport& t, QString) { return discard(t.createRemoteDirectory("/d")); };
        const Call rename = [](WiFiTransport& t, QString) { return discard(t.renameRemote("/a", "b")); };
        const Call copy = [](WiFiTransport& t, QString) { return discard(t.copyRemote("/a", "/b")); };
        const Call remove = [](WiFiTransport& t, QString) { return discard(t.deleteRemote("/a", false)); };
        const Call push = [](WiFiTransport& t, QString local) { return discard(t.pushFile(local + "/up.bin", "/up.bin")); };
        const Call pull = [](WiFiTransport& t, QString local) { return discard(t.pullFile("/a", local + "/pulled-status.bin", 5)); };
        const Call pushFolder = [](WiFiTransport& t, QString local) -> QCoro::Task<void> {
            TarArchive::TarStreamSource source(local + "/tree");
            const QString remote = QStringLiteral("/tree");
            co_await t.pushFolderStreaming(source, remote);
        };
        const Call pullFolder = [](WiFiTransport& t, QString local) { return discard(t.pullFolderTar("/tree", local + "/status.tar")); };
        const Call hash = [](WiFiTransport& t, QString) { return discard(t.remoteFileSHA256("/a")); };
        const Call hashTree = [](WiFiTransport& t, QString) { return discard(t.remoteTreeSHA256("/")); };

        QTest::newRow("list 500") << list << 500 << QByteArray("x") << false << "WiFi 列目录失败（HTTP 500）";
        QTest::newRow("list 404, cable") << list << 404 << QByteArray() << true << "数据线 列目录失败（HTTP 404）";
        QTest::newRow("mkdir 409") << mkdir << 409 << QByteArray("同名") << false << "WiFi 建目录失败（HTTP 409）";
        QTest::newRow("mkdir 401, cable") << mkdir << 401 << QByteArray() << true << "数据线 建目录失败（HTTP 401）";
        QTest::newRow("rename 409") << rename << 409 << QByteArray() << false << "重命名失败：同名文件已存在";
        QTest::newRow("rename 401") << rename << 401 << QByteArray() << false << "<pairingRequired>";
        QTest::newRow("copy 401") << copy << 401 << QByteArray() << false << "<pairingRequired>";
        QTest::newRow("copy 403") << copy << 403 << QByteArray() << false
                                  << "复制失败：手机端拒绝该操作（不允许操作文件舱根）";
        QTest::newRow("delete 404") << remove << 404 << QByteArray() << false << missingText.arg("删除");
        QTest::newRow("delete 204") << remove << 204 << QByteArray() << false << "删除失败（HTTP 204）";
        QTest::newRow("delete 500") << remove << 500 << QByteArray("坏了") << true << "删除失败（HTTP 500）";
        QTest::newRow("upload 507 with text") << push << 507 << QByteArray("手机空间不足") << false
                                              << "WiFi 推送失败（HTTP 507）手机空间不足";
        QTest::newRow("upload 500, not UTF-8, cable") << push << 500 << QByteArray("\xff\xfe") << true
                                                      << "数据线 推送失败（HTTP 500）";
        QTest::newRow("upload 401") << push << 401 << QByteArray() << false << "WiFi 推送失败（HTTP 401）";
        QTest::newRow("download 404, empty last part") << pull << 404 << QByteArray("文件不存在") << false
                                                       << "WiFi 拉取失败（HTTP 404）";
        QTest::newRow("download 503, cable") << pull << 503 << QByteArray() << true << "数据线 拉取失败（HTTP 503）";
        QTest::newRow("folder upload 404") << pushFolder << 404 << QByteArray() << false << missingText.arg("推送文件夹");
        QTest::newRow("folder upload 409") << pushFolder << 409 << QByteArray() << false << "推送文件夹失败：同名文件已存在";
        QTest::newRow("folder upload 401") << pushFolder << 401 << QByteArray() << false << "<pairingRequired>";
        QTest::newRow("folder download 404") << pullFolder << 404 << QByteArray() << false << missingText.arg("拉取文件夹");
        QTest::newRow("folder download 403") << pullFolder << 403 << QByteArray() << false
                                             << "拉取文件夹失败：手机端拒绝该操作（不允许操作文件舱根）";
        QTest::newRow("folder download 500") << pullFolder << 500 << QByteArray() << false << "拉取文件夹失败（HTTP 500）";
        QTest::newRow("hash 500") << hash << 500 << QByteArray() << false << "读取远端哈希失败（HTTP 500）";
        QTest::newRow("hash 401") << hash << 401 << QByteArray() << false << "读取远端哈希失败（HTTP 401）";
        QTest::newRow("hash tree 403") << hashTree << 403 << QByteArray() << false << "读取远端目录哈希失败（HTTP 403）";
    }

    void statusTexts()
    {
        QFETCH(Call, call);
        QFETCH(int, status);
        QFETCH(QByteArray, answer);
        QFETCH(bool, cable);
        QFETCH(QString, expected);
        RawPeer peer;
        auto transport = connectedTo(peer, RawPeer::answer(status, answer), cable);
        StdoutCapture quiet;
        QCOMPARE(failureOf(call(*transport, m_work.path())), expected);
    }

    void withoutAPhoneNothingIsSent()
    {
        WiFiTransport transport(m_fast);
        const QString notConnected = QStringLiteral("未检测到已连接的手机");
        QCOMPARE(failureOf(transport.listDirectory("/")), notConnected);
        QCOMPARE(failureOf(transport.createRemoteDirectory("/d")), notConnected);
        QCOMPARE(failureOf(transport.remoteFileSHA256("/a")), notConnected);
        QTemporaryDir folder(m_work.filePath("offline-XXXXXX"));
        const QString target = folder.filePath("kept.txt");
        writeFile(target, "old");
        QCOMPARE(failureOf(transport.pullFile("/a", target, std::nullopt)), notConnected);
        QCOMPARE(readFile(target), QByteArray("old"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"kept.txt"});
    }

    // The phone's own refusals reach the user with the right texts.
    void operationsOnThePhone()
    {
        auto phone = startPhone();
        writeFile(phone->root() + "/a.txt", "a");
        auto transport = connectedTo(phone->host(), phone->port());

        QCOMPARE(failureOf(transport->createRemoteDirectory("/新建 文件夹")), QString());
        QVERIFY(QFileInfo(phone->root() + "/新建 文件夹").isDir());
        QCOMPARE(failureOf(transport->createRemoteDirectory("/新建 文件夹")), "WiFi 建目录失败（HTTP 409）");
        QCOMPARE(failureOf(transport->copyRemote("/a.txt", "/新建 文件夹/a.txt")), QString());
        QCOMPARE(readFile(phone->root() + "/新建 文件夹/a.txt"), QByteArray("a"));
        QCOMPARE(failureOf(transport->renameRemote("/a.txt", "b.txt")), QString());
        QVERIFY(QFileInfo::exists(phone->root() + "/b.txt"));
        QCOMPARE(failureOf(transport->renameRemote("/b.txt", "新建 文件夹")), "重命名失败：同名文件已存在");
        QCOMPARE(failureOf(transport->copyRemote("/nope", "/x")), missingText.arg("复制"));
        QCOMPARE(failureOf(transport->deleteRemote("/", true)), "删除失败：手机端拒绝该操作（不允许操作文件舱根）");
        QCOMPARE(failureOf(transport->deleteRemote("/新建 文件夹/", true)), QString());
        QVERIFY(!QFileInfo::exists(phone->root() + "/新建 文件夹"));
        QCOMPARE(failureOf(transport->deleteRemote("/新建 文件夹/", true)), missingText.arg("删除"));

        writeFile(m_work.filePath("up.txt"), "up");
        QCOMPARE(failureOf(transport->pushFile(m_work.filePath("up.txt"), "/no/such/up.txt")),
                 "WiFi 推送失败（HTTP 404）目标文件夹不存在");
        QCOMPARE(failureOf(transport->pullFile("/nope", m_work.filePath("nope.txt"), std::nullopt)),
                 "WiFi 拉取失败（HTTP 404）");

        // A local file that vanished is not sent as an empty one over the phone's copy.
        writeFile(phone->root() + "/kept.txt", "phone copy");
        const QString gone = m_work.filePath("gone.txt");
        QVERIFY(failureOf(transport->pushFile(gone, "/kept.txt")).startsWith("无法读取本机文件：" + gone));
        QCOMPARE(readFile(phone->root() + "/kept.txt"), QByteArray("phone copy"));
    }

    void filesRoundTrip()
    {
        auto phone = startPhone();
        auto transport = connectedTo(phone->host(), phone->port());
        const QByteArray content = randomBytes(700'001, 1);
        const QString local = m_work.filePath("round/x.bin");
        writeFile(local, content);

        QList<double> pushed;
        runTask(transport->pushFile(local, "/x.bin", [&](double f) { pushed << f; }));
        QCOMPARE(readFile(phone->root() + "/x.bin"), content);
        QVERIFY(std::is_sorted(pushed.begin(), pushed.end()));
        QCOMPARE(pushed.last(), 1.0);

        // Into folders that do not exist yet, and over a file that does.
        for (const QString& target : {m_work.filePath("round/new/sub/x.bin"), local}) {
            QList<double> pulled;
            writeFile(m_work.filePath("round/x.bin"), "stale");
            runTask(transport->pullFile("/x.bin", target, std::nullopt, [&](double f) { pulled << f; }));
            QCOMPARE(readFile(target), content);
            QVERIFY(std::is_sorted(pulled.begin(), pulled.end()));
            QVERIFY(pulled.first() < 1.0);
            QCOMPARE(pulled.last(), 1.0);
        }
        QCOMPARE(QDir(m_work.filePath("round/new/sub")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"x.bin"});

        // An empty file both ways.
        const QString empty = m_work.filePath("round/empty.bin");
        writeFile(empty, {});
        runTask(transport->pushFile(empty, "/empty.bin"));
        QCOMPARE(readFile(phone->root() + "/empty.bin"), QByteArray());
        const QString emptyBack = m_work.filePath("round/empty-back.bin");
        runTask(transport->pullFile("/empty.bin", emptyBack, 0));
        QCOMPARE(readFile(emptyBack), QByteArray());
    }

    void failedDownloadKeepsTheExistingFile_data()
    {
        QTest::addColumn<QStringList>("phoneArgs");
        QTest::addColumn<QString>("remote");
        QTest::addColumn<QString>("expected");

        QTest::newRow("missing on the phone") << QStringList() << "/nope" << "WiFi 拉取失败（HTTP 404）";
        QTest::newRow("status 500") << QStringList{"--fault", "/download:status:500"} << "/big.bin"
                                    << "WiFi 拉取失败（HTTP 500）";
        QTest::newRow("closed before answering") << QStringList{"--fault", "/download:close"} << "/big.bin"
                                                 << "连接手机失败（无响应）";
        QTest::newRow("closed after the head") << QStringList{"--fault", "/download:head-close"} << "/big.bin"
                                               << "手机的应答不完整：连接在收到 0 / 300000 字节后中断";
        QTest::newRow("closed mid-body") << QStringList{"--fault", "/download:close-mid:100000"} << "/big.bin"
                                         << "手机的应答不完整：连接在收到 100000 / 300000 字节后中断";
        QTest::newRow("stalled mid-body") << QStringList{"--fault", "/download:stall-mid:1000"} << "/big.bin"
                                          << timeoutText;
    }

    void failedDownloadKeepsTheExistingFile()
    {
        QFETCH(QStringList, phoneArgs);
        QFETCH(QString, remote);
        QFETCH(QString, expected);
        auto phone = startPhone(phoneArgs);
        writeFile(phone->root() + "/big.bin", randomBytes(300'000, 2));
        auto transport = connectedTo(phone->host(), phone->port());

        QTemporaryDir folder(m_work.filePath("keep-XXXXXX"));
        const QString existing = folder.filePath("x.bin");
        writeFile(existing, "旧内容");
        QCOMPARE(failureOf(transport->pullFile(remote, existing, 300'000)), expected);
        QCOMPARE(readFile(existing), QByteArray("旧内容"));

        // Without an earlier file, nothing at all is left.
        const QString fresh = folder.filePath("fresh.bin");
        QCOMPARE(failureOf(transport->pullFile(remote, fresh, std::nullopt)), expected);
        QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
                 QStringList{"x.bin"});
    }

    // A local write that fails ends the download then and there, with its cause, removes what was
    // written and leaves the target as it was.
    void failedLocalWriteStopsTheDownload_data()
    {
        QTest::addColumn<Call>("call"); // pulls into `local`/target
        QTest::addColumn<QByteArray>("left"); // at the target afterwards

        QTest::newRow("file") << Call([](WiFiTransport& t, QString local) { return discard(t.pullFile("/big", local + "/target")); }) << QByteArray("旧内容");
        // The archive holds a file of the same name, which the pull replaces only once complete.
        QTest::newRow("folder") << Call([](WiFiTransport& t, QString local) { return discard(t.pullFolderTar("/d", local)); }) << QByteArray("旧内容");
    }

    void failedLocalWriteStopsTheDownload()
    {
        QFETCH(Call, call);
        QFETCH(QByteArray, left);
        // Far more announced than sent, then silence: only the failed write can end it before the
        // watchdog does.
        RawPeer peer;
        // The body starts as an archive of one large file named "target" (for a file pull it is
        // just bytes).
        QByteArray header(512, '\0');
        header.replace(0, 6, "target");
        header.replace(124, 12, QByteArray::number(99'000'000, 8).rightJustified(11, '0') + '\0');
        header[156] = '0';
        auto transport = connectedTo(peer, {RawPeer::send("HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\n\r\n" + header),
                                            RawPeer::flood(QByteArray(64 * 1024, 'd'), 8), RawPeer::hold()});
        QTemporaryDir folder(m_work.filePath("limit-XXXXXX"));
        const QString target = folder.filePath("target");
        writeFile(target, "旧内容");

        QString text;
        QElapsedTimer clock;
        {
            StdoutCapture quiet; // a slow write's diagnostic line
            FileSizeLimit limit(100 * 1024);
            clock.start();
            text = failureOf(call(*transport, folder.path()));
        }
        QCOMPARE(text, "写入本地文件失败：" + target + "（" + QString::fromLocal8Bit(std::strerror(EFBIG)) + "）");
        QVERIFY2(clock.elapsed() < 900, "waited for the watchdog");
        QCOMPARE(readFile(target), left);
        const QStringList expected = left == "<missing>" ? QStringList() : QStringList{"target"};
        QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), expected);
    }

    void downloadTargetThatCannotBeCreated()
    {
        auto phone = startPhone();
        writeFile(phone->root() + "/a.txt", "a");
        auto transport = connectedTo(phone->host(), phone->port());
        writeFile(m_work.filePath("plainfile"), "f");
        const QString target = m_work.filePath("plainfile/a.txt");
        QCOMPARE(failureOf(transport->pullFile("/a.txt", target, std::nullopt)), "创建本地文件失败：" + target);
    }

    void foldersRoundTripByteForByte()
    {
        auto phone = startPhone();
        auto transport = connectedTo(phone->host(), phone->port());
        const QString tree = makeTree(QStringLiteral("round-tree"));

        TarArchive::TarStreamSource source(tree);
        QList<double> pushed;
        StdoutCapture capture;
        runTask(transport->pushFolderStreaming(source, "/上传/", [&](double f) { pushed << f; }));
        const QByteArray diagnostics = capture.take();
        QVERIFY2(diagnostics.contains("[DIAG] pushFolderStreaming remoteDir=/上传/ totalSize="
                                      + QByteArray::number(source.totalSize()) + "\n"),
                 diagnostics.constData());
        QCOMPARE(pushed.last(), 1.0);
        QCOMPARE(snapshot(phone->root() + "/上传"), snapshot(tree));

        const QString out = m_work.filePath("pulled/out");
        QList<double> pulled;
        runTask(transport->pullFolderTar("/上传", out, [&](double f) { pulled << f; }));
        QVERIFY(std::is_sorted(pulled.begin(), pulled.end()));
        QCOMPARE(pulled.last(), 1.0);
        QCOMPARE(snapshot(out), snapshot(tree));
    }

    // The body ends with the connection, so only the archive itself can tell that it was cut off.
    void cutOffFolderDownloadsFail_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("cut");  // bytes of the archive left out at its end
        QTest::addColumn<QString>("expected");
        const QByteArray plain = "HTTP/1.1 200 OK\r\n\r\n";
        const QByteArray announced = "HTTP/1.1 200 OK\r\nx-qvx-total-bytes: %1\r\n\r\n";
        QTest::newRow("whole") << plain << 0 << QString();
        QTest::newRow("whole, as announced") << announced << 0 << QString();
        QTest::newRow("without its end blocks") << plain << 1024 << QStringLiteral("归档不完整");
        QTest::newRow("shorter than announced") << announced << -512 << QStringLiteral("归档不完整");
    }

    void cutOffFolderDownloadsFail()
    {
        QFETCH(QByteArray, head);
        QFETCH(int, cut);
        QFETCH(QString, expected);
        const QString tree = m_work.filePath("cut-tree");
        writeFile(tree + "/a.bin", randomBytes(5000, 9));
        TarArchive::TarStreamSource source(tree);
        QByteArray archive;
        source.appendChunks(archive, source.totalSize());
        // A negative cut announces that many bytes more than are sent.
        const QByteArray sent = archive.chopped(std::max(cut, 0));
        head.replace("%1", QByteArray::number(archive.size() - std::min(cut, 0)));
        RawPeer peer;
        auto transport = connectedTo(peer, {RawPeer::send(head + sent), RawPeer::close()});
        QTemporaryDir into(m_work.filePath("cut-XXXXXX"));
        QCOMPARE(failureOf(transport->pullFolderTar("/cut-tree", into.path())), expected);
    }

    void failedFolderDownloadLeavesTheFolderAsItWas_data()
    {
        QTest::addColumn<QStringList>("phoneArgs");
        QTest::addColumn<QString>("remote");
        QTest::addColumn<bool>("paired");
        QTest::addColumn<QString>("expected");

        QTest::newRow("no folder endpoints") << QStringList{"--no-folder-endpoints"} << "/d" << true
                                             << missingText.arg("拉取文件夹");
        QTest::newRow("missing folder") << QStringList() << "/nope" << true << missingText.arg("拉取文件夹");
        QTest::newRow("status 500") << QStringList{"--fault", "/downloadFolder:status:500"} << "/d" << true
                                    << "拉取文件夹失败（HTTP 500）";
        QTest::newRow("stalled mid-body") << QStringList{"--fault", "/downloadFolder:stall-mid:3000"} << "/d" << true
                                          << timeoutText;
        QTest::newRow("pairing needed") << QStringList{"--pairing-code", "123456"} << "/d" << false
                                        << "<pairingRequired>";
        QTest::newRow("cut off mid-file") << QStringList{"--fault", "/downloadFolder:close-mid:50000"} << "/d" << true
                                          << "归档不完整";
    }

    void failedFolderDownloadLeavesTheFolderAsItWas()
    {
        QFETCH(QStringList, phoneArgs);
        QFETCH(QString, remote);
        QFETCH(bool, paired);
        QFETCH(QString, expected);
        auto phone = startPhone(phoneArgs);
        writeFile(phone->root() + "/d/big.bin", randomBytes(300'000, 3));
        std::unique_ptr<WiFiTransport> transport;
        if (paired) {
            transport = connectedTo(phone->host(), phone->port());
        } else {
            transport = std::make_unique<WiFiTransport>(m_fast);
            transport->switchEndpoint(phone->host(), phone->port());
        }

        QTemporaryDir folder(m_work.filePath("tar-XXXXXX"));
        writeFile(folder.filePath("big.bin"), "older");
        const QMap<QString, QByteArray> before = snapshot(folder.path());
        QCOMPARE(failureOf(transport->pullFolderTar(remote, folder.path())), expected);
        QCOMPARE(snapshot(folder.path()), before);
    }

    void folderUploadFailures()
    {
        auto phone = startPhone({"--no-folder-endpoints"});
        auto transport = connectedTo(phone->host(), phone->port());
        const QString tree = m_work.filePath("upload-failures");
        writeFile(tree + "/x.bin", randomBytes(100'000, 4));
        StdoutCapture quiet;
        {
            TarArchive::TarStreamSource source(tree);
            QCOMPARE(failureOf(transport->pushFolderStreaming(source, "/up")), missingText.arg("推送文件夹"));
        }
        // A file that shrank after the archive was planned ends the upload with the source's error.
        auto healthy = startPhone();
        auto other = connectedTo(healthy->host(), healthy->port());
        TarArchive::TarStreamSource source(tree);
        writeFile(tree + "/x.bin", "short");
        QCOMPARE(failureOf(other->pushFolderStreaming(source, "/up")), QStringLiteral("归档不完整"));
    }

    void slowWritesAreReported()
    {
        const BodyConsumer slow = slowWriter(250, true);
        const BodyConsumer fast = slowWriter(0, true);
        const BodyConsumer refusing = slowWriter(0, false);
        const QByteArray piece(1000, 'x');
        StdoutCapture capture;
        WiFiTransport::appendReportingSlowWrite(slow, piece);
        WiFiTransport::appendReportingSlowWrite(fast, piece);
        WiFiTransport::appendReportingSlowWrite(slow, piece.left(10));
        QVERIFY_THROWS_EXCEPTION(PlatformError, WiFiTransport::appendReportingSlowWrite(refusing, piece));
        const QList<QByteArray> lines = capture.take().split('\n');

        static const QRegularExpression line(QStringLiteral("^\\[DIAG\\] 落盘慢 (\\d+) ms / (\\d+) 字节$"));
        QCOMPARE(lines.size(), 3); // two lines and the empty rest after the last line break
        QList<int> sizes;
        for (int i = 0; i < 2; ++i) {
            const auto match = line.match(QString::fromUtf8(lines[i]));
            QVERIFY2(match.hasMatch(), lines[i].constData());
            QVERIFY(match.captured(1).toInt() >= 250);
            sizes << match.captured(2).toInt();
        }
        QCOMPARE(sizes, (QList<int>{1000, 10}));
    }
};

QTEST_GUILESS_MAIN(FileApiTest)
#include "tst_fileapi.moc"
