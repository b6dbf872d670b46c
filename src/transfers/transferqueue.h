#pragma once

#include <QCoroTask>
#include <QObject>

#include <deque>
#include <functional>

// The serial transfer chain: operations run one after another in the order they were enqueued,
// each starting only when the previous one has returned, whatever its outcome.
class TransferQueue : public QObject
{
    Q_OBJECT

public:
    using Operation = std::function<QCoro::Task<void>()>;

    using QObject::QObject;

    // Appends `operation` and returns at once; it starts from the event loop.
    void enqueue(Operation operation);
    bool isIdle() const { return !m_running && m_pending.empty(); }
    // Operations enqueued but not yet started (the running one not counted).
    bool hasWaiting() const { return !m_pending.empty(); }

signals:
    // Everything enqueued so far has returned.
    void idle();

private:
    QCoro::Task<void> drain();

    std::deque<Operation> m_pending;
    bool m_running = false;
};
