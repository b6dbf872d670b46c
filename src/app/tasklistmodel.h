#pragma once

#include "transfers/transfertask.h"

#include <QAbstractListModel>
#include <QList>
#include <QPointer>

// The transfer queue as a list model; each row is the task object itself, which the row observes.
class TaskListModel : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)
    // Waiting or running; success or failed. Kept up to date as tasks move on.
    Q_PROPERTY(int activeCount READ activeCount NOTIFY statusesChanged)
    Q_PROPERTY(int finishedCount READ finishedCount NOTIFY statusesChanged)

public:
    enum Role { TaskRole = Qt::UserRole + 1 };

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int count() const { return int(m_tasks.size()); }
    int activeCount() const;
    int finishedCount() const { return count() - activeCount(); }
    const QList<TransferTask*>& tasks() const { return m_tasks; }
    void append(TransferTask* task);
    // Removes the tasks for which `drop` is true, keeping the order of the rest.
    void removeIf(const std::function<bool(const TransferTask*)>& drop);

signals:
    void countChanged();
    void statusesChanged();

private:
    QList<TransferTask*> m_tasks;
};
