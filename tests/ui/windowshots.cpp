// zorvane-window-shots OUTDIR WIDTHxHEIGHT: opens the window at that size against stand-in phones
// and saves what a user sees in the states worth looking at: the WiFi menu open, the pairing
// sheet, the address card, an error card, and the task panel holding a running, a finished, a
// failed and a cancelled task. Not a test: its pictures are for people (scripts/screenshots.sh).
#include "phoneprocess.h"
#include "scopedsettings.h"
#include "taskrunner.h"
#include "windowdriver.h"

#include <QGuiApplication>
#include <QMimeData>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace windowdriver;

namespace {

void settle(int ms = 400)
{
    QTest::qWait(ms);
}

bool save(QQuickWindow* window, const QString& folder, const QString& name)
{
    // The pointer rests on the logo, where it raises no tooltip and lights up nothing.
    QTest::mouseMove(window, QPoint(24, 24));
    settle();
    const QImage image = window->grabWindow();
    const QString path = QDir(folder).filePath(name + QStringLiteral(".png"));
    if (image.isNull() || !image.save(path)) {
        std::fprintf(stderr, "could not save %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

bool waitFor(const std::function<bool()>& condition, int ms = 10000)
{
    QDeadlineTimer deadline(ms);
    while (!condition() && !deadline.hasExpired())
        QTest::qWait(20);
    return condition();
}

void writeFile(const QString& path, qint64 size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(QByteArray(size, 'z'));
}

void closeMenu(OpenWindow& w, const char* name)
{
    QMetaObject::invokeMethod(named<QObject>(w.root(), name), "close");
    settle(200);
}

bool clickNamed(OpenWindow& w, const char* name)
{
    QQuickItem* item = shownItem(w.window->contentItem(), QString::fromLatin1(name));
    if (!item)
        return false;
    click(w.window, item);
    settle(200);
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QStringList size = args.value(2).split(QLatin1Char('x'));
    if (args.size() < 3 || size.size() != 2) {
        std::fprintf(stderr, "usage: zorvane-window-shots OUTDIR WIDTHxHEIGHT\n");
        return 2;
    }
    const QString folder = args[1];
    const QSize windowSize(size[0].toInt(), size[1].toInt());
    const QString tag = args[2];
    QDir().mkpath(folder);
    ScopedSettings settings;

    QTemporaryDir local;
    for (const char* name : {"旅行照片.jpg", "报告.pdf", "会议纪要.txt"})
        writeFile(local.filePath(QString::fromUtf8(name)), 40'000);
    writeFile(local.filePath("素材/片段.mov"), 10'000);
    writeFile(local.filePath("大视频.mp4"), 24'000'000);
    writeFile(local.filePath("坏掉的.bin"), 1'000);

    // The first upload is refused; every later one is read slowly, so the big one is still running
    // when the picture is taken.
    PhoneProcess phone;
    if (!phone.start({"--name", "演示手机", "--system-version", "iOS 17.5", "--fault", "/upload:status:500@1",
                      "--fault", "/upload:slow-read:100"})) {
        std::fprintf(stderr, "%s\n", qPrintable(phone.errorText()));
        return 1;
    }
    for (const char* name : {"照片/", "文档/", "Music/"})
        QDir(phone.root()).mkpath(QString::fromUtf8(name));
    writeFile(phone.root() + "/说明.txt", 120);
    PhoneProcess guarded;
    if (!guarded.start({"--name", "书房的手机", "--pairing-code", "482915"})) {
        std::fprintf(stderr, "%s\n", qPrintable(guarded.errorText()));
        return 1;
    }

    OpenWindow w;
    if (!w.open(windowSize))
        return 1;
    w.viewModel.openLocalDirectory(local.path());
    settle();
    bool ok = save(w.window, folder, tag + "-empty");
    // The folder picker behind the title bar's folder button.
    ok &= clickNamed(w, "chooseFolderButton");
    settle(600);
    ok &= save(w.window, folder, tag + "-folder-picker");
    QTest::keyClick(w.window, Qt::Key_Escape);
    settle();

    // The pairing sheet of a phone that asks for a code.
    runTask(w.viewModel.connectByAddress(guarded.host(), guarded.port(), std::nullopt));
    ok &= waitFor([&] { return named<QObject>(w.root(), "pairingSheet")->property("opened").toBool(); });
    auto* field = named(w.root(), "pairingCodeField");
    field->forceActiveFocus();
    type(w.window, "4829");
    ok &= save(w.window, folder, tag + "-pairing-sheet");
    w.viewModel.cancelPairing();
    settle();

    // Connected; the WiFi menu lists the remembered phone and offers to disconnect.
    ok &= runTask(w.viewModel.connectByAddress(phone.host(), phone.port(), std::nullopt));
    openMenu(w, "wifiMenuButton", "wifiMenu");
    ok &= save(w.window, folder, tag + "-wifi-menu");
    closeMenu(w, "wifiMenu");
    openMenu(w, "usbMenuButton", "usbMenu");
    ok &= save(w.window, folder, tag + "-usb-menu");
    closeMenu(w, "usbMenu");

    // The phone's folder as rows and as icons, then a menu, a card and a drag over each pane.
    w.viewModel.setSelectedRemote({QStringLiteral("/说明.txt")});
    ok &= save(w.window, folder, tag + "-list");
    ok &= clickNamed(w, "gridModeButton");
    ok &= save(w.window, folder, tag + "-grid");
    ok &= clickNamed(w, "listModeButton");
    settle();
    if (QQuickItem* row = entryNamed(w, "remoteFileList", QStringLiteral("照片"))) {
        QTest::mouseClick(w.window, Qt::RightButton, {}, row->mapToScene(QPointF(40, row->height() / 2)).toPoint());
        ok &= waitFor([&] { return named<QObject>(w.root(), "entryMenu")->property("opened").toBool(); });
        ok &= save(w.window, folder, tag + "-context-menu");
        closeMenu(w, "entryMenu");
    } else {
        ok = false;
    }
    ok &= clickNamed(w, "newFolderButton");
    ok &= waitFor([&] { return named(w.root(), "nameCard")->isVisible(); });
    type(w.window, QStringLiteral("旅行 2025"));
    ok &= save(w.window, folder, tag + "-new-folder-card");
    QTest::keyClick(w.window, Qt::Key_Escape);
    settle();
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(local.filePath("报告.pdf"))});
    dragOnto(w, named(w.root(), "iphonePane"), files, false, [&] { ok &= save(w.window, folder, tag + "-drag-push"); });
    QMimeData phoneEntry;
    phoneEntry.setText(QStringLiteral("/说明.txt"));
    dragOnto(w, named(w.root(), "macPane"), phoneEntry, false, [&] { ok &= save(w.window, folder, tag + "-drag-pull"); });

    // The address card, reached from the WiFi menu.
    openMenu(w, "wifiMenuButton", "wifiMenu");
    click(w.window, menuEntry(named<QObject>(w.root(), "wifiMenu"), QStringLiteral("按地址连接…")));
    ok &= waitFor([&] { return named(w.root(), "addressLayer")->isVisible(); });
    type(w.window, QStringLiteral("192.168.1.23:8765"));
    ok &= save(w.window, folder, tag + "-address-card");
    QTest::keyClick(w.window, Qt::Key_Escape);
    settle();

    // An operation's failure as a card.
    w.viewModel.setRemoteActionError(QStringLiteral("“照片”已存在，请换一个名称"));
    ok &= waitFor([&] { return named(w.root(), "remoteDialogLayer")->isVisible(); });
    ok &= save(w.window, folder, tag + "-error-card");
    QTest::keyClick(w.window, Qt::Key_Escape);
    settle();

    // Four transfers: refused, done, cancelled while waiting, running.
    w.viewModel.pushURLs({local.filePath("坏掉的.bin"), local.filePath("报告.pdf"), local.filePath("旅行照片.jpg"),
                          local.filePath("大视频.mp4")});
    const QList<TransferTask*> tasks = w.viewModel.tasks()->tasks();
    w.viewModel.cancelTask(tasks[2]->idText());
    ok &= waitFor([&] { return tasks[3]->status() == TransferTask::Status::running && tasks[3]->progress() > 0.05; },
                  20000);
    ok &= save(w.window, folder, tag + "-tasks");
    // The list is 150 high: the running task at its end.
    QMetaObject::invokeMethod(named<QObject>(w.root(), "taskList"), "positionViewAtEnd");
    ok &= save(w.window, folder, tag + "-tasks-end");
    w.viewModel.cancelAllTasks();
    waitFor([&] { return w.viewModel.transferQueue().isIdle(); });
    return ok ? 0 : 1;
}
