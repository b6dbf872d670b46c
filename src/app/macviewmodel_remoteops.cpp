// Changing the phone's file cabin from the right pane: new folder, rename, delete, clipboard,
// copy and move. Every failure ends in remoteActionError; nothing is thrown to the views.
#include "macviewmodel.h"

#include "common/zorvaneerror.h"
#include "common/languagemanager.h"
#include "transport/remotepath.h"

#include <QPointer>
#include <QSet>

#include <utility>

namespace {

// An entry's path on the phone: its id without the trailing "/" of a folder.
QString sourcePath(const TransferEntry& entry)
{
    return RemotePath::trimmed(entry.id);
}

// The reason a typed name cannot be used, or nothing when it can. "." and ".." would name the
// folder itself or its parent rather than a new entry.
std::optional<QString> nameProblem(const QString& name)
{
    if (name.contains(QLatin1Char('/')))
        return localized("名称不能包含「/」");
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return localized("名称不能是「.」或「..」");
    return std::nullopt;
}

QString failureLine(const QString& name, const QString& reason)
{
    return name + QStringLiteral("：") + reason;
}

} // namespace

void MacViewModel::updateCanPasteRemote()
{
    assign(m_canPasteRemote, m_remoteClipboard.has_value() && m_device.has_value(),
           &MacViewModel::canPasteRemoteChanged);
}

QList<TransferEntry> MacViewModel::selectedRemoteEntries() const
{
    // A set, not a list search per row: thousands of selected rows stay cheap.
    const QSet<QString> wanted(m_selectedRemote.begin(), m_selectedRemote.end());
    QList<TransferEntry> entries;
    for (const TransferEntry& entry : m_remoteItems.entries()) {
        if (wanted.contains(entry.id))
            entries << entry;
    }
    return entries;
}

QCoro::Task<void> MacViewModel::createRemoteFolder(QString name)
{
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty() || !m_device)
        co_return;
    if (const std::optional<QString> problem = nameProblem(trimmed)) {
        setRemoteActionError(*problem);
        co_return;
    }
    const QPointer<MacViewModel> alive(this);
    const QString path = RemotePath::join(m_remotePath, trimmed);
    std::optional<QString> failure;
    try {
        co_await m_wifiTransport.createRemoteDirectory(path);
    } catch (const std::exception& error) {
        failure = errorDescription(error);
    }
    if (!alive)
        co_return;
    if (failure) {
        setRemoteActionError(*failure);
        co_return;
    }
    co_await reloadRemote();
}

QCoro::Task<void> MacViewModel::renameRemoteEntry(TransferEntry entry, QString newName)
{
    const QString trimmed = newName.trimmed();
    if (trimmed.isEmpty() || trimmed == entry.name || !m_device)
        co_return;
    if (const std::optional<QString> problem = nameProblem(trimmed)) {
        setRemoteActionError(*problem);
        co_return;
    }
    const QPointer<MacViewModel> alive(this);
    // In the entry's own folder, whichever folder the pane shows by now: a rename never moves.
    const QString from = sourcePath(entry);
    const QString to = RemotePath::join(RemotePath::parentOf(from), trimmed);
    std::optional<QString> failure;
    try {
        co_await m_wifiTransport.renameRemote(from, to);
    } catch (const std::exception& error) {
        failure = errorDescription(error);
    }
    if (!alive)
        co_return;
    if (failure) {
        setRemoteActionError(*failure);
        co_return;
    }
    setSelectedRemote({});
    co_await reloadRemote();
}

QCoro::Task<void> MacViewModel::deleteRemoteSelection()
{
    const QList<TransferEntry> entries = selectedRemoteEntries();
    if (entries.isEmpty() || !m_device)
        co_return;
    const QPointer<MacViewModel> alive(this);
    QStringList failures;
    for (const TransferEntry& entry : entries) {
        const QString path = sourcePath(entry);
        try {
            co_await m_wifiTransport.deleteRemote(path, entry.isDirectory);
        } catch (const std::exception& error) {
            failures << failureLine(entry.name, errorDescription(error));
        }
        if (!alive)
            co_return;
    }
    co_await finishRemoteBatch(failures);
}

void MacViewModel::stageRemoteSelection(bool cut)
{
    const QList<TransferEntry> entries = selectedRemoteEntries();
    if (entries.isEmpty())
        return;
    m_remoteClipboard = RemoteClipboard{entries, cut};
    emit remoteClipboardChanged();
}

QCoro::Task<void> MacViewModel::pasteRemoteEntries(QString directory)
{
    if (!m_remoteClipboard)
        co_return;
    // A clipboard pastes once, whatever the outcome (without a phone nothing is sent); taking it
    // first also keeps a second click during a slow paste from sending everything again.
    const RemoteClipboard clipboard = *std::exchange(m_remoteClipboard, std::nullopt);
    emit remoteClipboardChanged();
    if (clipboard.isCut)
        co_await moveRemoteEntries(clipboard.entries, directory);
    else
        co_await copyRemoteEntries(clipboard.entries, directory);
}

QCoro::Task<void> MacViewModel::copyRemoteEntries(QList<TransferEntry> entries, QString directory)
{
    co_await placeRemoteEntries(std::move(entries), std::move(directory), false);
}

QCoro::Task<void> MacViewModel::moveRemoteEntries(QList<TransferEntry> entries, QString directory)
{
    co_await placeRemoteEntries(std::move(entries), std::move(directory), true);
}

QCoro::Task<void> MacViewModel::placeRemoteEntries(QList<TransferEntry> entries, QString directory, bool move)
{
    if (entries.isEmpty() || !m_device)
        co_return;
    const QPointer<MacViewModel> alive(this);
    QStringList failures;
    for (const TransferEntry& entry : entries) {
        const QString source = sourcePath(entry);
        const QString target = RemotePath::join(directory, entry.name);
        if (move && target == source)
            continue; // already there
        if (target.startsWith(source + QLatin1Char('/'))) {
            failures << failureLine(entry.name, localized("目标不能是自身或其子目录"));
            continue;
        }
        try {
            if (move)
                co_await m_wifiTransport.renameRemote(source, target);
            else
                co_await m_wifiTransport.copyRemote(source, target);
        } catch (const std::exception& error) {
            failures << failureLine(entry.name, errorDescription(error));
        }
        if (!alive)
            co_return;
    }
    co_await finishRemoteBatch(failures);
}

void MacViewModel::beginRemoteDrag(const TransferEntry& entry)
{
    if (m_selectedRemote.contains(entry.id))
        m_draggingRemoteEntries = selectedRemoteEntries();
    else
        m_draggingRemoteEntries = {entry};
}

QList<TransferEntry> MacViewModel::takeDraggingRemoteEntries()
{
    return std::exchange(m_draggingRemoteEntries, {});
}

// The view entry points start the work and return; the operations keep every failure to
// themselves, so nothing can escape the dropped task.
void MacViewModel::requestCreateRemoteFolder(const QString& name)
{
    createRemoteFolder(name);
}

void MacViewModel::requestRenameRemoteEntry(const QString& entryId, const QString& newName)
{
    if (const std::optional<TransferEntry> entry = remoteEntryWithId(entryId))
        renameRemoteEntry(*entry, newName);
}

void MacViewModel::requestDeleteRemoteSelection()
{
    deleteRemoteSelection();
}

void MacViewModel::requestPasteRemoteEntries(const QString& directory)
{
    pasteRemoteEntries(directory);
}

void MacViewModel::beginRemoteDrag(const QString& entryId)
{
    if (const std::optional<TransferEntry> entry = remoteEntryWithId(entryId))
        beginRemoteDrag(*entry);
}

bool MacViewModel::dropDraggedRemoteEntries(const QString& directory)
{
    const QList<TransferEntry> entries = takeDraggingRemoteEntries();
    if (entries.isEmpty())
        return false;
    moveRemoteEntries(entries, directory);
    return true;
}

bool MacViewModel::pullDraggedRemoteEntries()
{
    if (!m_device || m_draggingRemoteEntries.isEmpty())
        return false;
    pull(takeDraggingRemoteEntries());
    return true;
}

QCoro::Task<void> MacViewModel::finishRemoteBatch(QStringList failures)
{
    // After a batch the pane shows the folder afresh, then one line per entry that failed.
    const QPointer<MacViewModel> alive(this);
    setSelectedRemote({});
    co_await reloadRemote();
    if (alive && !failures.isEmpty())
        setRemoteActionError(failures.join(QLatin1Char('\n')));
}
