#include "scopedsettings.h"

#include "app/macviewmodel.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <functional>
#include <memory>

namespace {

void makeFile(const QString& path, qint64 size = 0)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(QByteArray(size, 'x'));
}

QStringList names(MacViewModel& viewModel)
{
    QStringList result;
    for (const TransferEntry& entry : viewModel.localItems()->entries())
        result << entry.name;
    return result;
}

} // namespace

class LocalBrowsingTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void listingOrder_data();
    void listingOrder();
    void entriesDescribeTheFiles();
    void openingAFileOrMissingPathOnlySetsTheError();
    void unreadableFolderShowsReadErrorUntilNextGoodListing();
    void enterBackAndJump();
    void backWithEmptyHistoryDoesNotReload();
    void homeAlwaysClearsHistory();
    void reloadKeepsSelectionNavigationClearsIt();
    void restartReopensTheFolderLastOpened();
    void startWithoutUsableRememberedFolder_data();
    void startWithoutUsableRememberedFolder();

private:
    QString path(const QString& relative) const { return m_dir->path() + QLatin1Char('/') + relative; }

    std::unique_ptr<ScopedSettings> m_settings;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void LocalBrowsingTest::init()
{
    // Fresh settings and a fresh tree for every case, so nothing remembered leaks between them.
    m_settings.reset();
    m_settings = std::make_unique<ScopedSettings>();
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void LocalBrowsingTest::listingOrder_data()
{
    QTest::addColumn<QStringList>("folders");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("folders first, hidden left out")
        << QStringList{"Z", "A", ".git"} << QStringList{"b.txt", "a.txt", ".hidden"}
        << QStringList{"A", "Z", "a.txt", "b.txt"};
    QTest::newRow("digit runs by value") << QStringList{} << QStringList{"img10.png", "img9.png", "img100.png"}
                                         << QStringList{"img9.png", "img10.png", "img100.png"};
    QTest::newRow("case does not decide") << QStringList{"beta", "Alpha"} << QStringList{"b.txt", "A.txt", "c.TXT"}
                                          << QStringList{"Alpha", "beta", "A.txt", "b.txt", "c.TXT"};
    QTest::newRow("numbered folders") << QStringList{"Disc 2", "Disc 10", "Disc 1"} << QStringList{}
                                      << QStringList{"Disc 1", "Disc 2", "Disc 10"};
    QTest::newRow("empty folder") << QStringList{} << QStringList{} << QStringList{};
    QTest::newRow("only hidden") << QStringList{".cache"} << QStringList{".bashrc"} << QStringList{};
}

void LocalBrowsingTest::listingOrder()
{
    QFETCH(QStringList, folders);
    QFETCH(QStringList, files);
    for (const QString& folder : folders)
        QVERIFY(QDir().mkdir(path(folder)));
    for (const QString& file : files)
        makeFile(path(file));

    MacViewModel viewModel;
    viewModel.openLocalDirectory(m_dir->path());
    QCOMPARE(viewModel.localErrorMessage(), QString());
    QTEST(names(viewModel), "expected");
}

void LocalBrowsingTest::entriesDescribeTheFiles()
{
    QVERIFY(QDir().mkdir(path("Sub")));
    makeFile(path("Sub/inner.bin"), 5000);
    makeFile(path("data.bin"), 1234);
    QVERIFY(QFile::link(path("nowhere"), path("broken link")));

    MacViewModel viewModel;
    viewModel.openLocalDirectory(QUrl::fromLocalFile(m_dir->path() + "/").toString());
    QCOMPARE(viewModel.localDirectory(), m_dir->path());

    const QList<TransferEntry> entries = viewModel.localItems()->entries();
    QCOMPARE(entries.size(), 3);
    QCOMPARE(entries[0].id, path("Sub"));
    QCOMPARE(entries[0].isDirectory, true);
    QCOMPARE(entries[0].size, 0);
    QCOMPARE(entries[1].name, QStringLiteral("broken link"));
    QCOMPARE(entries[1].isDirectory, false);
    QCOMPARE(entries[1].size, 0);
    QCOMPARE(entries[2].id, path("data.bin"));
    QCOMPARE(entries[2].size, 1234);
    QCOMPARE(entries[2].source, TransferEntry::Source::local);
    QCOMPARE(entries[2].url, std::optional<QString>(path("data.bin")));
    QCOMPARE(viewModel.localItems()->data(viewModel.localItems()->index(2), EntryListModel::FormattedSizeRole),
             QVariant(QStringLiteral("1.2 KB")));
}

void LocalBrowsingTest::openingAFileOrMissingPathOnlySetsTheError()
{
    makeFile(path("a.txt"));
    QVERIFY(QDir().mkdir(path("Good")));
    makeFile(path("Good/x.txt"));

    MacViewModel viewModel;
    viewModel.openLocalDirectory(path("Good"));
    const QList<TransferEntry> before = viewModel.localItems()->entries();

    for (const QString& bad : {path("a.txt"), path("missing")}) {
        viewModel.openLocalDirectory(bad);
        QCOMPARE(viewModel.localErrorMessage(), QStringLiteral("目录不存在：") + bad);
        QCOMPARE(viewModel.localDirectory(), path("Good"));
        QCOMPARE(viewModel.localItems()->entries(), before);
        QCOMPARE(QSettings().value("qvx.localDirectoryBookmark").toString(), path("Good"));
    }

    // The next good open clears the error.
    viewModel.openLocalDirectory(m_dir->path());
    QCOMPARE(viewModel.localErrorMessage(), QString());
    QCOMPARE(viewModel.localDirectory(), m_dir->path());
}

void LocalBrowsingTest::unreadableFolderShowsReadErrorUntilNextGoodListing()
{
    QVERIFY(QDir().mkdir(path("Gone")));
    makeFile(path("Gone/x.txt"));
    makeFile(path("file.txt"));

    MacViewModel viewModel;
    viewModel.openLocalDirectory(path("Gone"));
    QCOMPARE(names(viewModel), QStringList{"x.txt"});

    // The folder vanishes under the pane: the reload empties the list and says why.
    QVERIFY(QDir(path("Gone")).removeRecursively());
    viewModel.reloadLocalDirectory();
    QVERIFY(viewModel.localItems()->entries().isEmpty());
    QVERIFY2(viewModel.localErrorMessage().startsWith(QStringLiteral("读取目录失败：")),
             qPrintable(viewModel.localErrorMessage()));
    QVERIFY(viewModel.localErrorMessage().size() > QStringLiteral("读取目录失败：").size());

    // Entering a file makes no existence check; its listing fails the same way.
    viewModel.navigateLocalTo(m_dir->path());
    QCOMPARE(viewModel.localErrorMessage(), QString());
    viewModel.enterLocalDirectory(path("file.txt"));
    QCOMPARE(viewModel.localDirectory(), path("file.txt"));
    QVERIFY(viewModel.localErrorMessage().startsWith(QStringLiteral("读取目录失败：")));
    viewModel.goLocalBack();
    QCOMPARE(viewModel.localErrorMessage(), QString());
    QCOMPARE(names(viewModel), QStringList{"file.txt"});
}

void LocalBrowsingTest::enterBackAndJump()
{
    const QString home = m_dir->path();
    QVERIFY(QDir().mkpath(path("a/b")));

    MacViewModel viewModel;
    viewModel.openLocalDirectory(home);
    viewModel.enterLocalDirectory(home);
    QCOMPARE(viewModel.localStack(), QStringList{});

    viewModel.enterLocalDirectory(path("a"));
    viewModel.enterLocalDirectory(path("a/b"));
    QCOMPARE(viewModel.localStack(), (QStringList{home, path("a")}));
    QCOMPARE(viewModel.localDirectory(), path("a/b"));

    viewModel.navigateLocalTo(path("a"));
    QCOMPARE(viewModel.localStack(), QStringList{home});
    QCOMPARE(viewModel.localDirectory(), path("a"));
    QCOMPARE(names(viewModel), QStringList{"b"});

    viewModel.enterLocalDirectory(path("a/b"));
    viewModel.navigateLocalTo(home);
    QCOMPARE(viewModel.localStack(), QStringList{});
    QCOMPARE(viewModel.localDirectory(), home);

    // A crumb not in the history (the current folder itself) clears it.
    viewModel.enterLocalDirectory(path("a"));
    viewModel.enterLocalDirectory(path("a/b"));
    viewModel.navigateLocalTo(path("a/b"));
    QCOMPARE(viewModel.localStack(), QStringList{});

    viewModel.enterLocalDirectory(path("a"));
    viewModel.goLocalBack();
    QCOMPARE(viewModel.localDirectory(), path("a/b"));
    QCOMPARE(viewModel.localStack(), QStringList{});
    QCOMPARE(names(viewModel), QStringList{});
}

void LocalBrowsingTest::backWithEmptyHistoryDoesNotReload()
{
    makeFile(path("first.txt"));
    MacViewModel viewModel;
    viewModel.openLocalDirectory(m_dir->path());
    makeFile(path("second.txt"));

    QSignalSpy resets(viewModel.localItems(), &QAbstractItemModel::modelReset);
    viewModel.goLocalBack();
    QCOMPARE(resets.size(), 0);
    QCOMPARE(names(viewModel), QStringList{"first.txt"});
    QCOMPARE(viewModel.localDirectory(), m_dir->path());
}

void LocalBrowsingTest::homeAlwaysClearsHistory()
{
    const QByteArray savedHome = qgetenv("HOME");
    const auto restoreHome = qScopeGuard([&] { qputenv("HOME", savedHome); });
    qputenv("HOME", QFile::encodeName(m_dir->path()));
    QVERIFY(QDir().mkpath(path("a")));
    makeFile(path("h.txt"));

    MacViewModel viewModel;
    viewModel.openLocalDirectory(path("a"));
    viewModel.goLocalRoot();
    QCOMPARE(viewModel.localDirectory(), m_dir->path());
    QCOMPARE(names(viewModel), (QStringList{"a", "h.txt"}));

    // Already at home with history behind: the history goes all the same.
    viewModel.enterLocalDirectory(path("a"));
    viewModel.enterLocalDirectory(m_dir->path());
    QCOMPARE(viewModel.localStack(), (QStringList{m_dir->path(), path("a")}));
    viewModel.goLocalRoot();
    QCOMPARE(viewModel.localStack(), QStringList{});
    QCOMPARE(viewModel.localDirectory(), m_dir->path());
    // Walking is not choosing: the remembered folder is still the one opened.
    QCOMPARE(QSettings().value("qvx.localDirectoryBookmark").toString(), path("a"));
}

void LocalBrowsingTest::reloadKeepsSelectionNavigationClearsIt()
{
    QVERIFY(QDir().mkdir(path("Sub")));
    makeFile(path("a.txt"));
    MacViewModel viewModel;
    viewModel.openLocalDirectory(m_dir->path());

    viewModel.setSelectedLocal({path("a.txt")});
    QFile::remove(path("a.txt"));
    viewModel.reloadLocalDirectory();
    QCOMPARE(viewModel.selectedLocal(), QStringList{path("a.txt")});

    QSignalSpy changes(&viewModel, &MacViewModel::selectedLocalChanged);
    viewModel.enterLocalDirectory(path("Sub"));
    QCOMPARE(viewModel.selectedLocal(), QStringList{});
    QCOMPARE(changes.size(), 1);

    for (const auto& step : std::initializer_list<std::function<void()>>{
             [&] { viewModel.goLocalBack(); }, [&] { viewModel.navigateLocalTo(path("Sub")); },
             [&] { viewModel.goLocalRoot(); }}) {
        viewModel.setSelectedLocal({QStringLiteral("x")});
        step();
        QCOMPARE(viewModel.selectedLocal(), QStringList{});
    }
}

void LocalBrowsingTest::restartReopensTheFolderLastOpened()
{
    QVERIFY(QDir().mkpath(path("Chosen/Deeper")));
    makeFile(path("Chosen/c.txt"));
    {
        MacViewModel first;
        QCOMPARE(first.localDirectory(), std::nullopt);
        first.openSecurityScopedDirectory(path("Chosen"));
        QCOMPARE(first.activeScopedURL(), path("Chosen"));
        first.enterLocalDirectory(path("Chosen/Deeper"));
        first.navigateLocalTo(m_dir->path());
    }
    MacViewModel second;
    QCOMPARE(second.localDirectory(), path("Chosen"));
    QCOMPARE(second.activeScopedURL(), path("Chosen"));
    QCOMPARE(names(second), (QStringList{"Deeper", "c.txt"}));
    QCOMPARE(second.localErrorMessage(), QString());
    QCOMPARE(second.localStack(), QStringList{});
}

void LocalBrowsingTest::startWithoutUsableRememberedFolder_data()
{
    QTest::addColumn<QString>("remembered");
    QTest::newRow("first launch") << QString();
    QTest::newRow("folder vanished") << QStringLiteral("missing");
    QTest::newRow("a file") << QStringLiteral("file.txt");
}

void LocalBrowsingTest::startWithoutUsableRememberedFolder()
{
    QFETCH(QString, remembered);
    makeFile(path("file.txt"));
    if (!remembered.isEmpty())
        QSettings().setValue("qvx.localDirectoryBookmark", path(remembered));

    MacViewModel viewModel;
    QCOMPARE(viewModel.localDirectory(), std::nullopt);
    QVERIFY(viewModel.localItems()->entries().isEmpty());
    QCOMPARE(viewModel.localErrorMessage(), QString());
    QCOMPARE(viewModel.activeScopedURL(), std::nullopt);
    // The remembered folder stays for the next launch to try again.
    QCOMPARE(QSettings().value("qvx.localDirectoryBookmark").toString(),
             remembered.isEmpty() ? QString() : path(remembered));
}

QTEST_GUILESS_MAIN(LocalBrowsingTest)
#include "tst_localbrowsing.moc"
