#pragma once

#include "transfers/transferentry.h"

#include <QAbstractListModel>
#include <QList>
#include <QVariantMap>

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

    // For the views, which know entries by id.
    // The selected entries' sizes added up in the file-size style, nothing below one byte.
    Q_INVOKABLE QString selectionSize(const QStringList& selection) const;
    // The ids of the entries from `fromId` to `toId` inclusive, in listing order (either end first).
    Q_INVOKABLE QStringList idsBetween(const QString& fromId, const QString& toId) const;
    Q_INVOKABLE QStringList allIds() const;
    Q_INVOKABLE int indexOf(const QString& id) const;
    Q_INVOKABLE QString idAt(int index) const;
    // {id, name, isDirectory}, or an empty map when no entry has that id.
    Q_INVOKABLE QVariantMap entryWithId(const QString& id) const;

signals:
    void countChanged();

private:
    QList<TransferEntry> m_entries;
};
