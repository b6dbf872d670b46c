#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

// Turns Ctrl+C (SIGINT) and SIGTERM into a signal of the event loop while it lives, so a
// transfer under way can be stopped cleanly. After the first one the usual handling is back: a
// second Ctrl+C ends the program at once. One at a time per process.
class InterruptWatch : public QObject
{
    Q_OBJECT

public:
    explicit InterruptWatch(QObject* parent = nullptr);
    ~InterruptWatch() override;

    bool wasInterrupted() const { return m_interrupted; }

signals:
    void interrupted();

private:
    void onReadable();
    void restoreHandlers();

    int m_fds[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
    struct sigaction m_previousInt {};
    struct sigaction m_previousTerm {};
    bool m_installed = false;
    bool m_interrupted = false;
};
