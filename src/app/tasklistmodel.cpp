#include "tasklistmodel.h"

#include <algorithm>

int TaskListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_tasks.size());
}

QVariant TaskListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_tasks.size() || role != TaskRole)
        return {};
    return QVariant::fromValue(static_cast<QObject*>(m_tasks[index.row()]));
}

QHash<int, QByteArray> TaskListModel::roleNames() const
{
    return {{TaskRole, "task"}};
}

int TaskListModel::activeCount() const
{
    return int(std::count_if(m_tasks.cbegin(), m_tasks.cend(), [](const TransferTask* task) { return !task->isFinished(); }));
}

void TaskListModel::append(TransferTask* task)
{
    task->setParent(this);
    connect(task, &TransferTask::statusChanged, this, &TaskListModel::statusesChanged);
    beginInsertRows({}, int(m_tasks.size()), int(m_tasks.size()));
    m_tasks.append(task);
    endInsertRows();
    emit countChanged();
    emit statusesChanged();
}

void TaskListModel::removeIf(const std::function<bool(const TransferTask*)>& drop)
{
    bool removed = false;
    for (qsizetype row = m_tasks.size() - 1; row >= 0; --row) {
        if (!drop(m_tasks[row]))
            continue;
        beginRemoveRows({}, int(row), int(row));
        m_tasks.takeAt(row)->deleteLater();
        endRemoveRows();
        removed = true;
    }
    if (removed) {
        emit countChanged();
        emit statusesChanged();
    }
}
