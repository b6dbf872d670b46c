#pragma once

#include "transfers/transferentry.h"

#include <QAbstractListModel>
#include <QList>

// A pane's listing as a list model, so the views stay lazy with thousands of entries.
class EntryListModel : public QAbstractListModel
{
    Q_OBJECT
    Q_PROPERTY(int count READ count NOTIFY countChanged)

public:
    enum Role { IdRole = Qt::UserRole + 1, NameRole, IsDirectoryRole, SizeRole, FormattedSizeRole, IconNameRole };

    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    int count() const { return int(m_entries.size()); }
    const QList<TransferEntry>& entries() const { return m_entries; }
    void setEntries(QList<TransferEntry> entries);

signals:
    void countChanged();

private:
    QList<TransferEntry> m_entries;
};
