// The crumbs over the panes: a computer folder shortened to its last three levels, every level
// of a phone path.
#include "ui/pathcrumbs.h"

#include <QTest>

using Crumbs = QList<PathCrumbs::Crumb>;
Q_DECLARE_METATYPE(Crumbs)

class PathCrumbsTest : public QObject
{
    Q_OBJECT

private slots:
    void computerFolders_data()
    {
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("home");
        QTest::addColumn<Crumbs>("expected");
        QTest::newRow("five levels down")
            << "/Users/me/a/b/c" << "/Users/me"
            << Crumbs{{"__ellipsis__", "…", ""}, {"/Users/me/a", "a", "/Users/me/a"},
                      {"/Users/me/a/b", "b", "/Users/me/a/b"}, {"/Users/me/a/b/c", "c", "/Users/me/a/b/c"}};
        QTest::newRow("the home folder")
            << "/Users/me" << "/Users/me"
            << Crumbs{{"/", "/", "/"}, {"/Users", "Users", "/Users"}, {"/Users/me", "主目录", "/Users/me"}};
        QTest::newRow("home among the last three")
            << "/home/me/文档" << "/home/me/"
            << Crumbs{{"__ellipsis__", "…", ""}, {"/home", "home", "/home"}, {"/home/me", "主目录", "/home/me"},
                      {"/home/me/文档", "文档", "/home/me/文档"}};
        QTest::newRow("the root") << "/" << "/home/me" << Crumbs{{"/", "/", "/"}};
        QTest::newRow("no folder") << "" << "/home/me" << Crumbs{};
    }

    void computerFolders()
    {
        QFETCH(QString, directory);
        QFETCH(QString, home);
        QFETCH(Crumbs, expected);
        QCOMPARE(PathCrumbs::localCrumbs(directory, home), expected);
    }

    void phonePaths_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<Crumbs>("expected");
        QTest::newRow("two levels") << "/Photos/2024"
                                    << Crumbs{{"/", "文件舱", "/"}, {"/Photos", "Photos", "/Photos"},
                                              {"/Photos/2024", "2024", "/Photos/2024"}};
        QTest::newRow("the root") << "/" << Crumbs{{"/", "文件舱", "/"}};
        QTest::newRow("a folder ending in /") << "/照片/" << Crumbs{{"/", "文件舱", "/"}, {"/照片", "照片", "/照片"}};
    }

    void phonePaths()
    {
        QFETCH(QString, path);
        QFETCH(Crumbs, expected);
        QCOMPARE(PathCrumbs::remoteCrumbs(path), expected);
    }
};

QTEST_GUILESS_MAIN(PathCrumbsTest)
#include "tst_pathcrumbs.moc"
