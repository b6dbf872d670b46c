#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QString>

#include <chrono>
#include <functional>

class MacViewModel;
class TransferTask;

// Tells the desktop when a long run of transfers has ended while the window was in the
// background: one notification for the run, through the freedesktop notification service on the
// session bus. Without a bus or a service nothing is shown, and nothing waits for one.
class TransferNotifier : public QObject
{
    Q_OBJECT

public:
    using WindowActive = std::function<bool()>;
    static constexpr std::chrono::milliseconds defaultLongRun{4000};

    TransferNotifier(MacViewModel& viewModel, WindowActive windowActive, QObject* parent = nullptr);
    // Runs shorter than this end without a notification.
    void setLongRun(std::chrono::milliseconds duration) { m_longRun = duration; }

    struct Message
    {
        QString title;
        QString body;
    };
    // What a run that ended with `tasks` says; `phone` is the phone's name.
    static Message describe(const QList<const TransferTask*>& tasks, const QString& phone);

signals:
    // After each notification sent (for tests and diagnostics).
    void notified(const QString& title, const QString& body);

private:
    void follow();
    void runEnded();
    void send(const Message& message);

    MacViewModel& m_viewModel;
    WindowActive m_windowActive;
    std::chrono::milliseconds m_longRun = defaultLongRun;
    bool m_running = false;
    QElapsedTimer m_runClock;
    // Tasks already finished when the run began: not part of it.
    QSet<QString> m_finishedBefore;
};
