#include "phonefixture.h"
#include "phoneprocess.h"
#include "scopedsettings.h"
#include "taskrunner.h"

#include "../transport/rawpeer.h"

#include <QSignalSpy>
#include <QTest>

using namespace phonefixture;

namespace {

// Remote folder paths used by the history cases; each exists on the stand-in.
const QStringList tree{"DCIM/Camera/a.jpg", "a/b/c/", "x.txt", ".hidden"};

} // namespace

class RemoteNavigationTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void connectionListsTheRootInThePhonesOrder();
    void history_data();
    void history();
    void openingAFileChangesNothing();
    void backWithEmptyHistoryDoesNotReload();
    void navigationClearsSelectionBeforeTheListingArrives();
    void failedListingShowsErrorUntilNextGoodOne();
    void listingThatFinishesLastDecides();
    void listingWithoutPhone();
    void listingShowsWhatThePhoneSent();

private:
    ScopedSettings m_settings;
    std::unique_ptr<PhoneProcess> m_phone;
    std::unique_ptr<MacViewModel> m_viewModel;

    bool startPhone(const QStringList& args = {});
};

void RemoteNavigationTest::init()
{
    m_viewModel.reset();
    m_phone.reset();
}

bool RemoteNavigationTest::startPhone(const QStringList& args)
{
    m_phone = std::make_unique<PhoneProcess>();
    if (!m_phone->start(args)) {
        qWarning("%s", qPrintable(m_phone->errorText()));
        return false;
    }
    makeTree(m_phone->root(), tree);
    m_viewModel = std::make_unique<MacViewModel>();
    QString failure;
    if (!phonefixture::connect(*m_viewModel, *m_phone, &failure)) {
        qWarning("%s", qPrintable(failure));
        return false;
    }
    return true;
}

void RemoteNavigationTest::connectionListsTheRootInThePhonesOrder()
{
    QVERIFY(startPhone());
    MacViewModel& vm = *m_viewModel;
    // The stand-in lists folders first, then names ignoring case; hidden names are shown.
    QCOMPARE(remoteIds(vm), (QStringList{"/a/", "/DCIM/", "/.hidden", "/x.txt"}));
    QCOMPARE(vm.remotePath(), QStringLiteral("/"));
    QCOMPARE(vm.remoteStack(), QStringList{});
    QCOMPARE(vm.remoteErrorMessage(), QString());
    const TransferEntry file = remoteEntry(vm, "/x.txt");
    QCOMPARE(file.source, TransferEntry::Source::device);
    QCOMPARE(file.size, qint64(QByteArray("x.txt").size()));
    QCOMPARE(file.url, std::nullopt);

    runTask(vm.enterRemoteDirectory(remoteEntry(vm, "/DCIM/")));
    QCOMPARE(remoteIds(vm), QStringList{"/DCIM/Camera/"});
    runTask(vm.enterRemoteDirectory(remoteEntry(vm, "/DCIM/Camera/")));
    QCOMPARE(remoteIds(vm), QStringList{"/DCIM/Camera/a.jpg"});
}

void RemoteNavigationTest::history_data()
{
    // Steps: "enter:ID" opens a listed folder, "to:PATH" a path-bar crumb, "back", "root".
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("stack");
    QTest::addColumn<QStringList>("listing");

    QTest::newRow("enter from the root") << QStringList{"enter:/DCIM/"} << "/DCIM" << QStringList{"/"}
                                         << QStringList{"/DCIM/Camera/"};
    QTest::newRow("back one step") << QStringList{"enter:/DCIM/", "enter:/DCIM/Camera/", "back"} << "/DCIM"
                                   << QStringList{"/"} << QStringList{"/DCIM/Camera/"};
    QTest::newRow("crumb cuts the history") << QStringList{"enter:/a/", "enter:/a/b/", "enter:/a/b/c/", "to:/a"}
                                            << "/a" << QStringList{"/"} << QStringList{"/a/b/"};
    QTest::newRow("crumb of the current folder clears the history")
        << QStringList{"enter:/a/", "enter:/a/b/", "to:/a/b"} << "/a/b" << QStringList{} << QStringList{"/a/b/c/"};
    QTest::newRow("root crumb from the history") << QStringList{"enter:/a/", "enter:/a/b/", "to:/"} << "/"
                                                 << QStringList{} << QStringList{"/a/", "/DCIM/", "/.hidden", "/x.txt"};
    QTest::newRow("root clears the history") << QStringList{"enter:/a/", "enter:/a/b/", "root"} << "/"
                                             << QStringList{} << QStringList{"/a/", "/DCIM/", "/.hidden", "/x.txt"};
    QTest::newRow("back to the root") << QStringList{"enter:/a/", "back"} << "/" << QStringList{}
                                      << QStringList{"/a/", "/DCIM/", "/.hidden", "/x.txt"};
}

void RemoteNavigationTest::history()
{
    QFETCH(QStringList, steps);
    QVERIFY(startPhone());
    MacViewModel& vm = *m_viewModel;
    for (const QString& step : steps) {
        if (step.startsWith("enter:"))
            runTask(vm.enterRemoteDirectory(remoteEntry(vm, step.mid(6))));
        else if (step.startsWith("to:"))
            runTask(vm.goRemoteTo(step.mid(3)));
        else if (step == "back")
            runTask(vm.goRemoteBack());
        else
            runTask(vm.goRemoteRoot());
        QCOMPARE(vm.remoteErrorMessage(), QString());
    }
    QTEST(vm.remotePath(), "path");
    QTEST(vm.remoteStack(), "stack");
    QTEST(remoteIds(vm), "listing");
}

void RemoteNavigationTest::openingAFileChangesNothing()
{
    QVERIFY(startPhone());
    MacViewModel& vm = *m_viewModel;
    vm.setSelectedRemote({"/x.txt"});
    QSignalSpy resets(vm.remoteItems(), &QAbstractItemModel::modelReset);
    vm.openRemoteEntry("/x.txt");
    runTask(vm.enterRemoteDirectory(remoteEntry(vm, "/x.txt")));
    QTest::qWait(50);
    QCOMPARE(resets.size(), 0);
    QCOMPARE(vm.remotePath(), QStringLiteral("/"));
    QCOMPARE(vm.remoteStack(), QStringList{});
    QCOMPARE(vm.selectedRemote(), QStringList{"/x.txt"});
}

void RemoteNavigationTest::backWithEmptyHistoryDoesNotReload()
{
    QVERIFY(startPhone());
    MacViewModel& vm = *m_viewModel;
    makeTree(m_phone->root(), {"new.txt"});
    QSignalSpy resets(vm.remoteItems(), &QAbstractItemModel::modelReset);
    runTask(vm.goRemoteBack());
    vm.requestRemoteBack();
    QTest::qWait(50);
    QCOMPARE(resets.size(), 0);
    QVERIFY(!remoteIds(vm).contains("/new.txt"));

    // The refresh button does list again.
    runTask(vm.reloadRemote());
    QVERIFY(remoteIds(vm).contains("/new.txt"));
}

void RemoteNavigationTest::navigationClearsSelectionBeforeTheListingArrives()
{
    // Every listing after the first answers slowly, so the old rows are still shown when the
    // selection must already be gone.
    QVERIFY(startPhone({"--fault", "/list:trickle:1@1", "--fault", "/list:trickle:3"}));
    MacViewModel& vm = *m_viewModel;
    const QList<std::function<QCoro::Task<void>()>> navigations{
        [&] { return vm.enterRemoteDirectory(remoteEntry(vm, "/a/")); },
        [&] { return vm.goRemoteBack(); },
        [&] { return vm.goRemoteTo("/a/b"); },
        [&] { return vm.goRemoteRoot(); },
    };
    for (const auto& navigate : navigations) {
        const QStringList shown = remoteIds(vm);
        vm.setSelectedRemote({shown.first()});
        QSignalSpy cleared(&vm, &MacViewModel::selectedRemoteChanged);
        QCoro::Task<void> listing = navigate();
        QCOMPARE(vm.selectedRemote(), QStringList{});
        QCOMPARE(cleared.size(), 1);
        QCOMPARE(remoteIds(vm), shown);
        runTask(std::move(listing));
        QVERIFY(remoteIds(vm) != shown);
    }
}

void RemoteNavigationTest::failedListingShowsErrorUntilNextGoodOne()
{
    QVERIFY(startPhone());
    MacViewModel& vm = *m_viewModel;
    runTask(vm.enterRemoteDirectory(remoteEntry(vm, "/a/")));
    QVERIFY(QDir(m_phone->root() + "/a/b").removeRecursively());
    runTask(vm.enterRemoteDirectory(remoteEntry(vm, "/a/b/")));

    // An address-and-port connection counts as a cable one, so the label comes from the transport.
    QCOMPARE(vm.remoteErrorMessage(), vm.wifiTransport().connectionLabel() + QStringLiteral(" 列目录失败（HTTP 404）"));
    QCOMPARE(remoteIds(vm), QStringList{});
    // The path is not rolled back and the history survives.
    QCOMPARE(vm.remotePath(), QStringLiteral("/a/b"));
    QCOMPARE(vm.remoteStack(), (QStringList{"/", "/a"}));

    runTask(vm.goRemoteBack());
    QCOMPARE(vm.remoteErrorMessage(), QString());
    QCOMPARE(remoteIds(vm), QStringList{});
    runTask(vm.goRemoteBack());
    QCOMPARE(remoteIds(vm), (QStringList{"/a/", "/DCIM/", "/.hidden", "/x.txt"}));
}

void RemoteNavigationTest::listingThatFinishesLastDecides()
{
    // The root listing of the connection answers at once, the next one crawls, the rest are quick.
    QVERIFY(startPhone({"--fault", "/list:trickle:1@1", "--fault", "/list:trickle:20@1"}));
    MacViewModel& vm = *m_viewModel;

    QCoro::Task<void> slow = vm.goRemoteTo("/DCIM");
    QCoro::Task<void> quick = vm.goRemoteTo("/a");
    runTask(std::move(quick));
    QCOMPARE(remoteIds(vm), QStringList{"/a/b/"});
    runTask(std::move(slow));
    // Listings are not cancelled: the slow one lands last and its rows show, while the path
    // stays the one asked for last.
    QCOMPARE(vm.remotePath(), QStringLiteral("/a"));
    QCOMPARE(remoteIds(vm), QStringList{"/DCIM/Camera/"});
    QCOMPARE(vm.remoteErrorMessage(), QString());
}

void RemoteNavigationTest::listingWithoutPhone()
{
    MacViewModel vm;
    runTask(vm.goRemoteTo("/DCIM"));
    QCOMPARE(vm.remoteErrorMessage(), QStringLiteral("未检测到已连接的手机"));
    QCOMPARE(remoteIds(vm), QStringList{});
    QCOMPARE(vm.remotePath(), QStringLiteral("/DCIM"));
}

void RemoteNavigationTest::listingShowsWhatThePhoneSent()
{
    // Neither sorted nor filtered, odd names included: what may be done with such a name is
    // decided where it would reach the disk.
    RawPeer peer;
    const QByteArray listing = R"([{"name":"ok.txt","isDirectory":false,"size":1},)"
                               R"({"name":"..","isDirectory":true,"size":0},)"
                               R"({"name":"../../.bashrc","isDirectory":false,"size":1},)"
                               R"({"name":"a.txt","isDirectory":false,"size":1}])";
    peer.setScripts({RawPeer::infoAnswer(), RawPeer::answer(200, listing)});
    MacViewModel vm;
    const DeviceInfo device = runTask(vm.wifiTransport().connect(QStringLiteral("127.0.0.1"), peer.port(),
                                                                 "raw", "WiFi", std::nullopt));
    runTask(vm.adoptConnection(device, false));
    QCOMPARE(vm.remoteErrorMessage(), QString());
    QCOMPARE(remoteIds(vm), (QStringList{"/ok.txt", "/../", "/../../.bashrc", "/a.txt"}));
}

QTEST_GUILESS_MAIN(RemoteNavigationTest)
#include "tst_remotenavigation.moc"
