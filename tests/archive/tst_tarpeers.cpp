#include "archive/tararchive.h"
#include "archivetestkit.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

// Interoperation with real peers: GNU tar and Python's tarfile read what we write, and we read
// what they write, in each of their formats.

using namespace ArchiveTestKit;
using Tree = QMap<QString, QByteArray>;

namespace {

QString deepPath()
{
    QStringList levels;
    for (int i = 0; i < 20; ++i)
        levels << QStringLiteral("level-%1").arg(i, 2, 10, QChar(u'0'));
    return levels.join(u'/');
}

// What must arrive. `withOverlongComponents` adds names that only long-name records or extended
// headers can carry (a single component over 100 bytes); ustar writers refuse those.
Tree expectedTree(bool withOverlongComponents)
{
    Tree tree{
        {"中文文件夹", "<dir>"},
        {"中文文件夹/照片 2024.txt", "照片内容\n"},
        {"中文文件夹/空文件夹", "<dir>"},
        {QString(100, u'h'), "exactly 100 bytes"},
        {"empty-file", ""},
        {"empty-folder", "<dir>"},
        {"one-block", QByteArray(512, 'o')},
        {"spans-pieces.bin", QByteArray(300000, '\x5a') + QByteArray("tail")},
    };
    QString path;
    for (const QString& level : deepPath().split(u'/')) {
        path += (path.isEmpty() ? QString() : QStringLiteral("/")) + level;
        tree.insert(path, "<dir>");
    }
    tree.insert(path + "/bottom.txt", "deep");
    if (withOverlongComponents) {
        tree.insert(QString(101, u'i'), "101 bytes");
        tree.insert(QString(50, u'长'), "150 bytes of 3-byte characters");
        tree.insert(path + u'/' + QString(30, u'深'), "a long name deep down");
    }
    return tree;
}

void buildTree(const QString& root, const Tree& tree)
{
    for (auto it = tree.begin(); it != tree.end(); ++it) {
        if (it.value() == "<dir>")
            makeDir(root + u'/' + it.key());
        else
            writeFile(root + u'/' + it.key(), it.value());
    }
}

// Items the source leaves out, and a link the peers archive as a link entry.
void addExtras(const QString& root)
{
    writeFile(root + "/.DS_Store", "x");
    writeFile(root + "/.hidden/inside", "x");
    writeFile(root + "/__MACOSX/._x", "x");
    QVERIFY(QFile::link("empty-file", root + "/a-link"));
}

const char* const pythonReader = R"(
import sys, tarfile
with tarfile.open(sys.argv[1]) as archive:
    for member in archive.getmembers():
        print(member.name)
    extra = {'filter': 'data'} if hasattr(tarfile, 'data_filter') else {}
    archive.extractall(sys.argv[2], **extra)
)";

const char* const pythonWriter = R"(
import sys, tarfile
formats = {'gnu': tarfile.GNU_FORMAT, 'pax': tarfile.PAX_FORMAT, 'ustar': tarfile.USTAR_FORMAT}
with tarfile.open(sys.argv[2], 'w', format=formats[sys.argv[1]]) as archive:
    archive.add(sys.argv[3], arcname='.')
)";

} // namespace

class TarPeersTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void peersReadOurArchives_data();
    void peersReadOurArchives();
    void weReadPeersArchives_data();
    void weReadPeersArchives();
};

void TarPeersTest::initTestCase()
{
    for (const char* tool : {"tar", "python3"}) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(tool)));
    }
}

void TarPeersTest::peersReadOurArchives_data()
{
    QTest::addColumn<QString>("peer");
    QTest::newRow("GNU tar") << "tar";
    QTest::newRow("python tarfile") << "python";
}

void TarPeersTest::peersReadOurArchives()
{
    QFETCH(QString, peer);
    QTemporaryDir work;
    const QString source = work.filePath("source");
    const QString target = work.filePath("target");
    const QString archivePath = work.filePath("ours.tar");
    const Tree expected = expectedTree(true);
    buildTree(source, expected);
    addExtras(source);
    makeDir(target);

    TarArchive::TarStreamSource stream(source);
    const QByteArray archive = drain(stream);
    QCOMPARE(archive.size(), stream.totalSize());
    writeFile(archivePath, archive);
    QStringList names;
    for (const auto& entry : stream.entries())
        names.append(entry.name);

    QByteArray listing;
    QByteArray errors;
    if (peer == "tar") {
        QCOMPARE(run("tar", {"-tvf", archivePath}, nullptr, &errors), 0);
        QCOMPARE(run("tar", {"-tf", archivePath}, &listing, &errors), 0);
        QCOMPARE(run("tar", {"-xf", archivePath, "-C", target}, nullptr, &errors), 0);
        // The folder's own entry has an empty name; GNU tar says it reads it as ".".
        for (const QByteArray& line : errors.split('\n'))
            QVERIFY2(line.isEmpty() || line.endsWith("tar: Substituting `.' for empty member name"), line.constData());
    } else {
        QCOMPARE(run("python3", {"-c", pythonReader, archivePath, target}, &listing, &errors), 0);
        QVERIFY2(errors.isEmpty(), errors.constData());
    }
    listing.chop(1);
    QCOMPARE(QString::fromUtf8(listing).split(u'\n'), names);
    QCOMPARE(snapshot(target), expected);
}

void TarPeersTest::weReadPeersArchives_data()
{
    QTest::addColumn<QString>("peer");
    QTest::addColumn<QString>("format");
    for (const char* format : {"gnu", "pax", "ustar"}) {
        QTest::addRow("GNU tar %s", format) << "tar" << format;
        QTest::addRow("python tarfile %s", format) << "python" << format;
    }
}

void TarPeersTest::weReadPeersArchives()
{
    QFETCH(QString, peer);
    QFETCH(QString, format);
    QTemporaryDir work;
    const QString source = work.filePath("source");
    const QString target = work.filePath("target");
    const QString archivePath = work.filePath("theirs.tar");
    const Tree expected = expectedTree(format != "ustar");
    buildTree(source, expected);
    QVERIFY(QFile::link("empty-file", source + "/a-link"));  // must be skipped, not created

    if (peer == "tar")
        QCOMPARE(run("tar", {"--format=" + format, "-cf", archivePath, "-C", source, "."}), 0);
    else
        QCOMPARE(run("python3", {"-c", pythonWriter, format, archivePath, source}), 0);

    TarArchive::extractTar(archivePath, target);
    QCOMPARE(snapshot(target), expected);
}

QTEST_GUILESS_MAIN(TarPeersTest)
#include "tst_tarpeers.moc"
