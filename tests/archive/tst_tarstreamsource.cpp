#include "archive/tararchive.h"
#include "archivetestkit.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ArchiveTestKit;
using TarError = TarArchive::TarError;
using TarStreamSource = TarArchive::TarStreamSource;

namespace {

QByteArray bytesAt(const QByteArray& data, qsizetype offset, qsizetype length)
{
    return data.mid(offset, length);
}

QByteArray zeros(qsizetype n)
{
    return QByteArray(n, '\0');
}

void setMtime(const QString& path, qint64 seconds)
{
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW), 0);
}

QByteArray octal11(qint64 value)
{
    return QByteArray::number(value, 8).rightJustified(11, '0') + '\0';
}

} // namespace

class TarStreamSourceTest : public QObject
{
    Q_OBJECT

private slots:
    void emptyFolderIsRootAndEndBlocks();
    void oneByteFileLayout();
    void everyHeaderIsWellFormed();
    void longNames_data();
    void longNames();
    void fileBrowserOrderDepthFirst();
    void leavesOutHiddenSpecialAndLinkedItems();
    void leftoversArePlannedOnlyWhenAsked();
    void sizeFieldSwitchesToBase256_data();
    void sizeFieldSwitchesToBase256();
    void shrinkingFileIsTruncated_data();
    void shrinkingFileIsTruncated();
    void grownFileIsSentAsPlanned();
    void vanishedFileFailsWithPlatformError();
    void resetRewindsMidStream();
    void digestsOfWhatWasSent();
};

void TarStreamSourceTest::emptyFolderIsRootAndEndBlocks()
{
    QTemporaryDir dir;
    TarStreamSource source(dir.path());
    QCOMPARE(source.totalSize(), 1536);
    const QByteArray archive = drain(source);
    QCOMPARE(archive.size(), 1536);
    QCOMPARE(bytesAt(archive, 0, 100), zeros(100));  // the folder itself has no name
    QCOMPARE(archive.at(156), '5');
    QCOMPARE(bytesAt(archive, 100, 8), QByteArray("0000755", 8));
    QCOMPARE(bytesAt(archive, 512, 1024), zeros(1024));
    QVERIFY(source.nextChunk().isEmpty());
}

void TarStreamSourceTest::oneByteFileLayout()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("a"), "x");
    setMtime(dir.filePath("a"), 1700000000);
    setMtime(dir.path(), 1600000000);

    TarStreamSource source(dir.path());
    QCOMPARE(source.totalSize(), 2560);
    QList<qsizetype> chunks;
    const QByteArray archive = drain(source, &chunks);
    QCOMPARE(archive.size(), 2560);
    QCOMPARE(chunks, (QList<qsizetype>{512, 512, 1, 511, 1024}));

    QCOMPARE(bytesAt(archive, 136, 12), octal11(1600000000));
    const QByteArray file = archive.mid(512, 512);
    QCOMPARE(bytesAt(file, 0, 100), QByteArray("a") + zeros(99));
    QCOMPARE(bytesAt(file, 100, 24), QByteArray("0000644\0" "0000000\0" "0000000\0", 24));
    QCOMPARE(bytesAt(file, 124, 12), QByteArray("00000000001\0", 12));
    QCOMPARE(bytesAt(file, 136, 12), octal11(1700000000));
    QCOMPARE(file.at(156), '0');
    QCOMPARE(bytesAt(file, 157, 100), zeros(100));
    QCOMPARE(bytesAt(file, 257, 8), QByteArray("ustar\0" "00", 8));
    QCOMPARE(bytesAt(file, 265, 247), zeros(247));
    QCOMPARE(bytesAt(archive, 1024, 512), QByteArray("x") + zeros(511));
    QCOMPARE(bytesAt(archive, 1536, 1024), zeros(1024));
}

// Every header of a mixed tree: checksum, fixed fields, and chunks within their bounds.
void TarStreamSourceTest::everyHeaderIsWellFormed()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("big.bin"), QByteArray(600000, 'b'));
    writeFile(dir.filePath("sub/empty"), {});
    writeFile(dir.filePath("sub/" + QString(40, u'长') + ".txt"), "long");
    writeFile(dir.filePath("sub/exact512"), QByteArray(512, 'e'));

    TarStreamSource source(dir.path());
    QList<qsizetype> chunks;
    const QByteArray archive = drain(source, &chunks);
    QCOMPARE(archive.size(), source.totalSize());
    for (qsizetype size : std::as_const(chunks))
        QVERIFY2(size > 0 && size <= TarArchive::pieceSize, qPrintable(QString::number(size)));

    int headers = 0;
    for (qsizetype pos = 0; pos < archive.size() - 1024;) {
        const QByteArray h = archive.mid(pos, 512);
        QByteArray spaced = h;
        spaced.replace(148, 8, "        ");
        unsigned sum = 0;
        for (char c : std::as_const(spaced))
            sum += static_cast<unsigned char>(c);
        QCOMPARE(bytesAt(h, 148, 8), QByteArray::number(sum, 8).rightJustified(6, '0') + QByteArray("\0 ", 2));
        QCOMPARE(bytesAt(h, 257, 8), QByteArray("ustar\0" "00", 8));
        const char type = h.at(156);
        QVERIFY(type == '0' || type == '5' || type == 'L');
        QCOMPARE(bytesAt(h, 100, 7), QByteArray(type == '5' ? "0000755" : "0000644"));
        const qint64 size = bytesAt(h, 124, 11).toLongLong(nullptr, 8);
        pos += 512 + (size + 511) / 512 * 512;
        ++headers;
    }
    QVERIFY(headers > 0);
    QCOMPARE(bytesAt(archive, archive.size() - 1024, 1024), zeros(1024));
}

void TarStreamSourceTest::longNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("headerName");  // what the entry's own header carries

    const QString hundred(100, u'n');
    QTest::newRow("100 bytes: no record") << hundred << hundred.toUtf8();
    QTest::newRow("101 bytes") << hundred + u'n' << hundred.toUtf8();
    // 50 three-byte characters: 150 bytes, cut to 33 whole characters (99 bytes).
    const QString chinese(50, u'文');
    QTest::newRow("150 bytes of 3-byte characters") << chinese << QString(33, u'文').toUtf8();
    // e + combining acute is one character of 3 bytes; cutting at 100 bytes would split one.
    QString accented;
    for (int i = 0; i < 34; ++i)
        accented += QStringLiteral("e\u0301");
    QTest::newRow("accent stays with its letter") << accented << accented.left(66).toUtf8();
    // A record longer than one block of data.
    const QString deep = QString(200, u'd') + u'/' + QString(200, u'e') + u'/' + QString(200, u'f');
    QTest::newRow("600 bytes over three folders") << deep << QByteArray(100, 'd');
    // 512 bytes: with its NUL the record's data needs a second block.
    const QString edge = QString(200, u'd') + u'/' + QString(200, u'e') + u'/' + QString(110, u'f');
    QTest::newRow("512 bytes") << edge << QByteArray(100, 'd');
}

void TarStreamSourceTest::longNames()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, headerName);
    QTemporaryDir dir;
    // Components over 255 bytes are not valid on disk; a deep name is built from folders.
    writeFile(dir.filePath(name), "data");

    TarStreamSource source(dir.path());
    const QByteArray archive = drain(source);
    QCOMPARE(archive.size(), source.totalSize());

    // The file is the last entry: find its header just before its one content block.
    const qsizetype fileHeader = archive.size() - 1024 - 512 - 512;
    QCOMPARE(bytesAt(archive, fileHeader, 100), headerName + zeros(100 - headerName.size()));
    QCOMPARE(archive.at(fileHeader + 156), '0');

    const QByteArray utf8 = name.toUtf8();
    if (utf8.size() <= 100) {
        QVERIFY(!archive.contains("././@LongLink"));
        return;
    }
    const qsizetype dataBlocks = (utf8.size() + 1 + 511) / 512;
    const qsizetype record = fileHeader - 512 * (1 + dataBlocks);
    QCOMPARE(bytesAt(archive, record, 14), QByteArray("././@LongLink\0", 14));
    QCOMPARE(archive.at(record + 156), 'L');
    QCOMPARE(bytesAt(archive, record + 124, 12), octal11(utf8.size() + 1));
    QCOMPARE(bytesAt(archive, record + 136, 12), octal11(0));
    QCOMPARE(bytesAt(archive, record + 512, dataBlocks * 512),
             utf8 + zeros(dataBlocks * 512 - utf8.size()));
}

void TarStreamSourceTest::fileBrowserOrderDepthFirst()
{
    QTemporaryDir dir;
    for (const char* name : {"file10", "File2", "file1", "b/z", "b/a", "A.txt", "c"})
        writeFile(dir.filePath(name), "1");
    makeDir(dir.filePath("b/empty"));

    TarStreamSource source(dir.path());
    QStringList names;
    for (const auto& entry : source.entries())
        names.append(entry.name);
    QCOMPARE(names, (QStringList{"", "A.txt", "b", "b/a", "b/empty", "b/z", "c",
                                 "file1", "File2", "file10"}));
    QCOMPARE(headerNames(drain(source)), names);
}

void TarStreamSourceTest::leavesOutHiddenSpecialAndLinkedItems()
{
    QTemporaryDir dir;
    QTemporaryDir elsewhere;
    writeFile(elsewhere.filePath("outside.txt"), "outside");
    writeFile(dir.filePath("kept.txt"), "k");
    writeFile(dir.filePath(".DS_Store"), "x");
    writeFile(dir.filePath("sub/.DS_Store"), "x");
    writeFile(dir.filePath("__MACOSX/._kept.txt"), "x");
    writeFile(dir.filePath("sub/__MACOSX"), "x");
    writeFile(dir.filePath(".git/config"), "x");
    writeFile(dir.filePath(".hidden"), "x");
    QVERIFY(QFile::link(elsewhere.path(), dir.filePath("linked-folder")));
    QVERIFY(QFile::link(elsewhere.filePath("outside.txt"), dir.filePath("sub/linked-file")));
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0600), 0);

    TarStreamSource source(dir.path());
    QStringList names;
    for (const auto& entry : source.entries())
        names.append(entry.name);
    QCOMPARE(names, (QStringList{"", "kept.txt", "sub"}));
    QCOMPARE(drain(source).size(), source.totalSize());

    // The push says how many hidden items it left out: a hidden folder is one, whatever it holds.
    qsizetype hidden = -1;
    TarStreamSource::plan(dir.path(), TarStreamSource::Leftovers::leaveOut, &hidden);
    QCOMPARE(hidden, 4);
}

// A file-by-file push sends the Finder's leftovers too; one walk serves it and the archive.
void TarStreamSourceTest::leftoversArePlannedOnlyWhenAsked()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("kept.txt"), "k");
    writeFile(dir.filePath("__MACOSX/kept.txt"), "x");
    writeFile(dir.filePath("sub/__MACOSX"), "x");
    writeFile(dir.filePath("sub/b.txt"), "b");

    const QList<TarStreamSource::Entry> planned = TarStreamSource::plan(dir.path(), TarStreamSource::Leftovers::keep);
    QStringList names;
    QStringList leftovers;
    for (const auto& entry : planned)
        (entry.macLeftover ? leftovers : names).append(entry.name);
    QCOMPARE(names, (QStringList{"", "kept.txt", "sub", "sub/b.txt"}));
    QCOMPARE(leftovers, (QStringList{"__MACOSX", "__MACOSX/kept.txt", "sub/__MACOSX"}));

    TarStreamSource fromPlan(planned);
    TarStreamSource fromFolder(dir.path());
    QCOMPARE(fromPlan.totalSize(), fromFolder.totalSize());
    QCOMPARE(drain(fromPlan), drain(fromFolder));
}

void TarStreamSourceTest::sizeFieldSwitchesToBase256_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("largest octal") << qint64(8589934591) << QByteArray("77777777777\0", 12);
    QTest::newRow("first base-256") << qint64(8589934592)
                                    << QByteArray("\x80\0\0\0\0\0\0\x02\0\0\0\0", 12);
}

void TarStreamSourceTest::sizeFieldSwitchesToBase256()
{
    QFETCH(qint64, size);
    QFETCH(QByteArray, field);
    QTemporaryDir dir;
    QFile file(dir.filePath("huge"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(size));  // sparse: nothing is written
    file.close();

    TarStreamSource source(dir.path());
    QCOMPARE(source.totalSize(), 512 + 512 + (size + 511) / 512 * 512 + 1024);
    source.nextChunk();  // the folder
    const QByteArray header = source.nextChunk();
    QCOMPARE(header.mid(124, 12), field);
    QCOMPARE(source.nextChunk().size(), TarArchive::pieceSize);
}

void TarStreamSourceTest::shrinkingFileIsTruncated_data()
{
    QTest::addColumn<qint64>("planned");
    QTest::addColumn<int>("chunksBeforeShrink");
    QTest::addColumn<qint64>("shrunkTo");
    QTest::newRow("before streaming") << qint64(1000) << 0 << qint64(10);
    QTest::newRow("emptied") << qint64(1000) << 0 << qint64(0);
    QTest::newRow("during content") << qint64(600000) << 3 << qint64(300000);
}

void TarStreamSourceTest::shrinkingFileIsTruncated()
{
    QFETCH(qint64, planned);
    QFETCH(int, chunksBeforeShrink);
    QFETCH(qint64, shrunkTo);
    QTemporaryDir dir;
    writeFile(dir.filePath("f"), QByteArray(planned, 'f'));
    TarStreamSource source(dir.path());
    for (int i = 0; i < chunksBeforeShrink; ++i)
        source.nextChunk();
    QVERIFY(QFile::resize(dir.filePath("f"), shrunkTo));
    try {
        drain(source);
        QFAIL("no error");
    } catch (const TarError& error) {
        QCOMPARE(error.kind(), TarError::Kind::truncated);
        QCOMPARE(error.description(), QStringLiteral("归档不完整"));
    }
}

void TarStreamSourceTest::grownFileIsSentAsPlanned()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("f"), QByteArray(700, 'a'));
    TarStreamSource source(dir.path());
    writeFile(dir.filePath("f"), QByteArray(5000, 'b'));
    const QByteArray archive = drain(source);
    QCOMPARE(archive.size(), source.totalSize());
    QCOMPARE(archive.mid(1024, 1024), QByteArray(700, 'b') + zeros(324));
}

void TarStreamSourceTest::vanishedFileFailsWithPlatformError()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("f"), "content");
    TarStreamSource source(dir.path());
    QVERIFY(QFile::remove(dir.filePath("f")));
    QVERIFY_THROWS_EXCEPTION(std::system_error, drain(source));
}

void TarStreamSourceTest::resetRewindsMidStream()
{
    QTemporaryDir dir;
    writeFile(dir.filePath("a/one"), QByteArray(300000, '1'));
    writeFile(dir.filePath("a/" + QString(60, u'名')), QByteArray(10, '2'));
    TarStreamSource source(dir.path());
    const QByteArray whole = drain(source);

    for (int stopAfter : {1, 3, 4, 6}) {
        source.reset();
        for (int i = 0; i < stopAfter; ++i)
            source.nextChunk();
        source.reset();
        QCOMPARE(drain(source), whole);
    }
}

// Each file archived has the digest of the bytes that went out under its name in the archive (a
// file grown since planning: of the planned part); a rewind starts them over.
void TarStreamSourceTest::digestsOfWhatWasSent()
{
    QTemporaryDir dir;
    const QString longName = "a/" + QString(60, u'名');
    writeFile(dir.filePath("a/one"), QByteArray(300000, '1'));
    writeFile(dir.filePath(longName), QByteArray(10, '2'));
    writeFile(dir.filePath("empty"), QByteArray());
    writeFile(dir.filePath("grown"), QByteArray(700, 'a'));
    TarStreamSource source(dir.path());
    source.keepDigests();
    writeFile(dir.filePath("grown"), QByteArray(5000, 'b'));
    const auto sha = [](const QByteArray& bytes) {
        return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    };
    const QMap<QString, QString> expected{{"a/one", sha(QByteArray(300000, '1'))},
                                          {longName, sha(QByteArray(10, '2'))},
                                          {"empty", sha({})},
                                          {"grown", sha(QByteArray(700, 'b'))}};
    drain(source);
    QCOMPARE(source.digests(), expected);

    source.reset();
    source.nextChunk();
    source.nextChunk();
    source.reset();
    QVERIFY(source.digests().isEmpty());
    drain(source);
    QCOMPARE(source.digests(), expected);
}

QTEST_GUILESS_MAIN(TarStreamSourceTest)
#include "tst_tarstreamsource.moc"
