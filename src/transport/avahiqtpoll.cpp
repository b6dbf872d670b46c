#include "avahiqtpoll.h"

#include <QSocketNotifier>
#include <QTimer>

#include <sys/time.h>

#include <chrono>
#include <memory>

// Avahi may free a watch or a timeout from inside its own callback. The object then only marks
// itself freed and is deleted once the callback has returned.
struct AvahiWatch
{
    AvahiWatch(int fd, AvahiWatchEvent wanted, AvahiWatchCallback callback, void* userdata)
        : fd(fd), callback(callback), userdata(userdata),
          reader(new QSocketNotifier(fd, QSocketNotifier::Read)),
          writer(new QSocketNotifier(fd, QSocketNotifier::Write))
    {
        QObject::connect(reader.get(), &QSocketNotifier::activated, [this] { dispatch(AVAHI_WATCH_IN); });
        QObject::connect(writer.get(), &QSocketNotifier::activated, [this] { dispatch(AVAHI_WATCH_OUT); });
        update(wanted);
    }

    void update(AvahiWatchEvent wanted)
    {
        events = wanted;
        // A hang-up or error shows as readable; watching for reading catches them too.
        reader->setEnabled(!freed && (wanted & (AVAHI_WATCH_IN | AVAHI_WATCH_ERR | AVAHI_WATCH_HUP)));
        writer->setEnabled(!freed && (wanted & AVAHI_WATCH_OUT));
    }

    void dispatch(AvahiWatchEvent happened)
    {
        if (freed)
            return;
        dispatching = true;
        lastEvents = happened;
        callback(this, fd, happened, userdata);
        lastEvents = AvahiWatchEvent(0);
        dispatching = false;
        if (freed)
            delete this;
    }

    void release()
    {
        freed = true;
        reader->setEnabled(false);
        writer->setEnabled(false);
        if (!dispatching)
            delete this;
    }

    int fd;
    AvahiWatchCallback callback;
    void* userdata;
    AvahiWatchEvent events = AvahiWatchEvent(0);
    AvahiWatchEvent lastEvents = AvahiWatchEvent(0);
    bool dispatching = false;
    bool freed = false;
    std::unique_ptr<QSocketNotifier> reader;
    std::unique_ptr<QSocketNotifier> writer;
};

struct AvahiTimeout
{
    AvahiTimeout(const timeval* when, AvahiTimeoutCallback callback, void* userdata)
        : callback(callback), userdata(userdata)
    {
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this] { dispatch(); });
        update(when);
    }

    // Avahi gives absolute wall-clock times.
    void update(const timeval* when)
    {
        timer.stop();
        if (!when || freed)
            return;
        timeval now{};
        gettimeofday(&now, nullptr);
        const qint64 ms = (qint64(when->tv_sec) - now.tv_sec) * 1000 + (qint64(when->tv_usec) - now.tv_usec) / 1000;
        timer.start(std::chrono::milliseconds(ms > 0 ? ms : 0));
    }

    void dispatch()
    {
        if (freed)
            return;
        dispatching = true;
        callback(this, userdata);
        dispatching = false;
        if (freed)
            delete this;
    }

    void release()
    {
        freed = true;
        timer.stop();
        if (!dispatching)
            delete this;
    }

    AvahiTimeoutCallback callback;
    void* userdata;
    bool dispatching = false;
    bool freed = false;
    QTimer timer;
};

namespace {

AvahiWatch* watchNew(const AvahiPoll*, int fd, AvahiWatchEvent event, AvahiWatchCallback callback, void* userdata)
{
    return new AvahiWatch(fd, event, callback, userdata);
}

void watchUpdate(AvahiWatch* watch, AvahiWatchEvent event)
{
    watch->update(event);
}

AvahiWatchEvent watchGetEvents(AvahiWatch* watch)
{
    return watch->lastEvents;
}

void watchFree(AvahiWatch* watch)
{
    watch->release();
}

AvahiTimeout* timeoutNew(const AvahiPoll*, const timeval* when, AvahiTimeoutCallback callback, void* userdata)
{
    return new AvahiTimeout(when, callback, userdata);
}

void timeoutUpdate(AvahiTimeout* timeout, const timeval* when)
{
    timeout->update(when);
}

void timeoutFree(AvahiTimeout* timeout)
{
    timeout->release();
}

} // namespace

const AvahiPoll* AvahiQtPoll::api()
{
    static const AvahiPoll poll{nullptr, watchNew, watchUpdate, watchGetEvents, watchFree,
                                timeoutNew, timeoutUpdate, timeoutFree};
    return &poll;
}
