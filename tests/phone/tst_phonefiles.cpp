#include "archive/tararchive.h"
#include "phoneprocess.h"
#include "rawhttp.h"
#include "common/filedigest.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The file cabin's endpoints served by the real stand-in process, on a small folder made
// afresh for every test.
class TestPhoneFiles : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void listing();
    void operations_data();
    void operations();
    void curlRoundTrip();
    void cutUploadLeavesOldFileIntact();
    void pathsStayInsideTheRoot_data();
    void pathsStayInsideTheRoot();
    void digests();
    void digestSwitchesAndFaults();
    void folderArchivesRoundTrip();
    void folderEndpointsCanBeSwitchedOff();
    void downloadFaults_data();
    void downloadFaults();
    void slowReadTakesItsTime();
    void stalledReaderDoesNotBlockOthers();

private:
    QString path(const QString& relative) const { return m_cabin + QLatin1Char('/') + relative; }
    bool start(PhoneProcess& phone, const QStringList& args = {})
    {
        const bool ok = phone.start(args, m_cabin);
        if (!ok)
            qWarning("%s", qPrintable(phone.errorText()));
        return ok;
    }
    static RawHttp::Reply send(PhoneProcess& phone, const QByteArray& method,
                               const QByteArray& target, const QByteArray& body = {})
    {
        return RawHttp::exchange(phone.host(), phone.port(),
                                 RawHttp::request(method, target, "TEST-CLIENT", body));
    }
    static void write(const QString& file, const QByteArray& bytes)
    {
        QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QCOMPARE(out.write(bytes), bytes.size());
    }
    static QByteArray read(const QString& file)
    {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }
    // Relative path → content of every file below `root` ("dir/" for folders).
    static QMap<QString, QByteArray> snapshot(const QString& root)
    {
        QMap<QString, QByteArray> tree;
        QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString item = it.next();
            const QString rel = item.mid(root.size() + 1);
            tree.insert(it.fileInfo().isDir() ? rel + QLatin1Char('/') : rel,
                        it.fileInfo().isDir() ? QByteArray() : read(item));
        }
        return tree;
    }

    QString scratch(const QString& name) const { return m_tmp->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_cabin;
    QString m_outside;
};

void TestPhoneFiles::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    m_cabin = m_tmp->filePath(QStringLiteral("cabin"));
    m_outside = m_tmp->filePath(QStringLiteral("outside"));
    write(path(QStringLiteral("a.txt")), "alpha");
    write(path(QStringLiteral("DCIM/IMG 1.jpg")), QByteArray(3000, 'j'));
    write(path(QStringLiteral("DCIM/旅行/海.txt")), "sea");
    write(m_outside + QStringLiteral("/secret.txt"), "secret");
    QVERIFY(QFile::link(QStringLiteral("../outside"), path(QStringLiteral("out"))));
    QVERIFY(QFile::link(QStringLiteral("../outside/secret.txt"), path(QStringLiteral("outfile"))));
}

void TestPhoneFiles::listing()
{
    write(path(QStringLiteral(".zorvane-upload-abc123")), "in progress");
    QVERIFY(QFile::link(QStringLiteral("DCIM"), path(QStringLiteral("camera"))));
    PhoneProcess phone;
    QVERIFY(start(phone));

    const RawHttp::Reply root = send(phone, "GET", "/list?path=/");
    QCOMPARE(root.status, 200);
    QMap<QString, QPair<bool, qint64>> entries;
    for (const QJsonValue& value : QJsonDocument::fromJson(root.body).array()) {
        const QJsonObject entry = value.toObject();
        entries.insert(entry.value(QStringLiteral("name")).toString(),
                       {entry.value(QStringLiteral("isDirectory")).toBool(),
                        entry.value(QStringLiteral("size")).toInteger(-1)});
    }
    // Links leading out of the cabin and our own unfinished uploads are not shown.
    const QMap<QString, QPair<bool, qint64>> expected = {
        {QStringLiteral("a.txt"), {false, 5}},
        {QStringLiteral("DCIM"), {true, 0}},
        {QStringLiteral("camera"), {true, 0}},
    };
    QCOMPARE(entries, expected);

    const RawHttp::Reply sub = send(phone, "GET", "/list?path=/DCIM/");
    QCOMPARE(sub.status, 200);
    const QJsonArray subEntries = QJsonDocument::fromJson(sub.body).array();
    QCOMPARE(subEntries.size(), 2);
    QCOMPARE(send(phone, "GET", "/list?path=/DCIM/%E6%97%85%E8%A1%8C").status, 200);
    QCOMPARE(send(phone, "GET", "/list?path=/missing").status, 404);
    QCOMPARE(send(phone, "GET", "/list?path=/a.txt").status, 400);
    QCOMPARE(send(phone, "GET", "/list").status, 400);
}

void TestPhoneFiles::operations_data()
{
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("present");   // afterwards, relative to the cabin
    QTest::addColumn<QStringList>("absent");

    auto l = [](std::initializer_list<const char*> names) {
        QStringList list;
        for (const char* name : names)
            list << QString::fromUtf8(name);
        return list;
    };
    QTest::newRow("mkdir") << QByteArray("/mkdir?path=/new") << 200 << l({"new"}) << l({});
    QTest::newRow("mkdir Chinese") << QByteArray("/mkdir?path=/DCIM/%E6%96%B0%20%E5%BB%BA") << 200 << l({"DCIM/新 建"}) << l({});
    QTest::newRow("mkdir root") << QByteArray("/mkdir?path=/") << 403 << l({}) << l({});
    QTest::newRow("mkdir existing") << QByteArray("/mkdir?path=/DCIM") << 409 << l({"DCIM/IMG 1.jpg"}) << l({});
    QTest::newRow("mkdir without parent") << QByteArray("/mkdir?path=/none/x") << 404 << l({}) << l({"none"});
    QTest::newRow("rename to name") << QByteArray("/rename?path=/a.txt&to=b.txt") << 200 << l({"b.txt"}) << l({"a.txt"});
    QTest::newRow("rename to path") << QByteArray("/rename?path=/a.txt&to=%2FDCIM%2Fa.txt") << 200 << l({"DCIM/a.txt"}) << l({"a.txt"});
    QTest::newRow("rename folder") << QByteArray("/rename?path=/DCIM&to=/Photos") << 200 << l({"Photos/旅行/海.txt"}) << l({"DCIM"});
    QTest::newRow("rename root") << QByteArray("/rename?path=/&to=x") << 403 << l({}) << l({"x"});
    QTest::newRow("rename onto root") << QByteArray("/rename?path=/a.txt&to=/") << 403 << l({"a.txt"}) << l({});
    QTest::newRow("rename missing") << QByteArray("/rename?path=/nope&to=x") << 404 << l({}) << l({"x"});
    QTest::newRow("rename onto existing") << QByteArray("/rename?path=/a.txt&to=DCIM") << 409 << l({"a.txt", "DCIM/IMG 1.jpg"}) << l({});
    QTest::newRow("rename into itself") << QByteArray("/rename?path=/DCIM&to=/DCIM/inner") << 400 << l({"DCIM"}) << l({"DCIM/inner"});
    QTest::newRow("rename without to") << QByteArray("/rename?path=/a.txt") << 400 << l({"a.txt"}) << l({});
    QTest::newRow("copy folder") << QByteArray("/copy?path=/DCIM&to=/Backup") << 200 << l({"DCIM/旅行/海.txt", "Backup/旅行/海.txt", "Backup/IMG 1.jpg"}) << l({});
    QTest::newRow("copy file") << QByteArray("/copy?path=/a.txt&to=c.txt") << 200 << l({"a.txt", "c.txt"}) << l({});
    QTest::newRow("copy root") << QByteArray("/copy?path=/&to=/x") << 403 << l({}) << l({"x"});
    QTest::newRow("copy into itself") << QByteArray("/copy?path=/DCIM&to=/DCIM/again") << 400 << l({}) << l({"DCIM/again"});
    QTest::newRow("copy onto existing") << QByteArray("/copy?path=/DCIM&to=/a.txt") << 409 << l({"a.txt"}) << l({});
    // A link inside the cabin that leads back to the source does not let a folder into itself.
    QTest::newRow("copy into itself through a link") << QByteArray("/copy?path=/DCIM&to=/camera/again") << 400 << l({}) << l({"DCIM/again"});
    QTest::newRow("copy link to the cabin into the cabin") << QByteArray("/copy?path=/self&to=/DCIM/loop") << 400 << l({}) << l({"DCIM/loop"});
    QTest::newRow("move into itself through a link") << QByteArray("/rename?path=/DCIM&to=/camera/moved") << 400 << l({"DCIM"}) << l({"DCIM/moved"});
    QTest::newRow("delete file") << QByteArray("/delete?path=/a.txt") << 200 << l({"DCIM"}) << l({"a.txt"});
    QTest::newRow("delete folder") << QByteArray("/delete?path=/DCIM") << 200 << l({"a.txt"}) << l({"DCIM"});
    QTest::newRow("delete root") << QByteArray("/delete?path=/") << 403 << l({"a.txt", "DCIM"}) << l({});
    QTest::newRow("delete missing") << QByteArray("/delete?path=/nope") << 404 << l({}) << l({});
}

void TestPhoneFiles::operations()
{
    QFETCH(QByteArray, target);
    QFETCH(int, status);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);
    QVERIFY(QFile::link(QStringLiteral("DCIM"), path(QStringLiteral("camera"))));
    QVERIFY(QFile::link(QStringLiteral("."), path(QStringLiteral("self"))));
    PhoneProcess phone;
    QVERIFY(start(phone));
    const RawHttp::Reply reply = send(phone, "POST", target);
    QCOMPARE(reply.status, status);
    for (const QString& name : present)
        QVERIFY2(QFileInfo::exists(path(name)), qPrintable(name));
    for (const QString& name : absent)
        QVERIFY2(!QFileInfo::exists(path(name)), qPrintable(name));
    if (QByteArray(QTest::currentDataTag()).startsWith("copy folder"))
        QCOMPARE(snapshot(path(QStringLiteral("Backup"))), snapshot(path(QStringLiteral("DCIM"))));
}

void TestPhoneFiles::curlRoundTrip()
{
    const QString curl = QStandardPaths::findExecutable(QStringLiteral("curl"));
    if (curl.isEmpty())
        QSKIP("curl is not installed");
    PhoneProcess phone;
    QVERIFY(start(phone));
    const auto run = [&](const QStringList& args) {
        QProcess process;
        process.start(curl, QStringList{QStringLiteral("-sS"), QStringLiteral("-f"),
                                        QStringLiteral("--max-time"), QStringLiteral("60")} + args);
        return process.waitForFinished(90000) && process.exitStatus() == QProcess::NormalExit
               && process.exitCode() == 0;
    };
    const QString base = QStringLiteral("http://%1").arg(phone.address());

    // Large enough that curl asks for 100-continue and the body takes many reads.
    QByteArray content(5 * 1024 * 1024 + 3, Qt::Uninitialized);
    for (qsizetype i = 0; i < content.size(); ++i)
        content[i] = char((i * 7919) >> 3);
    const QString local = scratch(QStringLiteral("local.bin"));
    write(local, content);
    QVERIFY(run({QStringLiteral("-T"), local, base + QStringLiteral("/upload?path=/x")}));
    QCOMPARE(read(path(QStringLiteral("x"))), content);
    const QString back = scratch(QStringLiteral("back.bin"));
    QVERIFY(run({QStringLiteral("-o"), back, base + QStringLiteral("/download?path=/x")}));
    QCOMPARE(read(back), content);

    // An upload replaces the old file; an empty one makes an empty file.
    const QString empty = scratch(QStringLiteral("empty"));
    write(empty, {});
    QVERIFY(run({QStringLiteral("-T"), empty,
                 base + QStringLiteral("/upload?path=/DCIM/%E6%97%85%E8%A1%8C/%E6%B5%B7.txt")}));
    QVERIFY(QFileInfo::exists(path(QStringLiteral("DCIM/旅行/海.txt"))));
    QCOMPARE(QFileInfo(path(QStringLiteral("DCIM/旅行/海.txt"))).size(), 0);
    // The client's own upload: POST with Content-Length.
    QCOMPARE(send(phone, "POST", "/upload?path=/a.txt", "new alpha").status, 200);
    QCOMPARE(read(path(QStringLiteral("a.txt"))), QByteArray("new alpha"));

    QCOMPARE(send(phone, "GET", "/download?path=/missing").status, 404);
    QCOMPARE(send(phone, "GET", "/download?path=/DCIM").status, 400);
    QCOMPARE(send(phone, "POST", "/upload?path=/nowhere/x.txt", "x").status, 404);
    QCOMPARE(send(phone, "POST", "/upload?path=/DCIM", "x").status, 409);
    QCOMPARE(snapshot(m_cabin).keys().filter(QStringLiteral(".zorvane-")), QStringList());
}

void TestPhoneFiles::cutUploadLeavesOldFileIntact()
{
    PhoneProcess phone;
    QVERIFY(start(phone));
    const QByteArray before = read(path(QStringLiteral("a.txt")));
    {
        QTcpSocket socket;
        socket.connectToHost(phone.host(), phone.port());
        QVERIFY(socket.waitForConnected(5000));
        socket.write("POST /upload?path=/a.txt HTTP/1.1\r\nHost: tarnivox\r\n"
                     "Content-Length: 100000\r\nConnection: close\r\n\r\n");
        socket.write(QByteArray(1000, 'z'));
        QVERIFY(socket.waitForBytesWritten(5000));
        QTest::qWait(200);
        socket.abort();
    }
    // The server notices the end of the connection and drops the half-made file.
    QTRY_COMPARE(snapshot(m_cabin).keys().filter(QStringLiteral(".zorvane-")), QStringList());
    QCOMPARE(read(path(QStringLiteral("a.txt"))), before);
    QCOMPARE(send(phone, "GET", "/download?path=/a.txt").body, before);
}

void TestPhoneFiles::pathsStayInsideTheRoot_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("target");
    QTest::addColumn<int>("status");

    QTest::newRow("dot dot") << QByteArray("GET") << QByteArray("/download?path=/../outside/secret.txt") << 400;
    QTest::newRow("escaped dot dot") << QByteArray("GET") << QByteArray("/download?path=/%2e%2e/outside/secret.txt") << 400;
    QTest::newRow("escaped slashes") << QByteArray("GET") << QByteArray("/download?path=%2F..%2Foutside%2Fsecret.txt") << 400;
    QTest::newRow("absolute") << QByteArray("GET") << QByteArray("/download?path=//etc/passwd") << 404;
    QTest::newRow("file behind link") << QByteArray("GET") << QByteArray("/download?path=/out/secret.txt") << 403;
    QTest::newRow("link to file") << QByteArray("GET") << QByteArray("/download?path=/outfile") << 403;
    QTest::newRow("list behind link") << QByteArray("GET") << QByteArray("/list?path=/out") << 403;
    QTest::newRow("hash behind link") << QByteArray("GET") << QByteArray("/hash?path=/outfile") << 403;
    QTest::newRow("archive behind link") << QByteArray("GET") << QByteArray("/downloadFolder?path=/out") << 403;
    QTest::newRow("upload behind link") << QByteArray("POST") << QByteArray("/upload?path=/out/new.txt") << 403;
    QTest::newRow("upload over link") << QByteArray("POST") << QByteArray("/upload?path=/outfile") << 403;
    QTest::newRow("upload dot dot") << QByteArray("POST") << QByteArray("/upload?path=/../outside/new.txt") << 400;
    QTest::newRow("unpack behind link") << QByteArray("POST") << QByteArray("/uploadTar?path=/out/x") << 403;
    QTest::newRow("mkdir behind link") << QByteArray("POST") << QByteArray("/mkdir?path=/out/new") << 403;
    QTest::newRow("delete behind link") << QByteArray("POST") << QByteArray("/delete?path=/out/secret.txt") << 403;
    QTest::newRow("rename out") << QByteArray("POST") << QByteArray("/rename?path=/a.txt&to=/out/a.txt") << 403;
    QTest::newRow("rename out by dot dot") << QByteArray("POST") << QByteArray("/rename?path=/a.txt&to=../a.txt") << 400;
    QTest::newRow("copy in from outside") << QByteArray("POST") << QByteArray("/copy?path=/outfile&to=/stolen") << 403;
}

void TestPhoneFiles::pathsStayInsideTheRoot()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, target);
    QFETCH(int, status);
    PhoneProcess phone;
    QVERIFY(start(phone));
    const QMap<QString, QByteArray> outsideBefore = snapshot(m_outside);
    const QMap<QString, QByteArray> cabinBefore = snapshot(m_cabin);
    const RawHttp::Reply reply = send(phone, method, target, method == "POST" ? QByteArray("data") : QByteArray());
    QCOMPARE(reply.status, status);
    QVERIFY(!reply.body.contains("secret"));
    QCOMPARE(snapshot(m_outside), outsideBefore);
    QCOMPARE(snapshot(m_cabin), cabinBefore);
}

void TestPhoneFiles::digests()
{
    PhoneProcess phone;
    QVERIFY(start(phone));
    const RawHttp::Reply file = send(phone, "GET", "/hash?path=/DCIM/IMG%201.jpg");
    QCOMPARE(file.status, 200);
    QCOMPARE(QString::fromLatin1(file.body.trimmed()),
             *FileDigest::sha256Hex(path(QStringLiteral("DCIM/IMG 1.jpg"))));
    QCOMPARE(send(phone, "GET", "/hash?path=/missing").status, 404);
    QCOMPARE(send(phone, "GET", "/hash?path=/DCIM").status, 404);

    const RawHttp::Reply tree = send(phone, "GET", "/hashTree?path=/DCIM");
    QCOMPARE(tree.status, 200);
    QMap<QString, QString> remote;
    for (const QJsonValue& value : QJsonDocument::fromJson(tree.body).object().value(QStringLiteral("files")).toArray())
        remote.insert(value[QStringLiteral("path")].toString(), value[QStringLiteral("sha256")].toString());
    QCOMPARE(remote, FileDigest::sha256Manifest(path(QStringLiteral("DCIM"))));
    QCOMPARE(send(phone, "GET", "/hashTree?path=/a.txt").status, 404);

    // The whole cabin: the link to a file outside gives away no digest; one to a file inside does.
    QVERIFY(QFile::link(QStringLiteral("a.txt"), path(QStringLiteral("alias.txt"))));
    const RawHttp::Reply whole = send(phone, "GET", "/hashTree?path=/");
    QCOMPARE(whole.status, 200);
    QVERIFY(whole.body.contains("DCIM/旅行/海.txt"));
    QVERIFY(whole.body.contains("alias.txt"));
    QVERIFY(!whole.body.contains("outfile"));
    QVERIFY(!whole.body.contains(FileDigest::sha256Hex(m_outside + QStringLiteral("/secret.txt"))->toLatin1()));
}

void TestPhoneFiles::digestSwitchesAndFaults()
{
    const QString real = *FileDigest::sha256Hex(path(QStringLiteral("a.txt")));
    {
        PhoneProcess phone;
        QVERIFY(start(phone, {QStringLiteral("--tree-prefix")}));
        const QJsonArray files = QJsonDocument::fromJson(send(phone, "GET", "/hashTree?path=/DCIM/").body)
                                     .object().value(QStringLiteral("files")).toArray();
        QStringList paths;
        for (const QJsonValue& value : files)
            paths << value[QStringLiteral("path")].toString();
        paths.sort();
        QCOMPARE(paths, (QStringList{QStringLiteral("DCIM/IMG 1.jpg"), QStringLiteral("DCIM/旅行/海.txt")}));
    }
    {
        PhoneProcess phone;
        QVERIFY(start(phone, {QStringLiteral("--no-hash")}));
        QCOMPARE(send(phone, "GET", "/hash?path=/a.txt").status, 404);
        QCOMPARE(send(phone, "GET", "/hashTree?path=/").status, 404);
        QCOMPARE(send(phone, "GET", "/download?path=/a.txt").status, 200);
    }
    {
        PhoneProcess phone;
        QVERIFY(start(phone, {QStringLiteral("--fault"), QStringLiteral("/hash:corrupt-digest@1"),
                              QStringLiteral("--fault"), QStringLiteral("/hashTree:corrupt-digest")}));
        const QString wrong = QString::fromLatin1(send(phone, "GET", "/hash?path=/a.txt").body.trimmed());
        QCOMPARE(wrong.size(), 64);
        QVERIFY(wrong != real);
        QCOMPARE(QString::fromLatin1(send(phone, "GET", "/hash?path=/a.txt").body.trimmed()), real);
        const QJsonArray files = QJsonDocument::fromJson(send(phone, "GET", "/hashTree?path=/").body)
                                     .object().value(QStringLiteral("files")).toArray();
        QMap<QString, QString> remote;
        for (const QJsonValue& value : files)
            remote.insert(value[QStringLiteral("path")].toString(), value[QStringLiteral("sha256")].toString());
        QMap<QString, QString> local = FileDigest::sha256Manifest(m_cabin);
        local.remove(QStringLiteral("outfile"));
        QCOMPARE(remote.keys(), local.keys());
        QVERIFY(remote != local);
    }
}

void TestPhoneFiles::folderArchivesRoundTrip()
{
    write(path(QStringLiteral("DCIM/big.bin")), QByteArray(700000, 'b'));
    PhoneProcess phone;
    QVERIFY(start(phone));

    const RawHttp::Reply archive = send(phone, "GET", "/downloadFolder?path=/DCIM");
    QCOMPARE(archive.status, 200);
    QVERIFY(archive.closedByPeer);
    QVERIFY(!archive.hasHeader("content-length"));
    QCOMPARE(archive.header("x-qvx-total-bytes").toLongLong(), archive.body.size());
    const QString tarFile = scratch(QStringLiteral("pulled.tar"));
    write(tarFile, archive.body);
    const QString pulled = scratch(QStringLiteral("pulled"));
    TarArchive::extractTar(tarFile, pulled);
    QCOMPARE(snapshot(pulled), snapshot(path(QStringLiteral("DCIM"))));

    // Up again, into a folder that does not exist yet.
    TarArchive::TarStreamSource source(pulled);
    QByteArray body;
    for (QByteArray piece = source.nextChunk(); !piece.isEmpty(); piece = source.nextChunk())
        body += piece;
    QCOMPARE(send(phone, "POST", "/uploadTar?path=/%E5%A4%87%E4%BB%BD/DCIM", body).status, 200);
    QCOMPARE(snapshot(path(QStringLiteral("备份/DCIM"))), snapshot(path(QStringLiteral("DCIM"))));

    QCOMPARE(send(phone, "POST", "/uploadTar?path=/cut", body.left(1500)).status, 400);
    QCOMPARE(send(phone, "POST", "/uploadTar?path=/a.txt", body).status, 409);
    QCOMPARE(send(phone, "GET", "/downloadFolder?path=/missing").status, 404);
    QCOMPARE(send(phone, "GET", "/downloadFolder?path=/a.txt").status, 400);
}

void TestPhoneFiles::folderEndpointsCanBeSwitchedOff()
{
    PhoneProcess phone;
    QVERIFY(start(phone, {QStringLiteral("--no-folder-endpoints")}));
    QCOMPARE(send(phone, "GET", "/downloadFolder?path=/DCIM").status, 404);
    QCOMPARE(send(phone, "POST", "/uploadTar?path=/x", QByteArray(1024, '\0')).status, 404);
    QVERIFY(!QFileInfo::exists(path(QStringLiteral("x"))));
    QCOMPARE(send(phone, "GET", "/hashTree?path=/DCIM").status, 200);
}

void TestPhoneFiles::downloadFaults_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("bodyBytes");
    QTest::addColumn<bool>("closed");

    QTest::newRow("stall-mid") << QStringLiteral("/download:stall-mid:1000") << 1000 << false;
    QTest::newRow("close-mid") << QStringLiteral("/download:close-mid:1000") << 1000 << true;
    QTest::newRow("short") << QStringLiteral("/download:short:10") << 10 << true;
    QTest::newRow("head-close") << QStringLiteral("/download:head-close") << 0 << true;
    QTest::newRow("folder close-mid") << QStringLiteral("/downloadFolder:close-mid:600") << 600 << true;
}

void TestPhoneFiles::downloadFaults()
{
    QFETCH(QString, fault);
    QFETCH(int, bodyBytes);
    QFETCH(bool, closed);
    PhoneProcess phone;
    QVERIFY(start(phone, {QStringLiteral("--fault"), fault}));
    const QByteArray target = fault.startsWith(QLatin1String("/downloadFolder"))
                                  ? QByteArray("/downloadFolder?path=/DCIM")
                                  : QByteArray("/download?path=/DCIM/IMG%201.jpg");
    const RawHttp::Reply reply = RawHttp::exchange(phone.host(), phone.port(),
                                                   RawHttp::request("GET", target), closed ? 10000 : 1500);
    QCOMPARE(reply.status, 200);
    QCOMPARE(reply.body.size(), bodyBytes);
    QCOMPARE(reply.closedByPeer, closed);
    if (reply.hasHeader("content-length"))
        QCOMPARE(reply.header("content-length").toLongLong(), 3000);
}

void TestPhoneFiles::slowReadTakesItsTime()
{
    PhoneProcess phone;
    QVERIFY(start(phone, {QStringLiteral("--fault"), QStringLiteral("/upload:slow-read:40")}));
    const QByteArray content(128 * 1024, 's');
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(send(phone, "POST", "/upload?path=/slow.bin", content).status, 200);
    // 16 KiB every 40 ms: eight pieces cannot take much less than 7 pauses.
    QVERIFY2(clock.elapsed() >= 250, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(read(path(QStringLiteral("slow.bin"))), content);
}

void TestPhoneFiles::stalledReaderDoesNotBlockOthers()
{
    write(path(QStringLiteral("huge.bin")), QByteArray(64 * 1024 * 1024, 'h'));
    PhoneProcess phone;
    QVERIFY(start(phone));
    QTcpSocket reader;
    reader.setReadBufferSize(64 * 1024);
    reader.connectToHost(phone.host(), phone.port());
    QVERIFY(reader.waitForConnected(5000));
    reader.write(RawHttp::request("GET", "/download?path=/huge.bin"));
    QVERIFY(reader.waitForReadyRead(5000));
    // The big answer is stuck in a full socket; everyone else is still served at once.
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(send(phone, "GET", "/list?path=/").status, 200);
    QCOMPARE(send(phone, "GET", "/hash?path=/a.txt").status, 200);
    QVERIFY(clock.elapsed() < 3000);
    // And the stuck one still gets every byte once it reads.
    reader.setReadBufferSize(0);
    qint64 received = 0;
    QByteArray head;
    QElapsedTimer total;
    total.start();
    while (total.elapsed() < 60000 && reader.state() == QAbstractSocket::ConnectedState) {
        reader.waitForReadyRead(1000);
        received += reader.readAll().size();
    }
    received += reader.readAll().size();
    QVERIFY(received > 64 * 1024 * 1024);
    QVERIFY(received < 64 * 1024 * 1024 + 1024);
}

QTEST_GUILESS_MAIN(TestPhoneFiles)
#include "tst_phonefiles.moc"
