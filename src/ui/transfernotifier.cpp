#include "transfernotifier.h"

#include "app/macviewmodel.h"
#include "common/languagemanager.h"
#include "common/texttemplate.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QVariantMap>

TransferNotifier::TransferNotifier(MacViewModel& viewModel, WindowActive windowActive, QObject* parent)
    : QObject(parent), m_viewModel(viewModel), m_windowActive(std::move(windowActive))
{
    // A run begins when a task becomes active with none active before, and ends when the queue
    // has nothing left.
    connect(viewModel.tasks(), &TaskListModel::statusesChanged, this, &TransferNotifier::follow);
    connect(&viewModel.transferQueue(), &TransferQueue::idle, this, &TransferNotifier::runEnded);
}

void TransferNotifier::follow()
{
    if (m_running || m_viewModel.tasks()->activeCount() == 0)
        return;
    m_running = true;
    m_runClock.start();
    m_finishedBefore.clear();
    for (const TransferTask* task : m_viewModel.tasks()->tasks()) {
        if (task->isFinished())
            m_finishedBefore.insert(task->idText());
    }
}

void TransferNotifier::runEnded()
{
    if (!m_running || m_viewModel.tasks()->activeCount() > 0)
        return;
    m_running = false;
    if (m_runClock.elapsed() < m_longRun.count() || (m_windowActive && m_windowActive()))
        return;
    QList<const TransferTask*> run;
    for (const TransferTask* task : m_viewModel.tasks()->tasks()) {
        if (task->isFinished() && !m_finishedBefore.contains(task->idText()))
            run << task;
    }
    if (run.isEmpty())
        return;
    const QString phone = m_viewModel.device() ? m_viewModel.device()->name : localized("手机");
    send(describe(run, phone));
}

TransferNotifier::Message TransferNotifier::describe(const QList<const TransferTask*>& tasks, const QString& phone)
{
    qint64 pushed = 0;
    qint64 pulled = 0;
    QList<const TransferTask*> failed;
    for (const TransferTask* task : tasks) {
        if (task->status() == TransferTask::Status::failed)
            failed << task;
        else if (task->isPull())
            ++pulled;
        else
            ++pushed;
    }
    if (!failed.isEmpty()) {
        const TransferTask* first = failed.first();
        const QString title = failed.size() == 1 ? localized("传输失败")
                                                 : localizedFormat("%lld 项传输失败", {qint64(failed.size())});
        return {title, first->name() + QStringLiteral("：") + first->failureMessage()};
    }
    QStringList parts;
    if (pushed > 0)
        parts << localizedFormat("已推送 %lld 项到 %@", {pushed, phone});
    if (pulled > 0)
        parts << localizedFormat("已从 %@ 拉取 %lld 项", {phone, pulled});
    return {localized("传输完成"), parts.join(localized("，"))};
}

void TransferNotifier::send(const Message& message)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("io.zorvane.Zorvane")}};
    call << QStringLiteral("Zorvane") << 0u << QStringLiteral("io.zorvane.Zorvane") << message.title << message.body
         << QStringList() << hints << -1;
    // Sent without waiting: with no service the error answer is simply dropped.
    bus.asyncCall(call);
    emit notified(message.title, message.body);
}
