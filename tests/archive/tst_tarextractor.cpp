#include "archive/tararchive.h"
#include "archivetestkit.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <system_error>

#include <unistd.h>

using namespace ArchiveTestKit;
using TarError = TarArchive::TarError;
using Tree = QMap<QString, QByteArray>;

namespace {

// A sandbox holding the target folder and, beside it, a folder no extraction may touch.
struct Sandbox
{
    QTemporaryDir dir;
    QString target = dir.filePath("target");
    QString outside = dir.filePath("outside");

    Sandbox()
    {
        makeDir(target);
        writeFile(outside + "/secret.txt", "secret");
    }
    QByteArray archiveFile(const QByteArray& archive) const
    {
        const QString path = dir.filePath("archive.tar");
        writeFile(path, archive);
        return QFile::encodeName(path);
    }
    void verifyOutsideUntouched() const
    {
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{"archive.tar", "outside", "target"}));
        QCOMPARE(snapshot(outside), (Tree{{"secret.txt", "secret"}}));
    }
};

Tree sourceTree()
{
    return {
        {"中文文件夹", "<dir>"},
        {"中文文件夹/照片.txt", "照片"},
        {"empty-folder", "<dir>"},
        {"empty-file", ""},
        {"block", QByteArray(512, 'b')},
        {"big", QByteArray(300001, 'g')},
        {"n", "<dir>"},
        {"n/" + QString(45, u'长') + ".txt", "long name"},
    };
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

QByteArray archiveOf(const Tree& tree)
{
    QTemporaryDir source;
    buildTree(source.path(), tree);
    TarArchive::TarStreamSource stream(source.path());
    return drain(stream);
}

} // namespace

class TarExtractorTest : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void readsWritersVariants_data();
    void readsWritersVariants();
    void unsafeNamesAreRefused_data();
    void unsafeNamesAreRefused();
    void neverFollowsLinksInTarget_data();
    void neverFollowsLinksInTarget();
    void replacesExistingFilesWithoutWritingThrough();
    void fileSystemErrorsPassThrough();
    void digestsOfWhatWasWritten();
    void truncatedAnywhere();
    void missingEndBlocksKeepsExtractedFiles();
    void errorTexts();
};

void TarExtractorTest::roundTrip_data()
{
    QTest::addColumn<QList<int>>("pieces");  // empty: extract from a file
    QTest::newRow("from file") << QList<int>{};
    QTest::newRow("one byte at a time") << QList<int>{1};
    QTest::newRow("pieces across block edges") << QList<int>{511, 513, 7, 4096};
    QTest::newRow("large pieces") << QList<int>{262144};
}

void TarExtractorTest::roundTrip()
{
    QFETCH(QList<int>, pieces);
    Sandbox box;
    const QByteArray archive = archiveOf(sourceTree());
    if (pieces.isEmpty())
        TarArchive::extractTar(box.archiveFile(archive), box.target);
    else
        extractInPieces(archive, box.target, pieces);
    QCOMPARE(snapshot(box.target), sourceTree());
}

void TarExtractorTest::readsWritersVariants_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<Tree>("expected");

    QTest::newRow("dot segments") << rawEntry("./a/./b", '0', "ab") + endBlocks()
                                  << Tree{{"a", "<dir>"}, {"a/b", "ab"}};
    QTest::newRow("absolute name") << rawEntry("/abs/file", '0', "x") + endBlocks()
                                   << Tree{{"abs", "<dir>"}, {"abs/file", "x"}};
    QTest::newRow("backslashes and doubled slashes")
        << rawEntry("win\\dir//f", '0', "w") + endBlocks()
        << Tree{{"win", "<dir>"}, {"win/dir", "<dir>"}, {"win/dir/f", "w"}};
    QTest::newRow("folder with trailing slash, root, old-style file")
        << rawEntry("", '5') + rawEntry("./", '5') + rawEntry("d/", '5') + rawEntry("old", '\0', "o")
               + endBlocks()
        << Tree{{"d", "<dir>"}, {"old", "o"}};
    QTest::newRow("single zero block between entries, data after the end")
        << rawEntry("a", '0', "1") + QByteArray(512, '\0') + rawEntry("b", '0', "2") + endBlocks()
               + rawEntry("after-end", '0', "3")
        << Tree{{"a", "1"}, {"b", "2"}};
    QTest::newRow("base-256 size")
        << rawHeader("b256", '0', 0, QByteArray("\x80\0\0\0\0\0\0\0\0\0\0\x05", 12))
               + QByteArray("12345") + QByteArray(507, '\0') + endBlocks()
        << Tree{{"b256", "12345"}};
    QTest::newRow("octal size: junk skipped, a space ends it")
        << rawHeader("sp", '0', 0, QByteArray("0x03 7\0", 7)) + QByteArray("abc") + QByteArray(509, '\0')
               + endBlocks()
        << Tree{{"sp", "abc"}};

    const QByteArray longName = QString(40, u'长').toUtf8() + '/' + QByteArray(120, 'n');
    QTest::newRow("long-name record")
        << rawLongName(longName) + rawEntry(longName.left(99), '0', "long") + endBlocks()
        << Tree{{QString(40, u'长'), "<dir>"}, {QString::fromUtf8(longName), "long"}};
    QTest::newRow("ustar prefix field")
        << rawHeader("name.txt", '0', 2, {}, "pre/fix") + QByteArray("pf") + QByteArray(510, '\0')
               + endBlocks()
        << Tree{{"pre", "<dir>"}, {"pre/fix", "<dir>"}, {"pre/fix/name.txt", "pf"}};
    QTest::newRow("extended header path and size")
        << rawPax({{"mtime", "1700000000.5"}, {"path", "中文/名字.txt"}, {"size", "5"}})
               + rawHeader("__/__.txt", '0', 0) + QByteArray("hello") + QByteArray(507, '\0')
               + endBlocks()
        << Tree{{"中文", "<dir>"}, {"中文/名字.txt", "hello"}};
    QTest::newRow("links and metadata skipped, never created")
        << rawPax({{"comment", "global"}}, 'g') + rawPax({{"mtime", "1"}})
               + rawHeader("sym", '2', 0) + rawHeader("hard", '1', 0) + rawEntry("fifo", '6')
               + rawEntry("vol", 'V', "label") + rawEntry("kept", '0', "k") + endBlocks()
        << Tree{{"kept", "k"}};
    // A long name given for a link belongs to that link, not to the file after it.
    QTest::newRow("long link name is not inherited")
        << rawLongName(QByteArray(150, 'l')) + rawHeader(QByteArray(100, 'l'), '2', 0)
               + rawPax({{"path", "pax-link"}}) + rawHeader("pax-link", '2', 0)
               + rawEntry("short", '0', "s") + endBlocks()
        << Tree{{"short", "s"}};
}

void TarExtractorTest::readsWritersVariants()
{
    QFETCH(QByteArray, archive);
    QFETCH(Tree, expected);
    Sandbox box;
    TarArchive::extractTar(box.archiveFile(archive), box.target);
    QCOMPARE(snapshot(box.target), expected);
}

void TarExtractorTest::unsafeNamesAreRefused_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QString>("name");
    const QByteArray before = rawEntry("ok", '0', "fine");
    QTest::newRow("../evil") << before + rawEntry("../evil", '0', "x") + endBlocks() << "../evil";
    QTest::newRow("a/../../b") << before + rawEntry("a/../../b", '0', "x") + endBlocks() << "a/../../b";
    QTest::newRow("folder ..") << before + rawEntry("x/..", '5') + endBlocks() << "x/..";
    QTest::newRow("backslash ..") << before + rawEntry("..\\evil", '0', "x") + endBlocks() << "..\\evil";
    QTest::newRow("via long name") << before + rawLongName("../../escape") + rawEntry("cut", '0', "x")
                                          + endBlocks()
                                   << "../../escape";
    QTest::newRow("via extended header") << before + rawPax({{"path", "../pax"}}) + rawEntry("cut", '0', "x")
                                                + endBlocks()
                                         << "../pax";
    QTest::newRow("NUL inside a long name")
        << before + rawLongName(QByteArray("in\0side", 7)) + rawEntry("cut", '0', "x") + endBlocks()
        << QString::fromUtf8("in\0side", 7);
}

void TarExtractorTest::unsafeNamesAreRefused()
{
    QFETCH(QByteArray, archive);
    QFETCH(QString, name);
    Sandbox box;
    try {
        TarArchive::extractTar(box.archiveFile(archive), box.target);
        QFAIL("no error");
    } catch (const TarError& error) {
        QCOMPARE(error.kind(), TarError::Kind::unsafePath);
        QCOMPARE(error.path(), name);
        QCOMPARE(error.description(), QStringLiteral("归档内含非法路径：") + name);
    }
    QCOMPARE(snapshot(box.target), (Tree{{"ok", "fine"}}));  // what came before stays
    box.verifyOutsideUntouched();
}

void TarExtractorTest::neverFollowsLinksInTarget_data()
{
    QTest::addColumn<QString>("link");        // inside the target
    QTest::addColumn<QString>("linkTarget");  // "@" stands for the outside folder
    QTest::addColumn<QByteArray>("archive");
    QTest::newRow("file through a folder link") << "photos" << "@" << rawEntry("photos/passwd", '0', "x");
    QTest::newRow("relative folder link") << "photos" << "../outside" << rawEntry("photos/new", '5');
    QTest::newRow("folder entry on a link") << "photos" << "@" << rawEntry("photos", '5');
    QTest::newRow("nested folders through a link") << "deep/inner" << "@" << rawEntry("deep/inner/a/b/x", '0', "x");
    QTest::newRow("file entry on a file link") << "secret.txt" << "@/secret.txt" << rawEntry("secret.txt", '0', "x");
    QTest::newRow("dangling link") << "ghost" << "@/created-by-tar" << rawEntry("ghost", '0', "x");
    QTest::newRow("link named by a long name") << "photos" << "@"
                                                << rawLongName("photos/" + QByteArray(120, 'p'))
                                                       + rawEntry("cut", '0', "x");
}

void TarExtractorTest::neverFollowsLinksInTarget()
{
    QFETCH(QString, link);
    QFETCH(QString, linkTarget);
    QFETCH(QByteArray, archive);
    Sandbox box;
    const QString linkPath = box.target + u'/' + link;
    makeDir(QFileInfo(linkPath).absolutePath());
    const QString resolved = linkTarget.startsWith(u'@') ? box.outside + linkTarget.mid(1) : linkTarget;
    QCOMPARE(::symlink(QFile::encodeName(resolved).constData(), QFile::encodeName(linkPath).constData()), 0);

    for (const bool streamed : {false, true}) {
        try {
            if (streamed)
                extractInPieces(archive + endBlocks(), box.target, {100});
            else
                TarArchive::extractTar(box.archiveFile(archive + endBlocks()), box.target);
            QFAIL("no error");
        } catch (const TarError& error) {
            QCOMPARE(error.kind(), TarError::Kind::unsafePath);
        }
        box.verifyOutsideUntouched();
        QVERIFY(QFileInfo(linkPath).isSymLink());
    }
}

void TarExtractorTest::replacesExistingFilesWithoutWritingThrough()
{
    Sandbox box;
    writeFile(box.target + "/existing", QByteArray(5000, 'o'));
    QCOMPARE(::link(QFile::encodeName(box.outside + "/secret.txt").constData(),
                    QFile::encodeName(box.target + "/hardlinked").constData()), 0);
    TarArchive::extractTar(box.archiveFile(rawEntry("existing", '0', "new") + rawEntry("hardlinked", '0', "mine")
                                           + endBlocks()),
                           box.target);
    QCOMPARE(snapshot(box.target), (Tree{{"existing", "new"}, {"hardlinked", "mine"}}));
    box.verifyOutsideUntouched();
}

void TarExtractorTest::fileSystemErrorsPassThrough()
{
    for (const QByteArray& archive : {rawEntry("dir", '0', "x"), rawEntry("file/below", '0', "x")}) {
        Sandbox box;
        makeDir(box.target + "/dir");
        writeFile(box.target + "/file", "f");
        QVERIFY_THROWS_EXCEPTION(std::system_error,
                                 TarArchive::extractTar(box.archiveFile(archive + endBlocks()), box.target));
    }
    // In folders the extractor made itself, a folder an earlier entry put at a file's name fails
    // that file too, and its part file goes.
    for (const QByteArray& archive : {rawEntry("d", '5') + rawEntry("d", '0', "x"),
                                      rawEntry("made/d", '5') + rawEntry("made/d", '0', "x")}) {
        Sandbox box;
        const QString fresh = box.target + "/fresh";
        QVERIFY_THROWS_EXCEPTION(std::system_error,
                                 TarArchive::extractTar(box.archiveFile(archive + endBlocks()), fresh));
        const Tree left = snapshot(fresh);
        QVERIFY2(left == (Tree{{"d", "<dir>"}}) || left == (Tree{{"made", "<dir>"}, {"made/d", "<dir>"}}),
                 qPrintable(left.keys().join(u' ')));
    }
}

// Every file put in place has the digest of its bytes under the name the archive gives it; a
// name given twice has the later file's, and what is never created has none.
void TarExtractorTest::digestsOfWhatWasWritten()
{
    const QByteArray whole = archiveOf(sourceTree());
    const QByteArray archive = whole.chopped(1024) + rawEntry("./twice", '0', "first") + rawEntry("twice", '0', "second")
                               + rawEntry("link", '2') + endBlocks();
    Sandbox box;
    TarArchive::TarExtractor extractor(box.target);
    extractor.keepDigests();
    for (qsizetype at = 0; at < archive.size(); at += 700)
        extractor.write(QByteArrayView(archive).sliced(at, std::min<qsizetype>(700, archive.size() - at)));
    extractor.finish();

    QMap<QString, QString> expected;
    Tree files = sourceTree();
    files.insert("twice", "second");
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (it.value() != "<dir>")
            expected.insert(it.key(), QString::fromLatin1(
                                          QCryptographicHash::hash(it.value(), QCryptographicHash::Sha256).toHex()));
    }
    QCOMPARE(extractor.digests(), expected);
}

// Cut at every block edge and inside headers, long-name data, content and padding, over a folder
// holding an older version of every file: each file is then either as it was or complete, never
// cut short, and no part file is left behind.
void TarExtractorTest::truncatedAnywhere()
{
    Tree tree = sourceTree();
    tree.remove("big");
    tree.insert("mid", QByteArray(1500, 'm'));
    Tree older;
    for (auto it = tree.cbegin(); it != tree.cend(); ++it)
        older.insert(it.key(), it.value() == "<dir>" ? it.value() : "older " + it.key().toUtf8());
    const QByteArray archive = archiveOf(tree);
    QList<qsizetype> cuts;
    for (qsizetype at = 0; at < archive.size(); at += 512)
        cuts << at << at + 1 << at + 300 << at + 511;
    for (qsizetype cut : std::as_const(cuts)) {
        if (cut >= archive.size())
            continue;
        const QByteArray part = archive.left(cut);
        for (const bool streamed : {false, true}) {
            Sandbox box;
            buildTree(box.target, older);
            try {
                if (streamed)
                    extractInPieces(part, box.target, {4096});
                else
                    TarArchive::extractTar(box.archiveFile(part), box.target);
                QFAIL(qPrintable(QStringLiteral("no error when cut at %1").arg(cut)));
            } catch (const TarError& error) {
                QCOMPARE(error.kind(), TarError::Kind::truncated);
            }
            const Tree left = snapshot(box.target);
            QCOMPARE(left.keys(), older.keys());
            for (auto it = left.cbegin(); it != left.cend(); ++it) {
                if (it.value() != older.value(it.key()) && it.value() != tree.value(it.key()))
                    QFAIL(qPrintable(QStringLiteral("%1 damaged when cut at %2").arg(it.key()).arg(cut)));
            }
        }
    }
}

void TarExtractorTest::missingEndBlocksKeepsExtractedFiles()
{
    Sandbox box;
    const QByteArray archive = archiveOf(sourceTree());
    QVERIFY_THROWS_EXCEPTION(TarError, TarArchive::extractTar(box.archiveFile(archive.chopped(1024)), box.target));
    QCOMPARE(snapshot(box.target), sourceTree());
    // One end block is not enough either.
    QVERIFY_THROWS_EXCEPTION(TarError, TarArchive::extractTar(box.archiveFile(archive.chopped(512)), box.target));
}

void TarExtractorTest::errorTexts()
{
    QCOMPARE(TarError::truncated().description(), QStringLiteral("归档不完整"));
    QCOMPARE(TarError::unsafePath("../a%@b").description(), QStringLiteral("归档内含非法路径：../a%@b"));
    QCOMPARE(QString::fromUtf8(TarError::truncated().what()), QStringLiteral("归档不完整"));
}

QTEST_GUILESS_MAIN(TarExtractorTest)
#include "tst_tarextractor.moc"
