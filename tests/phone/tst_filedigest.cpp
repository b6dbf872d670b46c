#include "common/filedigest.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

class TestFileDigest : public QObject
{
    Q_OBJECT

private slots:
    void fileDigests_data();
    void fileDigests();
    void unreadableGivesNothing();
    void manifestLeavesOutHiddenAndFolders();
    void manifestOfOddFolders();
    void manifestOfADeepTree();
    void manifestLeavesOutNamedItems();

private:
    static void write(const QString& path, const QByteArray& bytes)
    {
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
    }
};

void TestFileDigest::fileDigests_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("digest");   // empty: compare with Qt's own SHA-256

    QTest::newRow("empty") << QByteArray()
                           << QStringLiteral("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    QTest::newRow("abc") << QByteArray("abc")
                         << QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // Lengths around the 1 MiB read size: a piece lost or fed twice changes the digest.
    QByteArray large(3 * 1048576 + 17, Qt::Uninitialized);
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = char((i * 131 + i / 7) & 0xff);
    QTest::newRow("exactly one read") << large.left(1048576) << QString();
    QTest::newRow("one read and a byte") << large.left(1048577) << QString();
    QTest::newRow("several reads") << large << QString();
}

void TestFileDigest::fileDigests()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, digest);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f.bin"));
    write(path, bytes);
    if (digest.isEmpty())
        digest = QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    QCOMPARE(FileDigest::sha256Hex(path), std::optional<QString>(digest));

    // The same bytes handed over in pieces of growing, uneven sizes, as a download delivers them.
    FileDigest::Stream stream;
    for (qsizetype at = 0, piece = 1; at < bytes.size(); at += piece, piece = piece * 3 + 1)
        stream.add(QByteArrayView(bytes).sliced(at, std::min(piece, bytes.size() - at)));
    QCOMPARE(stream.finish(), std::optional<QString>(digest));
}

void TestFileDigest::unreadableGivesNothing()
{
    QTemporaryDir dir;
    QVERIFY(!FileDigest::sha256Hex(dir.filePath(QStringLiteral("missing"))).has_value());
    QVERIFY(!FileDigest::sha256Hex(dir.path()).has_value());

    // A stream stopped part way gives nothing rather than the digest of what came before.
    FileDigest::Stream stream;
    stream.add("abc");
    stream.stop();
    stream.add("def");
    QVERIFY(!stream.finish().has_value());
}

void TestFileDigest::manifestLeavesOutHiddenAndFolders()
{
    QTemporaryDir dir;
    const QString root = dir.filePath(QStringLiteral("tree"));
    write(root + QStringLiteral("/a/x.txt"), "x");
    write(root + QStringLiteral("/b/c/d.txt"), "d");
    write(root + QStringLiteral("/中文 名/文件.txt"), "z");
    write(root + QStringLiteral("/.git/config"), "hidden folder");
    write(root + QStringLiteral("/.DS_Store"), "hidden file");
    write(root + QStringLiteral("/a/.hidden"), "hidden inside");
    QVERIFY(QDir().mkpath(root + QStringLiteral("/empty/deeper")));

    const QString dx = QStringLiteral("2d711642b726b04401627ca9fbac32f5c8530fb1903cc4db02258717921a4881");
    const QMap<QString, QString> expected = {
        {QStringLiteral("a/x.txt"), dx},
        {QStringLiteral("b/c/d.txt"), *FileDigest::sha256Hex(root + QStringLiteral("/b/c/d.txt"))},
        {QStringLiteral("中文 名/文件.txt"), *FileDigest::sha256Hex(root + QStringLiteral("/中文 名/文件.txt"))},
    };
    QCOMPARE(FileDigest::sha256Manifest(root), expected);
    // The same folder named in other ways gives the same relative paths.
    QCOMPARE(FileDigest::sha256Manifest(root + QLatin1Char('/')), expected);
    QCOMPARE(FileDigest::sha256Manifest(root + QStringLiteral("/a/..")), expected);
}

void TestFileDigest::manifestOfOddFolders()
{
    QTemporaryDir dir;
    QVERIFY(FileDigest::sha256Manifest(dir.filePath(QStringLiteral("missing"))).isEmpty());
    QVERIFY(FileDigest::sha256Manifest(dir.path()).isEmpty());
    const QString file = dir.filePath(QStringLiteral("plain.txt"));
    write(file, "p");
    QVERIFY(FileDigest::sha256Manifest(file).isEmpty());

    // A link back up the tree must not send the walk round in circles.
    const QString root = dir.filePath(QStringLiteral("loop"));
    write(root + QStringLiteral("/f.txt"), "f");
    QVERIFY(QFile::link(QStringLiteral(".."), root + QStringLiteral("/up")));
    QCOMPARE(FileDigest::sha256Manifest(root).keys(), QStringList{QStringLiteral("f.txt")});

    // A link to a file counts as that file only when the caller lets it in; by default no link counts.
    QVERIFY(QFile::link(QStringLiteral("f.txt"), root + QStringLiteral("/alias.txt")));
    QCOMPARE(FileDigest::sha256Manifest(root).keys(), QStringList{QStringLiteral("f.txt")});
    QStringList asked;
    const auto admit = [&asked](const QString& link) { asked << link; return true; };
    const QMap<QString, QString> linked = FileDigest::sha256Manifest(root, nullptr, admit);
    QCOMPARE(linked.keys(), (QStringList{QStringLiteral("alias.txt"), QStringLiteral("f.txt")}));
    QCOMPARE(linked.value(QStringLiteral("alias.txt")), linked.value(QStringLiteral("f.txt")));
    const auto refuse = [](const QString&) { return false; };
    QCOMPARE(FileDigest::sha256Manifest(root, nullptr, refuse).keys(), QStringList{QStringLiteral("f.txt")});
    asked.sort();
    QCOMPARE(asked, (QStringList{root + QStringLiteral("/alias.txt"), root + QStringLiteral("/up")}));
}

void TestFileDigest::manifestLeavesOutNamedItems()
{
    QTemporaryDir dir;
    write(dir.filePath(QStringLiteral("kept.txt")), "k");
    write(dir.filePath(QStringLiteral("__MACOSX/kept.txt")), "folder");
    write(dir.filePath(QStringLiteral("sub/__MACOSX")), "file");
    write(dir.filePath(QStringLiteral("sub/b.txt")), "b");
    const auto leftover = [](QByteArrayView name) { return name == "__MACOSX"; };
    QCOMPARE(FileDigest::sha256Manifest(dir.path(), nullptr, {}, leftover).keys(),
             (QStringList{QStringLiteral("kept.txt"), QStringLiteral("sub/b.txt")}));
    QCOMPARE(FileDigest::sha256Manifest(dir.path()).size(), 4);
}

void TestFileDigest::manifestOfADeepTree()
{
    // Deeper than the process may hold descriptors open at once.
    QTemporaryDir dir;
    QString folder = dir.filePath(QStringLiteral("deep"));
    QString relative;
    for (int level = 0; level < 200; ++level) {
        folder += QStringLiteral("/d");
        relative += QStringLiteral("d/");
    }
    write(folder + QStringLiteral("/leaf.txt"), "leaf");
    rlimit saved {};
    QCOMPARE(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit few = saved;
    few.rlim_cur = 64;
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &few), 0);
    const QMap<QString, QString> manifest = FileDigest::sha256Manifest(dir.filePath(QStringLiteral("deep")));
    QCOMPARE(::setrlimit(RLIMIT_NOFILE, &saved), 0);
    QCOMPARE(manifest.keys(), QStringList{relative + QStringLiteral("leaf.txt")});
}

QTEST_GUILESS_MAIN(TestFileDigest)
#include "tst_filedigest.moc"
