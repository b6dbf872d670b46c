#include "transferqueue.h"

#include <QPointer>
#include <QTimer>

void TransferQueue::enqueue(Operation operation)
{
    m_pending.push_back(std::move(operation));
    if (m_running)
        return;
    m_running = true;
    QTimer::singleShot(0, this, [this] { drain(); });
}

QCoro::Task<void> TransferQueue::drain()
{
    QPointer<TransferQueue> self(this);
    while (self && !m_pending.empty()) {
        Operation operation = std::move(m_pending.front());
        m_pending.pop_front();
        try {
            co_await operation();
        } catch (...) {
            // An operation reports its own failure; the chain goes on regardless.
        }
    }
    if (!self)
        co_return;
    m_running = false;
    emit idle();
}
