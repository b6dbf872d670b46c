#include "entrylistmodel.h"

#include "common/bytecountformat.h"

#include <QSet>

#include <algorithm>

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

QString EntryListModel::selectionSize(const QStringList& selection) const
{
    const QSet<QString> wanted(selection.begin(), selection.end());
    qint64 total = 0;
    for (const TransferEntry& entry : m_entries) {
        if (wanted.contains(entry.id))
            total += std::max<qint64>(entry.size, 0);
    }
    return total < 1 ? QString() : formatByteCount(total);
}

int EntryListModel::indexOf(const QString& id) const
{
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].id == id)
            return int(i);
    }
    return -1;
}

QString EntryListModel::idAt(int index) const
{
    return index >= 0 && index < m_entries.size() ? m_entries[index].id : QString();
}

QStringList EntryListModel::idsBetween(const QString& fromId, const QString& toId) const
{
    int from = indexOf(fromId);
    int to = indexOf(toId);
    if (from < 0 || to < 0)
        return {};
    if (from > to)
        std::swap(from, to);
    QStringList ids;
    for (int i = from; i <= to; ++i)
        ids << m_entries[i].id;
    return ids;
}

QVariantMap EntryListModel::entryWithId(const QString& id) const
{
    const int at = indexOf(id);
    if (at < 0)
        return {};
    const TransferEntry& entry = m_entries[at];
    return {{QStringLiteral("id"), entry.id},
            {QStringLiteral("name"), entry.name},
            {QStringLiteral("isDirectory"), entry.isDirectory}};
}

QStringList EntryListModel::allIds() const
{
    QStringList ids;
    ids.reserve(m_entries.size());
    for (const TransferEntry& entry : m_entries)
        ids << entry.id;
    return ids;
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
