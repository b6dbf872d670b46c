#include "cabinroot.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using phone::CabinRoot;

// Every remote path is hostile until CabinRoot says otherwise.
class TestCabinRoot : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void resolve_data();
    void resolve();
    void resolveSibling_data();
    void resolveSibling();
    void rootReachedThroughALink();

private:
    QTemporaryDir m_dir;
    QString m_root;
};

void TestCabinRoot::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_root = m_dir.filePath(QStringLiteral("cabin"));
    const QString outside = m_dir.filePath(QStringLiteral("outside"));
    QVERIFY(QDir().mkpath(m_root + QStringLiteral("/DCIM")));
    QVERIFY(QDir().mkpath(outside));
    QFile secret(outside + QStringLiteral("/secret.txt"));
    QVERIFY(secret.open(QIODevice::WriteOnly));
    secret.write("secret");
    secret.close();
    QVERIFY(QFile::link(QStringLiteral("../outside"), m_root + QStringLiteral("/out")));
    QVERIFY(QFile::link(QStringLiteral("../outside/secret.txt"), m_root + QStringLiteral("/outfile")));
    QVERIFY(QFile::link(QStringLiteral("DCIM"), m_root + QStringLiteral("/in")));
    QVERIFY(QFile::link(QStringLiteral("../nowhere"), m_root + QStringLiteral("/dangling")));
    QVERIFY(QFile::link(QStringLiteral("/etc"), m_root + QStringLiteral("/abs")));
    QVERIFY(QFile::link(QStringLiteral("../cabin/DCIM"), m_root + QStringLiteral("/roundabout")));
}

void TestCabinRoot::resolve_data()
{
    QTest::addColumn<QString>("remote");
    QTest::addColumn<CabinRoot::Verdict>("verdict");
    QTest::addColumn<QString>("relative");   // local path below the root, when inside

    using V = CabinRoot::Verdict;
    QTest::newRow("root") << QStringLiteral("/") << V::inside << QString();
    QTest::newRow("empty") << QString() << V::inside << QString();
    QTest::newRow("doubled slashes") << QStringLiteral("//DCIM//a b/") << V::inside << QStringLiteral("DCIM/a b");
    QTest::newRow("dots") << QStringLiteral("/./DCIM/.") << V::inside << QStringLiteral("DCIM");
    QTest::newRow("not yet there") << QStringLiteral("/new/deeper/file") << V::inside << QStringLiteral("new/deeper/file");
    QTest::newRow("backslashes are a name") << QStringLiteral("/..\\x") << V::inside << QStringLiteral("..\\x");
    QTest::newRow("absolute-looking") << QStringLiteral("//etc/passwd") << V::inside << QStringLiteral("etc/passwd");
    QTest::newRow("link inside") << QStringLiteral("/in/x.txt") << V::inside << QStringLiteral("in/x.txt");
    QTest::newRow("link out and back in") << QStringLiteral("/roundabout") << V::inside << QStringLiteral("roundabout");
    QTest::newRow("dot dot") << QStringLiteral("/../x") << V::malformed << QString();
    QTest::newRow("dot dot deeper") << QStringLiteral("/DCIM/../../x") << V::malformed << QString();
    QTest::newRow("dot dot that stays inside") << QStringLiteral("/DCIM/../a") << V::malformed << QString();
    QTest::newRow("bare dot dot") << QStringLiteral("..") << V::malformed << QString();
    QTest::newRow("link to outside folder") << QStringLiteral("/out") << V::outside << QString();
    QTest::newRow("file behind outside link") << QStringLiteral("/out/secret.txt") << V::outside << QString();
    QTest::newRow("new name behind outside link") << QStringLiteral("/out/new.txt") << V::outside << QString();
    QTest::newRow("link to outside file") << QStringLiteral("/outfile") << V::outside << QString();
    QTest::newRow("dangling link") << QStringLiteral("/dangling") << V::outside << QString();
    QTest::newRow("absolute link") << QStringLiteral("/abs/passwd") << V::outside << QString();
}

void TestCabinRoot::resolve()
{
    QFETCH(QString, remote);
    QFETCH(CabinRoot::Verdict, verdict);
    QFETCH(QString, relative);
    const CabinRoot root(m_root);
    const CabinRoot::Resolved resolved = root.resolve(remote);
    QCOMPARE(resolved.verdict, verdict);
    if (verdict == CabinRoot::Verdict::inside) {
        const QString canonicalRoot = QFileInfo(m_root).canonicalFilePath();
        QCOMPARE(resolved.localPath,
                 relative.isEmpty() ? canonicalRoot : canonicalRoot + QLatin1Char('/') + relative);
        QCOMPARE(resolved.isRoot(), relative.isEmpty());
    }
}

void TestCabinRoot::resolveSibling_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<CabinRoot::Verdict>("verdict");
    QTest::addColumn<QString>("relative");

    using V = CabinRoot::Verdict;
    QTest::newRow("new name") << QStringLiteral("/DCIM/x.txt") << QStringLiteral("b.txt") << V::inside << QStringLiteral("DCIM/b.txt");
    QTest::newRow("name with folder") << QStringLiteral("/DCIM/x.txt") << QStringLiteral("sub/c") << V::inside << QStringLiteral("DCIM/sub/c");
    QTest::newRow("top level") << QStringLiteral("/x.txt") << QStringLiteral("y") << V::inside << QStringLiteral("y");
    QTest::newRow("absolute") << QStringLiteral("/DCIM/x.txt") << QStringLiteral("/top") << V::inside << QStringLiteral("top");
    QTest::newRow("climbing") << QStringLiteral("/DCIM/x.txt") << QStringLiteral("../b") << V::malformed << QString();
    QTest::newRow("empty") << QStringLiteral("/DCIM/x.txt") << QString() << V::malformed << QString();
    QTest::newRow("into outside link") << QStringLiteral("/x.txt") << QStringLiteral("out/x") << V::outside << QString();
}

void TestCabinRoot::resolveSibling()
{
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(CabinRoot::Verdict, verdict);
    QFETCH(QString, relative);
    const CabinRoot root(m_root);
    const CabinRoot::Resolved resolved = root.resolveSibling(root.resolve(from), to);
    QCOMPARE(resolved.verdict, verdict);
    if (verdict == CabinRoot::Verdict::inside)
        QCOMPARE(resolved.localPath, QFileInfo(m_root).canonicalFilePath() + QLatin1Char('/') + relative);
}

void TestCabinRoot::rootReachedThroughALink()
{
    // Serving a folder named through a link must not make its own files look outside.
    const QString alias = m_dir.filePath(QStringLiteral("alias"));
    QVERIFY(QFile::link(m_root, alias));
    const CabinRoot root(alias);
    QCOMPARE(root.resolve(QStringLiteral("/DCIM")).verdict, CabinRoot::Verdict::inside);
    QCOMPARE(root.resolve(QStringLiteral("/in")).verdict, CabinRoot::Verdict::inside);
    QCOMPARE(root.resolve(QStringLiteral("/out")).verdict, CabinRoot::Verdict::outside);
}

QTEST_GUILESS_MAIN(TestCabinRoot)
#include "tst_cabinroot.moc"
