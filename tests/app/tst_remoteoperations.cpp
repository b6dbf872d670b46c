#include "phonefixture.h"
#include "phoneprocess.h"
#include "scopedsettings.h"
#include "taskrunner.h"

#include "transport/transporterror.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

using namespace phonefixture;

class RemoteOperationsTest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void createFolder_data();
    void createFolder();
    void failedCreateKeepsTheListing();
    void rename_data();
    void rename();
    void renameInTheCurrentFolder();
    void renameStaysInTheEntrysFolder();
    void deleteGoesOnPastAFailure();
    void pasteIntoOwnSubfolderIsRefused();
    void moveIntoSameFolderIsSkippedCopyIsSent();
    void copyAndCutPasteThenClipboardIsEmpty_data();
    void copyAndCutPasteThenClipboardIsEmpty();
    void stagingNothingKeepsTheClipboard();
    void canPasteNeedsAPhone();
    void dragTakesSelectionOrJustTheRow();
    void operationsWithoutPhoneDoNothing();

private:
    ScopedSettings m_settings;
    std::unique_ptr<PhoneProcess> m_phone;
    std::unique_ptr<MacViewModel> m_viewModel;

    bool startPhone(const QStringList& tree, const QStringList& args = {});
    bool exists(const QString& remotePath) const { return QFileInfo::exists(m_phone->root() + remotePath); }
};

void RemoteOperationsTest::init()
{
    m_viewModel.reset();
    m_phone.reset();
}

bool RemoteOperationsTest::startPhone(const QStringList& tree, const QStringList& args)
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

void RemoteOperationsTest::createFolder_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("created"); // remote path, or empty when nothing may appear
    QTest::addColumn<QString>("error");

    QTest::newRow("plain") << "New" << "/Inside/New" << "";
    QTest::newRow("trimmed") << "  My Folder \n" << "/Inside/My Folder" << "";
    QTest::newRow("only spaces") << "   " << "" << "";
    QTest::newRow("slash") << "a/b" << "" << "名称不能包含「/」";
    QTest::newRow("slash after trimming") << " /x " << "" << "名称不能包含「/」";
    QTest::newRow("parent") << ".." << "" << "名称不能是「.」或「..」";
    QTest::newRow("itself") << " . " << "" << "名称不能是「.」或「..」";
}

void RemoteOperationsTest::createFolder()
{
    QFETCH(QString, typed);
    QFETCH(QString, created);
    QFETCH(QString, error);
    // Any request that reaches the phone's /mkdir fails, so a refusal made before contacting the
    // phone shows as its own text and not as the phone's answer.
    const QStringList faults = created.isEmpty() ? QStringList{"--fault", "/mkdir:status:500"} : QStringList{};
    QVERIFY(startPhone({"Inside/"}, faults));
    MacViewModel& vm = *m_viewModel;
    runTask(vm.goRemoteTo("/Inside"));

    runTask(vm.createRemoteFolder(typed));
    QCOMPARE(vm.remoteActionError(), error);
    QCOMPARE(QDir(m_phone->root() + "/Inside").isEmpty(), created.isEmpty());
    if (!created.isEmpty()) {
        QVERIFY(QFileInfo(m_phone->root() + created).isDir());
        QCOMPARE(remoteIds(vm), QStringList{created + "/"});
    }
}

void RemoteOperationsTest::failedCreateKeepsTheListing()
{
    QVERIFY(startPhone({"Taken/"}));
    MacViewModel& vm = *m_viewModel;
    QSignalSpy resets(vm.remoteItems(), &QAbstractItemModel::modelReset);
    runTask(vm.createRemoteFolder("Taken"));
    QCOMPARE(vm.remoteActionError(), vm.wifiTransport().connectionLabel() + QStringLiteral(" 建目录失败（HTTP 409）"));
    QCOMPARE(resets.size(), 0);
}

void RemoteOperationsTest::rename_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("listing");
    QTest::addColumn<QString>("error");

    QTest::newRow("new name, trimmed") << " b.txt " << QStringList{"/A/", "/b.txt"} << "";
    QTest::newRow("same name does nothing") << "a.txt" << QStringList{"/A/", "/a.txt"} << "";
    QTest::newRow("same name after trimming") << "  a.txt\t" << QStringList{"/A/", "/a.txt"} << "";
    QTest::newRow("empty does nothing") << "  " << QStringList{"/A/", "/a.txt"} << "";
    QTest::newRow("slash") << "A/a.txt" << QStringList{"/A/", "/a.txt"} << "名称不能包含「/」";
    QTest::newRow("parent") << ".." << QStringList{"/A/", "/a.txt"} << "名称不能是「.」或「..」";
    QTest::newRow("name taken") << "A" << QStringList{"/A/", "/a.txt"}
                                << remoteOperationError("重命名", 409).description();
}

void RemoteOperationsTest::rename()
{
    QFETCH(QString, typed);
    QFETCH(QString, error);
    QVERIFY(startPhone({"A/", "a.txt"}));
    MacViewModel& vm = *m_viewModel;
    vm.setSelectedRemote({"/a.txt"});
    // Doing nothing means not asking the phone: the phone is gone for the cases that must not ask.
    QFETCH(QStringList, listing);
    const bool asksPhone = listing.contains("/b.txt") || (!error.isEmpty() && !error.startsWith("名称"));
    if (!asksPhone)
        m_phone->kill();

    runTask(vm.renameRemoteEntry(remoteEntry(vm, "/a.txt"), typed));
    QCOMPARE(vm.remoteActionError(), error);
    QTEST(remoteIds(vm), "listing");
    QCOMPARE(vm.selectedRemote().isEmpty(), listing.contains("/b.txt"));
}

void RemoteOperationsTest::renameInTheCurrentFolder()
{
    QVERIFY(startPhone({"A/x.txt", "A/Sub/"}));
    MacViewModel& vm = *m_viewModel;
    runTask(vm.goRemoteTo("/A"));
    vm.setSelectedRemote({"/A/x.txt"});

    runTask(vm.renameRemoteEntry(remoteEntry(vm, "/A/x.txt"), "  新 名.txt \n"));
    QCOMPARE(vm.remoteActionError(), QString());
    QVERIFY(exists("/A/新 名.txt"));
    QVERIFY(!exists("/A/x.txt"));
    QCOMPARE(vm.selectedRemote(), QStringList{});
    QVERIFY(remoteIds(vm).contains("/A/新 名.txt"));

    runTask(vm.renameRemoteEntry(remoteEntry(vm, "/A/Sub/"), "Renamed"));
    QVERIFY(exists("/A/Renamed/"));
}

void RemoteOperationsTest::renameStaysInTheEntrysFolder()
{
    // The entry was picked in /A, then the pane moved on to /B before the rename was sent.
    QVERIFY(startPhone({"A/x.txt", "A/Sub/", "B/"}));
    MacViewModel& vm = *m_viewModel;
    runTask(vm.goRemoteTo("/A"));
    const TransferEntry file = remoteEntry(vm, "/A/x.txt");
    const TransferEntry folder = remoteEntry(vm, "/A/Sub/");
    runTask(vm.goRemoteTo("/B"));

    runTask(vm.renameRemoteEntry(file, "y.txt"));
    runTask(vm.renameRemoteEntry(folder, "Sub2"));
    QCOMPARE(vm.remoteActionError(), QString());
    QVERIFY(exists("/A/y.txt"));
    QVERIFY(exists("/A/Sub2/"));
    QVERIFY(!exists("/B/y.txt"));
    QVERIFY(!exists("/B/Sub2"));
}

void RemoteOperationsTest::deleteGoesOnPastAFailure()
{
    QVERIFY(startPhone({"A/inner.txt", "b.txt", "c.txt", "kept.txt"}));
    MacViewModel& vm = *m_viewModel;
    vm.setSelectedRemote({"/c.txt", "/b.txt", "/A/", "/not-listed.txt"});
    // The second entry vanishes behind the pane's back; the phone answers 404 for it.
    QVERIFY(QFile::remove(m_phone->root() + "/b.txt"));

    runTask(vm.deleteRemoteSelection());
    QCOMPARE(vm.remoteActionError(), "b.txt：" + remoteOperationError("删除", 404).description());
    QVERIFY(!exists("/A"));
    QVERIFY(!exists("/c.txt"));
    QCOMPARE(remoteIds(vm), QStringList{"/kept.txt"});
    QCOMPARE(vm.selectedRemote(), QStringList{});
}

void RemoteOperationsTest::pasteIntoOwnSubfolderIsRefused()
{
    QVERIFY(startPhone({"A/B/", "AB/"}));
    MacViewModel& vm = *m_viewModel;
    vm.setSelectedRemote({"/A/"});
    vm.stageRemoteSelection(true);

    runTask(vm.pasteRemoteEntries("/A/B/"));
    QCOMPARE(vm.remoteActionError(), QStringLiteral("A：目标不能是自身或其子目录"));
    QVERIFY(QFileInfo(m_phone->root() + "/A/B").isDir());
    QVERIFY(!vm.remoteClipboard());

    // Into itself too; but a sibling that merely starts with the same letters is fine.
    vm.setRemoteActionError({});
    vm.setSelectedRemote({"/A/"});
    vm.stageRemoteSelection(false);
    runTask(vm.pasteRemoteEntries("/A"));
    QCOMPARE(vm.remoteActionError(), QStringLiteral("A：目标不能是自身或其子目录"));
    vm.setRemoteActionError({});
    vm.setSelectedRemote({"/A/"});
    vm.stageRemoteSelection(true);
    runTask(vm.pasteRemoteEntries("/AB/"));
    QCOMPARE(vm.remoteActionError(), QString());
    QVERIFY(exists("/AB/A/B"));
}

void RemoteOperationsTest::moveIntoSameFolderIsSkippedCopyIsSent()
{
    // Every rename fails on the phone, so a move that reached it could not pass unnoticed.
    QVERIFY(startPhone({"A/x.txt"}, {"--fault", "/rename:status:500"}));
    MacViewModel& vm = *m_viewModel;
    runTask(vm.goRemoteTo("/A"));
    const QList<TransferEntry> entries{remoteEntry(vm, "/A/x.txt")};

    runTask(vm.moveRemoteEntries(entries, "/A"));
    QCOMPARE(vm.remoteActionError(), QString());
    runTask(vm.moveRemoteEntries(entries, "/A/"));
    QCOMPARE(vm.remoteActionError(), QString());
    QVERIFY(exists("/A/x.txt"));

    runTask(vm.copyRemoteEntries(entries, "/A"));
    QCOMPARE(vm.remoteActionError(), "x.txt：" + remoteOperationError("复制", 409).description());
}

void RemoteOperationsTest::copyAndCutPasteThenClipboardIsEmpty_data()
{
    QTest::addColumn<bool>("cut");
    QTest::addColumn<QString>("phoneArg");
    QTest::addColumn<QString>("error");

    QTest::newRow("copy") << false << "" << "";
    QTest::newRow("cut") << true << "" << "";
    QTest::newRow("copy failing")
        << false << "/copy:status:500"
        << QString("F2：%1\nf1.txt：%1").arg(remoteOperationError("复制", 500).description());
    QTest::newRow("cut failing")
        << true << "/rename:status:500"
        << QString("F2：%1\nf1.txt：%1").arg(remoteOperationError("重命名", 500).description());
}

void RemoteOperationsTest::copyAndCutPasteThenClipboardIsEmpty()
{
    QFETCH(bool, cut);
    QFETCH(QString, phoneArg);
    QFETCH(QString, error);
    const QStringList args = phoneArg.isEmpty() ? QStringList{} : QStringList{"--fault", phoneArg};
    QVERIFY(startPhone({"F2/in.txt", "f1.txt", "Target/"}, args));
    MacViewModel& vm = *m_viewModel;
    vm.setSelectedRemote({"/f1.txt", "/F2/"});
    QSignalSpy clipboardChanges(&vm, &MacViewModel::remoteClipboardChanged);
    vm.stageRemoteSelection(cut);
    QCOMPARE(clipboardChanges.size(), 1);
    QVERIFY(vm.remoteClipboard());
    // Entries are kept in the pane's order, not the order they were selected in.
    QCOMPARE(vm.remoteClipboard()->entries.first().id, QStringLiteral("/F2/"));
    QCOMPARE(vm.remoteClipboard()->isCut, cut);
    QCOMPARE(vm.selectedRemote().size(), 2);

    runTask(vm.goRemoteTo("/Target"));
    runTask(vm.pasteRemoteEntries("/Target"));
    QVERIFY(!vm.remoteClipboard());
    QVERIFY(!vm.canPasteRemote());
    QCOMPARE(vm.remoteActionError(), error);
    if (error.isEmpty()) {
        QCOMPARE(remoteIds(vm), (QStringList{"/Target/F2/", "/Target/f1.txt"}));
        QVERIFY(exists("/Target/F2/in.txt"));
        QCOMPARE(exists("/f1.txt"), !cut);
        QCOMPARE(exists("/F2/in.txt"), !cut);
    } else {
        QCOMPARE(remoteIds(vm), QStringList{});
    }
}

void RemoteOperationsTest::stagingNothingKeepsTheClipboard()
{
    QVERIFY(startPhone({"a.txt"}));
    MacViewModel& vm = *m_viewModel;
    vm.setSelectedRemote({"/a.txt"});
    vm.stageRemoteSelection(false);
    vm.setSelectedRemote({"/not-listed.txt"});
    vm.stageRemoteSelection(true);
    QVERIFY(vm.remoteClipboard());
    QCOMPARE(vm.remoteClipboard()->isCut, false);
    QCOMPARE(vm.remoteClipboard()->entries.size(), 1);
}

void RemoteOperationsTest::canPasteNeedsAPhone()
{
    m_phone = std::make_unique<PhoneProcess>();
    QVERIFY2(m_phone->start(), qPrintable(m_phone->errorText()));
    makeTree(m_phone->root(), {"a.txt", "Dir/"});
    MacViewModel vm;
    // The transport reaches the phone, but the view model has no phone yet.
    const DeviceInfo device = runTask(vm.wifiTransport().connect(m_phone->host(), m_phone->port(), "stand-in",
                                                                 "WiFi", std::nullopt));
    runTask(vm.loadRemoteDirectory("/"));
    vm.setSelectedRemote({"/a.txt"});
    QSignalSpy changes(&vm, &MacViewModel::canPasteRemoteChanged);
    vm.stageRemoteSelection(false);
    QVERIFY(vm.remoteClipboard());
    QCOMPARE(vm.canPasteRemote(), false);
    QCOMPARE(vm.property("canPasteRemote").toBool(), false);

    // A paste without a phone sends nothing, and still ends the clipboard.
    runTask(vm.pasteRemoteEntries("/Dir"));
    QVERIFY(!vm.remoteClipboard());
    QVERIFY(!exists("/Dir/a.txt"));
    QCOMPARE(changes.size(), 0);

    vm.stageRemoteSelection(false);
    runTask(vm.adoptConnection(device, false));
    QCOMPARE(vm.canPasteRemote(), true);
    QCOMPARE(changes.size(), 1);
    vm.setSelectedRemote({});
    runTask(vm.pasteRemoteEntries("/Dir"));
    QVERIFY(exists("/Dir/a.txt"));
    QCOMPARE(vm.canPasteRemote(), false);
    QCOMPARE(changes.size(), 2);
}

void RemoteOperationsTest::dragTakesSelectionOrJustTheRow()
{
    QVERIFY(startPhone({"Dest/", "a.txt", "b.txt", "c.txt"}));
    MacViewModel& vm = *m_viewModel;
    vm.setSelectedRemote({"/c.txt", "/a.txt"});

    vm.beginRemoteDrag(remoteEntry(vm, "/b.txt"));
    QCOMPARE(vm.draggingRemoteEntries(), QList<TransferEntry>{remoteEntry(vm, "/b.txt")});
    QCOMPARE(vm.selectedRemote(), (QStringList{"/c.txt", "/a.txt"}));

    vm.beginRemoteDrag("/c.txt");
    QCOMPARE(vm.draggingRemoteEntries(), (QList<TransferEntry>{remoteEntry(vm, "/a.txt"), remoteEntry(vm, "/c.txt")}));

    // Dropped on a folder row: the dragged entries move there and the drag is over.
    vm.dropDraggedRemoteEntries("/Dest/");
    QVERIFY(vm.draggingRemoteEntries().isEmpty());
    QTRY_VERIFY(exists("/Dest/a.txt") && exists("/Dest/c.txt"));
    QTRY_COMPARE(remoteIds(vm), (QStringList{"/Dest/", "/b.txt"}));
    QCOMPARE(vm.remoteActionError(), QString());
}

void RemoteOperationsTest::operationsWithoutPhoneDoNothing()
{
    MacViewModel vm;
    TransferEntry entry;
    entry.id = "/a.txt";
    entry.name = "a.txt";
    entry.source = TransferEntry::Source::device;
    runTask(vm.createRemoteFolder("New"));
    runTask(vm.createRemoteFolder("a/b"));
    runTask(vm.renameRemoteEntry(entry, "b.txt"));
    runTask(vm.copyRemoteEntries({entry}, "/Dir"));
    runTask(vm.moveRemoteEntries({entry}, "/Dir"));
    runTask(vm.deleteRemoteSelection());
    QCOMPARE(vm.remoteActionError(), QString());
    QCOMPARE(vm.remoteErrorMessage(), QString());
}

QTEST_GUILESS_MAIN(RemoteOperationsTest)
#include "tst_remoteoperations.moc"
