#include "transfers/transferverification.h"

#include <QTest>

using Tree = QMap<QString, QString>;

// How two digest trees are compared and how the outcome reads.
class VerificationTest : public QObject
{
    Q_OBJECT

private slots:
    void treesCompare_data()
    {
        QTest::addColumn<Tree>("local");
        QTest::addColumn<Tree>("phone");
        QTest::addColumn<QString>("line");
        const QString a(64, 'a'), b(64, 'b'), c(64, 'c');
        QTest::newRow("equal") << Tree{{"x", a}, {"d/y", b}} << Tree{{"x", a}, {"d/y", b}} << "F：SHA-256 校验通过";
        QTest::newRow("extra files on the phone do not count")
            << Tree{{"x", a}} << Tree{{"x", a}, {"more", b}} << "F：SHA-256 校验通过";
        QTest::newRow("two missing, one differing")
            << Tree{{"m1", a}, {"m2", a}, {"same", b}, {"diff", c}} << Tree{{"same", b}, {"diff", a}}
            << "F：SHA-256 校验失败（手机端缺失 2 个（如 m1、m2）；内容不一致 1 个（如 diff））";
        QTest::newRow("at most three examples")
            << Tree{{"1", a}, {"2", a}, {"3", a}, {"4", a}} << Tree{}
            << "F：SHA-256 校验失败（手机端缺失 4 个（如 1、2、3））";
    }

    void treesCompare()
    {
        QFETCH(Tree, local);
        QFETCH(Tree, phone);
        QFETCH(QString, line);
        QCOMPARE(TransferVerification::compareTrees(local, phone).reportLine("F"), line);
    }

    void phoneTreesAreNormalized_data()
    {
        QTest::addColumn<Tree>("phone");
        QTest::addColumn<QStringList>("localPaths");
        QTest::addColumn<Tree>("expected");
        QTest::newRow("folder name in front is dropped")
            << Tree{{"Photos/a.jpg", "1"}, {"Photos/b.jpg", "2"}} << QStringList{"a.jpg", "b.jpg"}
            << Tree{{"a.jpg", "1"}, {"b.jpg", "2"}};
        QTest::newRow("one matching path keeps the map")
            << Tree{{"a.jpg", "1"}, {"Photos/b.jpg", "2"}} << QStringList{"a.jpg", "b.jpg"}
            << Tree{{"a.jpg", "1"}, {"Photos/b.jpg", "2"}};
        QTest::newRow("paths without a slash are dropped")
            << Tree{{"top", "1"}, {"P/sub/c", "2"}} << QStringList{"sub/c"} << Tree{{"sub/c", "2"}};
        QTest::newRow("nothing to strip keeps the map") << Tree{{"top", "1"}} << QStringList{"other"}
                                                        << Tree{{"top", "1"}};
    }

    void phoneTreesAreNormalized()
    {
        QFETCH(Tree, phone);
        QFETCH(QStringList, localPaths);
        QFETCH(Tree, expected);
        QCOMPARE(TransferVerification::normalizeTreeMap(phone, QSet<QString>(localPaths.begin(), localPaths.end())),
                 expected);
    }

    // Digests made as files were written count only for the items a walk of the folder would
    // take in, as the phone's own walk does.
    void writtenItemsAsAWalkSeesThem()
    {
        const Tree written{{"a.txt", "1"},        {"sub/b.txt", "2"},    {".hidden", "3"},    {"sub/.git/config", "4"},
                           {"__MACOSX/._a", "5"}, {"sub/__MACOSX/x", "6"}, {"x.__MACOSX", "7"}};
        QCOMPARE(TransferVerification::walkedItemsOf(written),
                 (Tree{{"a.txt", "1"}, {"sub/b.txt", "2"}, {"x.__MACOSX", "7"}}));
    }

    // Which side decides a file's outcome: a phone without digests makes it skipped whatever
    // ours is, a failed request is told, and only two digests are compared.
    void fileOutcomes_data()
    {
        QTest::addColumn<std::optional<QString>>("local");
        QTest::addColumn<std::optional<QString>>("phoneDigest");
        QTest::addColumn<std::optional<QString>>("requestError");
        QTest::addColumn<QString>("line");
        const QString a(64, 'a'), b(64, 'b');
        const std::optional<QString> none;
        QTest::newRow("equal") << std::optional(a) << std::optional(a) << none << "f：SHA-256 校验通过";
        QTest::newRow("different") << std::optional(a) << std::optional(b) << none
                                   << "f：SHA-256 校验失败（本机 aaaaaaaaaaaa… / 手机 bbbbbbbbbbbb…）";
        QTest::newRow("phone offers none") << std::optional(a) << none << none << "f：手机端未提供哈希接口，已跳过校验";
        QTest::newRow("ours could not be made") << none << std::optional(a) << none
                                                << "f：手机端未提供哈希接口，已跳过校验";
        QTest::newRow("request failed") << std::optional(a) << none << std::optional<QString>("HTTP 500")
                                        << "f：校验请求失败（HTTP 500）";
    }

    void fileOutcomes()
    {
        QFETCH(std::optional<QString>, local);
        QFETCH(std::optional<QString>, phoneDigest);
        QFETCH(std::optional<QString>, requestError);
        const TransferVerification::PhoneFile phone{phoneDigest, requestError};
        QTEST(TransferVerification::compareFile(local, phone).reportLine("f"), "line");
    }

    void reportLines()
    {
        QCOMPARE(VerifyOutcome::skipped().reportLine("a.txt"), QStringLiteral("a.txt：手机端未提供哈希接口，已跳过校验"));
        QCOMPARE(VerifyOutcome::requestFailed("连接手机失败（无响应）").reportLine("a.txt"),
                 QStringLiteral("a.txt：校验请求失败（连接手机失败（无响应））"));
    }
};

QTEST_GUILESS_MAIN(VerificationTest)
#include "tst_verification.moc"
