#include "entrylistmodel.h"

int EntryListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_entries.size())
        return {};
    const TransferEntry& entry = m_entries[index.row()];
    switch (role) {
    case IdRole:
        return entry.id;
    case Qt::DisplayRole:
    case NameRole:
        return entry.name;
    case IsDirectoryRole:
        return entry.isDirectory;
    case SizeRole:
        return entry.size;
    case FormattedSizeRole:
        return entry.formattedSize();
    case IconNameRole:
        return entry.iconName();
    default:
        return {};
    }
}

QHash<int, QByteArray> EntryListModel::roleNames() const
{
    return {{IdRole, "entryId"},           {NameRole, "name"},       {IsDirectoryRole, "isDirectory"},
            {SizeRole, "size"},            {FormattedSizeRole, "formattedSize"}, {IconNameRole, "iconName"}};
}

void EntryListModel::setEntries(QList<TransferEntry> entries)
{
    const bool countChanges = entries.size() != m_entries.size();
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
    if (countChanges)
        emit countChanged();
}
