#include "transfertask.h"

#include "common/languagemanager.h"
#include "common/texttemplate.h"

TransferTask::TransferTask(const QString& name, Direction direction, qint64 size, QObject* parent)
    : QObject(parent), m_name(name), m_direction(direction), m_size(size)
{
}

QString TransferTask::directionText() const
{
    return m_direction == Direction::push ? localized("推送") : localized("拉取");
}

void TransferTask::setRunning()
{
    setStatus(Status::running);
}

void TransferTask::setSuccess()
{
    setStatus(Status::success);
}

void TransferTask::setFailed(const QString& message)
{
    setStatus(Status::failed, message);
}

void TransferTask::setStatus(Status status, const QString& message)
{
    if (m_status == status && m_failureMessage == message)
        return;
    m_status = status;
    m_failureMessage = message;
    emit statusChanged();
}

void TransferTask::setProgress(double progress)
{
    if (qFuzzyCompare(m_progress + 1.0, progress + 1.0))
        return;
    m_progress = progress;
    emit progressChanged();
}

void TransferTask::setSize(qint64 size)
{
    if (m_size == size)
        return;
    m_size = size;
    emit sizeChanged();
}

void TransferTask::setSkippedHidden(int count)
{
    if (m_skippedHidden == count)
        return;
    m_skippedHidden = count;
    emit skippedHiddenChanged();
}

QString TransferTask::note() const
{
    if (m_skippedHidden < 1)
        return {};
    return localizedFormat("已跳过 %@ 个隐藏项", {QString::number(m_skippedHidden)});
}

QString TransferTask::statusName() const
{
    switch (m_status) {
    case Status::waiting: return QStringLiteral("waiting");
    case Status::running: return QStringLiteral("running");
    case Status::success: return QStringLiteral("success");
    case Status::failed: return QStringLiteral("failed");
    }
    return {};
}
