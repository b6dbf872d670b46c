// How smoothly the window scrolls a folder of many entries, in the computer pane and the phone
// pane, as the real window draws them:
//
//   zorvane-window-scrollbench list|grid [COUNT]
//
// Makes COUNT small files (default 10,000) with varied names in a temporary folder, serves that
// folder from zorvane-phone on loopback (ZORVANE_PHONE_BIN) and opens it in the computer pane too,
// with the view mode setting ("macFileViewMode") set to list or grid. Then, pane by pane, it moves
// the pane's scrolling view from top to bottom a third of its height at a time, and times each
// step from setting contentY to the end of the frame that shows it (the window's frameSwapped),
// waiting for that frame before the next step. Settings go to a temporary XDG_CONFIG_HOME.
//
// Prints one line per pane: the view found (its class; the setting does nothing until the pane has
// a view for it), the steps and frames, the median and worst frame in ms and how many took over
// 50 ms, the median and worst less the wait for the platform's update request, and whether the
// last entry's row was on screen at the end. Exit status 1 when something could not be measured.
// With ZORVANE_SCROLL_TRACE=FILE every step is added to FILE too (pane, mode, step, contentY, ms,
// ms less the wait), to see where in the folder the slow frames fall.
#include "phoneprocess.h"
#include "taskrunner.h"
#include "windowdriver.h"

#include <QAbstractItemModel>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <vector>

using namespace windowdriver;

namespace {

// Names as people have them: Chinese and Latin, short and long, spaces, many kinds of file (so
// the rows show different symbols).
QString entryName(int i)
{
    static const QStringList stems{
        QStringLiteral("IMG_%1"),
        QStringLiteral("会议纪要 %1"),
        QStringLiteral("holiday photos from the lake house, summer %1"),
        QStringLiteral("报告-第%1版-最终"),
        QStringLiteral("scan%1"),
        QStringLiteral("家庭照片_%1_北京之旅"),
        QStringLiteral("Quarterly results %1 (draft)"),
        QStringLiteral("录音%1"),
    };
    static const QStringList extensions{
        QStringLiteral("jpg"), QStringLiteral("txt"), QStringLiteral("pdf"), QStringLiteral("mp4"),
        QStringLiteral("docx"), QStringLiteral("heic"), QStringLiteral("m4a"), QStringLiteral("zip"),
        QStringLiteral("xlsx"), QStringLiteral("png"), QStringLiteral("md"),
    };
    return stems[i % stems.size()].arg(i, 5, 10, QLatin1Char('0')) + QLatin1Char('.')
           + extensions[(i / 3) % extensions.size()];
}

bool makeFiles(const QString& folder, int count)
{
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        QFile file(QDir(folder).filePath(entryName(i)));
        const QByteArray content(i % 4096, char('a' + i % 26));
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
            return false;
        }
    }
    return true;
}

bool waitFor(const std::function<bool()>& condition, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!condition() && !deadline.hasExpired())
        QTest::qWait(20);
    return condition();
}

bool isFlickable(QQuickItem* item)
{
    return item->inherits("QQuickFlickable");
}

// The pane's scrolling view: of the Flickables in it, the one with the most to scroll (a pane may
// hold small ones, a path bar say, besides its listing).
QQuickItem* scrollingView(QQuickItem* pane)
{
    QQuickItem* best = nullptr;
    std::function<void(QQuickItem*)> walk = [&](QQuickItem* item) {
        if (isFlickable(item) && item->isVisible()
            && (!best || item->property("contentHeight").toReal() > best->property("contentHeight").toReal()))
            best = item;
        for (QQuickItem* child : item->childItems())
            walk(child);
    };
    walk(pane);
    return best;
}

// The class behind a QML type ("QQuickListView" for an EntryList), with the QML type beside it.
QString viewType(QObject* view)
{
    const QMetaObject* meta = view->metaObject();
    QString qmlType;
    while (meta && QByteArray(meta->className()).contains("_QML")) {
        if (qmlType.isEmpty())
            qmlType = QString::fromLatin1(meta->className()).section(QLatin1Char('_'), 0, 0);
        meta = meta->superClass();
    }
    const QString type = QString::fromLatin1(meta ? meta->className() : "?");
    return qmlType.isEmpty() ? type : type + QLatin1Char('(') + qmlType + QLatin1Char(')');
}

// Whether an item under `view` shows `text` inside the view's visible area.
bool showsText(QQuickItem* view, const QString& text)
{
    std::function<bool(QQuickItem*)> walk = [&](QQuickItem* item) {
        if (!item->isVisible())
            return false;
        if (item->property("text").toString() == text) {
            const QRectF box = item->mapRectToItem(view, QRectF(0, 0, item->width(), item->height()));
            if (box.bottom() > 0 && box.top() < view->height())
                return true;
        }
        const QList<QQuickItem*> children = item->childItems();
        return std::any_of(children.begin(), children.end(), walk);
    };
    return walk(view);
}

QString lastName(QAbstractItemModel* model)
{
    const int nameRole = model->roleNames().key("name", -1);
    return model->index(model->rowCount() - 1, 0).data(nameRole).toString();
}

struct PaneResult
{
    QString view;
    int steps = 0;
    int frames = 0;
    double median = 0;
    double worst = 0;
    // The same less the wait for the platform's update request: the work of the frame.
    double workMedian = 0;
    double workWorst = 0;
    bool bottomShown = false;
    int over50 = 0;
    bool missedFrame = false;
};

// Frames as they end. The time is taken where frameSwapped is emitted (the render thread, when
// the render loop has one); a frame counts for a step only when its polish and animation pass
// (afterAnimating, on this thread) came after the step, so a frame already under way does not.
// The window draws on its platform's update request, which comes a few ms after the scroll asks
// for a frame (5 ms by default, a vsync on a real screen); that wait is kept apart, so what the
// drawing itself costs shows too.
class FrameWatch : public QObject
{
public:
    struct Step
    {
        double ms = -1; // from the scroll to the end of its frame; -1 when no frame came
        double waitMs = 0; // of which waiting for the update request
    };

    explicit FrameWatch(QQuickWindow* window)
    {
        m_clock.start();
        window->installEventFilter(this);
        QObject::connect(window, &QQuickWindow::afterAnimating, window, [this] {
            m_animatedAfterStep = m_stepPending.load();
        }, Qt::DirectConnection);
        QObject::connect(window, &QQuickWindow::frameSwapped, window, [this] {
            ++m_frames;
            if (m_animatedAfterStep.exchange(false)) {
                m_stepEnd = m_clock.nsecsElapsed();
                m_stepPending = false;
            }
        }, Qt::DirectConnection);
    }

    // Runs `step` and waits up to a second for the frame that shows it.
    Step time(const std::function<void()>& step)
    {
        m_stepEnd = -1;
        m_updateRequest = -1;
        m_animatedAfterStep = false;
        const qint64 start = m_clock.nsecsElapsed();
        m_stepPending = true;
        step();
        m_stepReturned = m_clock.nsecsElapsed();
        QDeadlineTimer deadline(1000);
        while (m_stepEnd < 0 && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
        m_stepPending = false;
        Step result;
        if (m_stepEnd >= 0) {
            result.ms = double(m_stepEnd - start) / 1e6;
            if (m_updateRequest >= 0)
                result.waitMs = double(m_updateRequest - m_stepReturned) / 1e6;
        }
        return result;
    }
    int frames() const { return m_frames; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // The first request after the step is the one its frame waited for.
        if (event->type() == QEvent::UpdateRequest && m_stepPending && m_updateRequest < 0)
            m_updateRequest = m_clock.nsecsElapsed();
        return QObject::eventFilter(watched, event);
    }

private:
    QElapsedTimer m_clock;
    qint64 m_stepReturned = 0;
    qint64 m_updateRequest = -1;
    std::atomic_bool m_stepPending{false};
    std::atomic_bool m_animatedAfterStep{false};
    std::atomic<qint64> m_stepEnd{-1};
    std::atomic_int m_frames{0};
};

PaneResult scroll(FrameWatch& frames, QQuickItem* pane, QAbstractItemModel* model, const QByteArray& tag,
                  std::FILE* trace)
{
    PaneResult result;
    QQuickItem* view = scrollingView(pane);
    if (!view)
        return result;
    result.view = viewType(view);
    const auto top = [view] { return view->property("originY").toReal(); };
    // A list estimates its height from the rows it has made, so the bottom is asked anew each step.
    const auto bottom = [view, &top] {
        return top() + std::max<qreal>(0, view->property("contentHeight").toReal() - view->height());
    };
    view->setProperty("contentY", top());
    QTest::qWait(300);
    const int framesBefore = frames.frames();
    const qreal stride = view->height() / 3;
    std::vector<double> times;
    std::vector<double> work;
    while (view->property("contentY").toReal() < bottom() - 0.5 && times.size() < 100000) {
        const qreal next = std::min(view->property("contentY").toReal() + stride, bottom());
        const FrameWatch::Step step = frames.time([&] { view->setProperty("contentY", next); });
        if (step.ms < 0) {
            result.missedFrame = true;
            break;
        }
        times.push_back(step.ms);
        if (trace)
            std::fprintf(trace, "%s %zu %.0f %.2f %.2f\n", tag.constData(), times.size(), next, step.ms, step.ms - step.waitMs);
        work.push_back(step.ms - step.waitMs);
    }
    result.frames = frames.frames() - framesBefore;
    result.steps = int(times.size());
    if (!times.empty()) {
        std::sort(times.begin(), times.end());
        result.median = times[times.size() / 2];
        result.worst = times.back();
        result.over50 = int(std::count_if(times.begin(), times.end(), [](double ms) { return ms > 50; }));
        std::sort(work.begin(), work.end());
        result.workMedian = work[work.size() / 2];
        result.workWorst = work.back();
    }
    QTest::qWait(100);
    result.bottomShown = showsText(view, lastName(model));
    return result;
}

} // namespace

int main(int argc, char* argv[])
{
    // Settings go to a folder of our own, before anything reads them.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QGuiApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Zorvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Zorvane"));
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    const int count = args.size() > 2 ? args[2].toInt() : 10000;
    if ((mode != QLatin1String("list") && mode != QLatin1String("grid")) || count < 1) {
        std::fprintf(stderr, "usage: zorvane-window-scrollbench list|grid [COUNT]\n");
        return 2;
    }
    QSettings().setValue(QStringLiteral("macFileViewMode"), mode);
    QSettings().sync();

    QTemporaryDir data;
    const QString folder = QDir(data.path()).filePath(QStringLiteral("很多文件 many files"));
    if (!makeFiles(folder, count))
        return 1;
    PhoneProcess phone;
    if (!phone.start({}, folder)) {
        std::fprintf(stderr, "%s\n", qPrintable(phone.errorText()));
        return 1;
    }

    OpenWindow w;
    if (!w.open(QSize(1180, 720))) {
        std::fprintf(stderr, "the window did not open\n");
        return 1;
    }
    if (!runTask(w.viewModel.connectByAddress(phone.host(), phone.port(), std::nullopt))) {
        std::fprintf(stderr, "could not connect to the phone\n");
        return 1;
    }
    w.viewModel.openLocalDirectory(folder);
    EntryListModel* local = w.viewModel.localItems();
    EntryListModel* remote = w.viewModel.remoteItems();
    if (!waitFor([&] { return local->count() == count && remote->count() == count; }, 120000)) {
        std::fprintf(stderr, "the listings did not load: %d computer and %d phone entries of %d\n",
                     local->count(), remote->count(), count);
        return 1;
    }
    // Let the window settle into showing both listings.
    QTest::qWait(500);

    FrameWatch frames(w.window);
    std::FILE* trace = nullptr;
    if (const QString path = qEnvironmentVariable("ZORVANE_SCROLL_TRACE"); !path.isEmpty())
        trace = std::fopen(QFile::encodeName(path).constData(), "a");
    bool ok = true;
    std::printf("%-8s %-5s %-30s %6s %7s %10s %9s %8s %12s %11s  %s\n", "pane", "mode", "view", "steps",
                "frames", "median ms", "worst ms", "over 50", "work median", "work worst", "last row shown");
    const struct { const char* label; const char* pane; QAbstractItemModel* model; } panes[] = {
        {"computer", "macPane", local},
        {"phone", "iphonePane", remote},
    };
    for (const auto& p : panes) {
        QQuickItem* pane = named(w.root(), p.pane);
        const PaneResult r = pane ? scroll(frames, pane, p.model, p.label + (' ' + mode.toLatin1()), trace) : PaneResult{};
        if (r.view.isEmpty()) {
            std::printf("%-8s %-5s no scrolling view found\n", p.label, qPrintable(mode));
            ok = false;
            continue;
        }
        std::printf("%-8s %-5s %-30s %6d %7d %10.1f %9.1f %8d %12.1f %11.1f  %s%s\n", p.label, qPrintable(mode),
                    qPrintable(r.view), r.steps, r.frames, r.median, r.worst, r.over50, r.workMedian, r.workWorst,
                    r.bottomShown ? "yes" : "NO",
                    r.missedFrame ? "  (a step drew no frame within 1 s)" : "");
        ok &= r.steps > 0 && !r.missedFrame && r.bottomShown;
    }
    std::fflush(stdout);
    if (trace)
        std::fclose(trace);
    return ok ? 0 : 1;
}
