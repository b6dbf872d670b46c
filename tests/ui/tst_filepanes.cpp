// The file panes used as a user would, against the phone stand-in: crumbs, selection, the phone's
// context menu and cards, keyboard shortcuts, drops, and the remembered view mode.
#include "phoneprocess.h"
#include "scopedsettings.h"
#include "taskrunner.h"
#include "windowdriver.h"

#include "common/bytecountformat.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace windowdriver;

namespace {

void writeFile(const QString& path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(size, 'f'));
}

QList<QQuickItem*> crumbItems(QObject* root, const char* barName)
{
    QList<QQuickItem*> crumbs;
    const std::function<void(QQuickItem*)> walk = [&](QQuickItem* item) {
        if (item->objectName() == QLatin1String("crumb"))
            crumbs << item;
        for (QQuickItem* child : item->childItems())
            walk(child);
    };
    walk(named(root, barName));
    return crumbs;
}

QStringList crumbTitles(QObject* root, const char* barName)
{
    QStringList titles;
    for (QQuickItem* crumb : crumbItems(root, barName))
        titles << crumb->property("text").toString();
    return titles;
}

QStringList phoneEntries(const PhoneProcess& phone, const QString& folder = {})
{
    QStringList names = QDir(phone.root() + folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

} // namespace

class FilePanesTest : public QObject
{
    Q_OBJECT

private:
    ScopedSettings m_settings;

    // A phone holding the folders 照片 (with 2024 inside) and 文档, and the files a.txt (1,500
    // bytes), b.txt and c.txt; the window connected to it.
    struct Connected
    {
        PhoneProcess phone;
        OpenWindow w;
    };

    std::unique_ptr<Connected> connected()
    {
        auto c = std::make_unique<Connected>();
        if (!c->phone.start()) {
            qWarning() << c->phone.errorText();
            return nullptr;
        }
        QDir(c->phone.root()).mkpath("照片/2024");
        QDir(c->phone.root()).mkpath("文档");
        writeFile(c->phone.root() + "/a.txt", 1500);
        writeFile(c->phone.root() + "/b.txt", 10);
        writeFile(c->phone.root() + "/c.txt", 10);
        if (!c->w.open() || !runTask(c->w.viewModel.connectByAddress(c->phone.host(), c->phone.port(), std::nullopt)))
            return nullptr;
        return c;
    }

    static QQuickItem* remoteEntry(Connected& c, const QString& name)
    {
        QQuickItem* entry = nullptr;
        QDeadlineTimer deadline(5000);
        while (!(entry = entryNamed(c.w, "remoteFileList", name)) && !deadline.hasExpired())
            QTest::qWait(20);
        return entry;
    }

    static void waitForRemote(Connected& c, const QStringList& names)
    {
        for (const QString& name : names)
            QVERIFY2(remoteEntry(c, name), qPrintable(name));
    }

private slots:
    void init()
    {
        QSettings().clear();
    }

    void computerCrumbsShortenTheFolder()
    {
        QTemporaryDir top;
        const QString deep = top.path() + "/a/b/c";
        QDir().mkpath(deep);
        OpenWindow w;
        QVERIFY(w.open());
        w.viewModel.openLocalDirectory(deep);
        QTRY_COMPARE(crumbTitles(w.root(), "localPathBar"), (QStringList{"…", "a", "b", "c"}));
        // A crumb goes to its folder; the ellipsis goes nowhere.
        click(w.window, shownItem(named(w.root(), "localPathBar"), "crumb"));
        QCOMPARE(w.viewModel.localDirectoryText(), deep);
        QQuickItem* toA = nullptr;
        for (QQuickItem* crumb : crumbItems(w.root(), "localPathBar")) {
            if (crumb->property("text").toString() == "a")
                toA = crumb;
        }
        QVERIFY(toA);
        click(w.window, toA);
        QTRY_COMPARE(w.viewModel.localDirectoryText(), top.path() + "/a");
    }

    // The title bar's folder button opens the picker (in Chinese, where the folder is); the
    // folder picked is opened.
    void theFolderPickerOpensThePickedFolder()
    {
        QTemporaryDir first;
        QTemporaryDir picked;
        writeFile(picked.filePath("选中的.txt"), 1);
        OpenWindow w;
        QVERIFY(w.open());
        w.viewModel.openLocalDirectory(first.path());
        QObject* picker = named<QObject>(w.root(), "folderPicker");
        QVERIFY(picker);
        click(w.window, named(w.root(), "chooseFolderButton"));
        QTRY_VERIFY(picker->property("visible").toBool());
        QCOMPARE(picker->property("currentFolder").toUrl(), QUrl::fromLocalFile(first.path()));
        picker->setProperty("selectedFolder", QUrl::fromLocalFile(picked.path()));
        QMetaObject::invokeMethod(picker, "accept");
        QTRY_COMPARE(w.viewModel.localDirectoryText(), picked.path());
        QVERIFY(entryNamed(w, "localFileList", "选中的.txt"));
    }

    void phoneCrumbsShowEveryLevel()
    {
        auto c = connected();
        QVERIFY(c);
        QCOMPARE(crumbTitles(c->w.root(), "remotePathBar"), QStringList{"文件舱"});
        QVERIFY(!named(c->w.root(), "remoteBackButton")->isVisible());
        waitForRemote(*c, {"照片"});
        c->w.viewModel.openRemoteEntry("/照片/");
        QTRY_COMPARE(c->w.viewModel.remotePath(), QStringLiteral("/照片"));
        waitForRemote(*c, {"2024"});
        c->w.viewModel.openRemoteEntry("/照片/2024/");
        QTRY_COMPARE(crumbTitles(c->w.root(), "remotePathBar"), (QStringList{"文件舱", "照片", "2024"}));
        QVERIFY(named(c->w.root(), "remoteBackButton")->isVisible());
        click(c->w.window, shownItem(named(c->w.root(), "remotePathBar"), "crumb"));
        QTRY_COMPARE(c->w.viewModel.remotePath(), QStringLiteral("/"));
    }

    void clicksSelectAndTheBarSumsTheSizes()
    {
        auto c = connected();
        QVERIFY(c);
        waitForRemote(*c, {"照片", "a.txt", "b.txt"});
        QObject* pane = named<QObject>(c->w.root(), "iphonePane");
        auto* count = named(pane, "selectionCount");
        clickEntry(c->w, remoteEntry(*c, "照片"));
        clickEntry(c->w, remoteEntry(*c, "a.txt"));
        QTRY_COMPARE(count->property("text").toString(), QStringLiteral("已选 2 项"));
        QCOMPARE(named(pane, "selectionSize")->property("text").toString(), formatByteCount(1500));
        QVERIFY(named(pane, "selectionSize")->isVisible());
        QVERIFY(remoteEntry(*c, "a.txt")->property("selected").toBool());
        // A second click deselects; a folder alone has no size line.
        clickEntry(c->w, remoteEntry(*c, "a.txt"));
        QTRY_COMPARE(count->property("text").toString(), QStringLiteral("已选 1 项"));
        QVERIFY(!named(pane, "selectionSize")->isVisible());
        // Shift+click adds the range from the entry clicked last (a.txt) to this one.
        clickEntry(c->w, remoteEntry(*c, "c.txt"), Qt::LeftButton, Qt::ShiftModifier);
        QTRY_COMPARE(c->w.viewModel.selectedRemote(), (QStringList{"/照片/", "/a.txt", "/b.txt", "/c.txt"}));
    }

    void withoutAPhoneThePaneSaysSo()
    {
        OpenWindow w;
        QVERIFY(w.open());
        QVERIFY(!named(w.root(), "newFolderButton")->isEnabled());
        QVERIFY(!named(w.root(), "remoteRefreshButton")->isEnabled());
        QVERIFY(visibleTexts(named(w.root(), "iphonePane")).contains("未连接手机"));
        QVERIFY(!named(w.root(), "remoteFileList"));
        // A file dropped on it is refused and nothing is queued.
        QTemporaryDir local;
        writeFile(local.filePath("x.bin"), 10);
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(local.filePath("x.bin"))});
        QVERIFY(!dragOnto(w, named(w.root(), "iphonePane"), files, true));
        QCOMPARE(w.viewModel.tasks()->count(), 0);
    }

    void theContextMenuFitsTheEntry()
    {
        auto c = connected();
        QVERIFY(c);
        waitForRemote(*c, {"照片", "a.txt"});
        QObject* menu = named<QObject>(c->w.root(), "entryMenu");
        const auto waitFor = [](const std::function<bool()>& condition) {
            QDeadlineTimer deadline(5000);
            while (!condition() && !deadline.hasExpired())
                QTest::qWait(20);
        };
        const auto menuFor = [&](const QString& name) -> QStringList {
            clickEntry(c->w, remoteEntry(*c, name), Qt::RightButton);
            waitFor([&] { return menu->property("opened").toBool(); });
            const QStringList entries = texts(menuLines(menu));
            QMetaObject::invokeMethod(menu, "close");
            waitFor([&] { return !menu->property("visible").toBool(); });
            return entries;
        };
        QCOMPARE(menuFor("a.txt"), (QStringList{"重命名", "剪切", "复制", "删除", "新建文件夹"}));
        QCOMPARE(menuFor("照片"), (QStringList{"打开", "重命名", "剪切", "复制", "删除", "新建文件夹"}));
        // Copy from the menu acts on the entry under the pointer; a folder then offers to paste.
        clickEntry(c->w, remoteEntry(*c, "a.txt"), Qt::RightButton);
        QTRY_VERIFY(menu->property("opened").toBool());
        click(c->w.window, menuEntry(menu, "复制"));
        QTRY_VERIFY(c->w.viewModel.canPasteRemote());
        QCOMPARE(c->w.viewModel.selectedRemote(), QStringList{"/a.txt"});
        QCOMPARE(menuFor("照片"), (QStringList{"打开", "重命名", "剪切", "复制", "粘贴到此处", "删除", "新建文件夹"}));
        QVERIFY(named(c->w.root(), "pasteButton")->isVisible());
    }

    void deletingThreeAsksFirst()
    {
        auto c = connected();
        QVERIFY(c);
        waitForRemote(*c, {"a.txt", "b.txt", "c.txt"});
        for (const char* name : {"a.txt", "b.txt", "c.txt"})
            clickEntry(c->w, remoteEntry(*c, name));
        QTest::keyClick(c->w.window, Qt::Key_Delete);
        auto* layer = named(c->w.root(), "remoteDialogLayer");
        QTRY_VERIFY(layer->isVisible());
        QCOMPARE(named(c->w.root(), "confirmMessage")->property("text").toString(),
                 QStringLiteral("将删除 3 个条目，且无法恢复。"));
        QVERIFY(phoneEntries(c->phone).contains("a.txt"));
        click(c->w.window, named(c->w.root(), "confirmCardButton"));
        QTRY_VERIFY(!layer->isVisible());
        QTRY_COMPARE(phoneEntries(c->phone), (QStringList{"文档", "照片"}));
    }

    void theKeyboardWorksTheLists()
    {
        auto c = connected();
        QVERIFY(c);
        waitForRemote(*c, {"照片", "a.txt"});
        OpenWindow& w = c->w;
        // Ctrl+A selects everything; F2 renames the entry clicked last.
        clickEntry(w, remoteEntry(*c, "a.txt"));
        QTest::keyClick(w.window, Qt::Key_A, Qt::ControlModifier);
        QTRY_COMPARE(w.viewModel.selectedRemote().size(), 5);
        clickEntry(w, remoteEntry(*c, "照片"));
        clickEntry(w, remoteEntry(*c, "文档"));
        clickEntry(w, remoteEntry(*c, "b.txt"));
        clickEntry(w, remoteEntry(*c, "c.txt"));
        QTRY_COMPARE(w.viewModel.selectedRemote(), QStringList{"/a.txt"});
        QTest::keyClick(w.window, Qt::Key_F2);
        auto* card = named(w.root(), "nameCard");
        QTRY_VERIFY(card->isVisible());
        QCOMPARE(card->property("text").toString(), QStringLiteral("a.txt"));
        named(card, "promptField")->setProperty("text", QString());
        type(w.window, "甲.txt");
        QTest::keyClick(w.window, Qt::Key_Return);
        QTRY_VERIFY(phoneEntries(c->phone).contains("甲.txt"));

        // Ctrl+C here, Ctrl+V in a folder entered with Enter; Backspace comes back; Ctrl+X moves.
        waitForRemote(*c, {"甲.txt"});
        clickEntry(w, remoteEntry(*c, "b.txt"));
        QTest::keyClick(w.window, Qt::Key_C, Qt::ControlModifier);
        QTRY_VERIFY(w.viewModel.canPasteRemote());
        clickEntry(w, remoteEntry(*c, "b.txt"));
        clickEntry(w, remoteEntry(*c, "文档"));
        QTest::keyClick(w.window, Qt::Key_Return);
        QTRY_COMPARE(w.viewModel.remotePath(), QStringLiteral("/文档"));
        QTRY_VERIFY(named(w.root(), "remoteFileList") == nullptr || !remoteEntry(*c, "照片"));
        // An empty folder shows its notice, so the keys go to the pane's list once it has rows;
        // the paste button does the same as Ctrl+V.
        click(w.window, named(w.root(), "pasteButton"));
        QTRY_COMPARE(phoneEntries(c->phone, "/文档"), QStringList{"b.txt"});
        waitForRemote(*c, {"b.txt"});
        clickEntry(w, remoteEntry(*c, "b.txt"));
        QTest::keyClick(w.window, Qt::Key_Backspace);
        QTRY_COMPARE(w.viewModel.remotePath(), QStringLiteral("/"));
        waitForRemote(*c, {"c.txt"});
        clickEntry(w, remoteEntry(*c, "c.txt"));
        QTest::keyClick(w.window, Qt::Key_X, Qt::ControlModifier);
        clickEntry(w, remoteEntry(*c, "c.txt"));
        clickEntry(w, remoteEntry(*c, "照片"));
        QTest::keyClick(w.window, Qt::Key_Return);
        QTRY_COMPARE(w.viewModel.remotePath(), QStringLiteral("/照片"));
        waitForRemote(*c, {"2024"});
        clickEntry(w, remoteEntry(*c, "2024"));
        QTest::keyClick(w.window, Qt::Key_V, Qt::ControlModifier);
        QTRY_COMPARE(phoneEntries(c->phone, "/照片"), (QStringList{"2024", "c.txt"}));
        QVERIFY(!phoneEntries(c->phone).contains("c.txt"));

        // F5 lists again what changed behind the window's back.
        writeFile(c->phone.root() + "/照片/新.txt", 5);
        QVERIFY(!entryNamed(w, "remoteFileList", "新.txt"));
        QTest::keyClick(w.window, Qt::Key_F5);
        QVERIFY(remoteEntry(*c, "新.txt"));
    }

    void theActionButtonsTransferTheSelection()
    {
        auto c = connected();
        QVERIFY(c);
        QTemporaryDir local;
        writeFile(local.filePath("本机.txt"), 700);
        c->w.viewModel.openLocalDirectory(local.path());
        QObject* macPane = named<QObject>(c->w.root(), "macPane");
        QObject* phonePane = named<QObject>(c->w.root(), "iphonePane");
        QQuickItem* push = named(macPane, "paneActionButton");
        QQuickItem* pull = named(phonePane, "paneActionButton");
        QVERIFY(!push->isEnabled() && !pull->isEnabled());

        QQuickItem* mine = nullptr;
        QTRY_VERIFY((mine = entryNamed(c->w, "localFileList", "本机.txt")));
        clickEntry(c->w, mine);
        QTRY_VERIFY(push->isEnabled());
        click(c->w.window, push);
        QTRY_VERIFY(phoneEntries(c->phone).contains("本机.txt"));

        clickEntry(c->w, remoteEntry(*c, "a.txt"));
        QTRY_VERIFY(pull->isEnabled());
        click(c->w.window, pull);
        QTRY_COMPARE(QFileInfo(local.filePath("a.txt")).size(), 1500);
        QTRY_COMPARE(c->w.viewModel.tasks()->finishedCount(), 2);
    }

    void dropsQueueTransfers()
    {
        auto c = connected();
        QVERIFY(c);
        waitForRemote(*c, {"a.txt"});
        QTemporaryDir local;
        writeFile(local.filePath("从文件管理器.bin"), 2000);
        c->w.viewModel.openLocalDirectory(local.path());

        // A file from another application dropped on the phone pane is pushed there.
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(local.filePath("从文件管理器.bin"))});
        bool overlayShown = false;
        QVERIFY(dragOnto(c->w, named(c->w.root(), "iphonePane"), files, true,
                         [&] { overlayShown = named(c->w.root(), "pushOverlay")->isVisible(); }));
        QVERIFY(overlayShown);
        QCOMPARE(c->w.viewModel.tasks()->count(), 1);
        QTRY_VERIFY(phoneEntries(c->phone).contains("从文件管理器.bin"));

        // A phone entry dragged onto the computer pane is pulled; the drag's start records it, as
        // the row does when the drag leaves it.
        c->w.viewModel.beginRemoteDrag(QStringLiteral("/a.txt"));
        QMimeData entry;
        entry.setText(QStringLiteral("/a.txt"));
        QVERIFY(dragOnto(c->w, named(c->w.root(), "macPane"), entry, true,
                         [&] { overlayShown = named(c->w.root(), "pullOverlay")->isVisible(); }));
        QVERIFY(overlayShown);
        QCOMPARE(c->w.viewModel.tasks()->count(), 2);
        QTRY_VERIFY(QFileInfo(local.filePath("a.txt")).size() == 1500);
        // Dropped on a phone folder, they move there; only that folder is outlined meanwhile.
        waitForRemote(*c, {"照片", "b.txt"});
        c->w.viewModel.beginRemoteDrag(QStringLiteral("/b.txt"));
        QMimeData moving;
        moving.setText(QStringLiteral("/b.txt"));
        bool outlined = false;
        bool othersPlain = true;
        QVERIFY(dragOnto(c->w, remoteEntry(*c, "照片"), moving, true, [&] {
            outlined = remoteEntry(*c, "照片")->property("targeted").toBool();
            othersPlain = !remoteEntry(*c, "文档")->property("targeted").toBool();
        }));
        QVERIFY(outlined && othersPlain);
        QTRY_COMPARE(phoneEntries(c->phone, "/照片"), (QStringList{"2024", "b.txt"}));
        // Text dragged in from elsewhere, with no drag of ours under way, is refused.
        QVERIFY(!dragOnto(c->w, named(c->w.root(), "macPane"), entry, true));
        QCOMPARE(c->w.viewModel.tasks()->count(), 2);
    }

    void theViewModeIsRememberedForBothPanes()
    {
        QTemporaryDir local;
        writeFile(local.filePath("x.txt"), 3);
        {
            auto c = connected();
            QVERIFY(c);
            c->w.viewModel.openLocalDirectory(local.path());
            QTRY_VERIFY(named(c->w.root(), "localFileList"));
            QCOMPARE(shownItem(named(c->w.root(), "localFileList"), "entryView")->inherits("QQuickListView"), true);
            click(c->w.window, shownItem(named(c->w.root(), "localFileList"), "gridModeButton"));
            QTRY_COMPARE(shownItem(named(c->w.root(), "remoteFileList"), "entryView")->inherits("QQuickGridView"), true);
        }
        QCOMPARE(QSettings().value("macFileViewMode").toString(), QStringLiteral("grid"));
        OpenWindow again;
        QVERIFY(again.open());
        again.viewModel.openLocalDirectory(local.path());
        QTRY_VERIFY(named(again.root(), "localFileList"));
        QCOMPARE(shownItem(named(again.root(), "localFileList"), "entryView")->inherits("QQuickGridView"), true);
    }
};

QTEST_MAIN(FilePanesTest)
#include "tst_filepanes.moc"
