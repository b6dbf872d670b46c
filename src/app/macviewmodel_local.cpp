#include "macviewmodel.h"

#include "common/filebrowserorder.h"
#include "common/texttemplate.h"
#include "common/offthread.h"

#include <QCollator>
#include <QCoroFuture>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSettings>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

namespace {

const QString bookmarkKey = QStringLiteral("qvx.localDirectoryBookmark");

struct Listing
{
    QList<TransferEntry> entries;
    std::optional<QString> failure;
};

// The folder's direct children, hidden names left out. Unlike QDir, this reports a folder that
// cannot be read instead of showing it empty.
Listing listFolder(const QString& folder)
{
    namespace fs = std::filesystem;
    Listing listing;
    std::error_code error;
    fs::directory_iterator it(fs::path(QFile::encodeName(folder).toStdString()), error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const QString name = QFile::decodeName(it->path().filename().c_str());
        if (name.startsWith(QLatin1Char('.')))
            continue;
        const QFileInfo info(folder + QLatin1Char('/') + name);
        TransferEntry entry;
        entry.id = info.filePath();
        entry.name = name;
        entry.isDirectory = info.isDir();
        entry.size = entry.isDirectory ? 0 : info.size();
        entry.source = TransferEntry::Source::local;
        entry.url = entry.id;
        listing.entries << entry;
    }
    if (error)
        listing.failure = QString::fromStdString(error.message());
    return listing;
}

} // namespace

// The views hand over file:// URLs, the CLI and tests plain paths; both become one clean absolute
// path so that "the same folder" compares equal however it was spelled.
QString MacViewModel::normalizedPath(const QString& pathOrUrl)
{
    if (pathOrUrl.isEmpty())
        return pathOrUrl;
    const QString path = pathOrUrl.startsWith(QLatin1String("file:")) ? QUrl(pathOrUrl).toLocalFile() : pathOrUrl;
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QFileInfo MacViewModel::nearestExisting(const QString& path)
{
    QFileInfo info(path);
    while (!info.exists() && !info.isRoot() && info.absolutePath() != info.absoluteFilePath())
        info = QFileInfo(info.absolutePath());
    return info;
}

void MacViewModel::sortLocalEntries(QList<TransferEntry>& entries)
{
    // One collation key per name, made once: comparing names pair by pair through the collator
    // redoes that work in every comparison, which a folder of thousands of entries feels.
    const QCollator collator = fileBrowserCollator();
    struct Keyed
    {
        QCollatorSortKey key;
        qsizetype index;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(entries.size()));
    for (qsizetype i = 0; i < entries.size(); ++i)
        keyed.push_back({collator.sortKey(entries[i].name), i});
    std::stable_sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
        const bool aFolder = entries[a.index].isDirectory;
        const bool bFolder = entries[b.index].isDirectory;
        if (aFolder != bFolder)
            return aFolder;
        return a.key.compare(b.key) < 0;
    });
    QList<TransferEntry> sorted;
    sorted.reserve(entries.size());
    for (const Keyed& k : keyed)
        sorted << std::move(entries[k.index]);
    entries = std::move(sorted);
}

void MacViewModel::setLocalDirectory(const std::optional<QString>& path)
{
    assign(m_localDirectory, path, &MacViewModel::localDirectoryChanged);
}

void MacViewModel::openSecurityScopedDirectory(const QString& path)
{
    // Linux has no scoped access to start or stop; only the bookkeeping of which folder holds it.
    const QString folder = normalizedPath(path);
    m_activeScopedURL = folder;
    openLocalDirectory(folder);
}

void MacViewModel::openLocalDirectory(const QString& path)
{
    const QString folder = normalizedPath(path);
    assign(m_localErrorMessage, QString(), &MacViewModel::localErrorMessageChanged);
    if (!QFileInfo(folder).isDir()) {
        assign(m_localErrorMessage, localizedFormat("目录不存在：%@", {folder}),
               &MacViewModel::localErrorMessageChanged);
        return;
    }
    setLocalDirectory(folder);
    QSettings().setValue(bookmarkKey, folder);
    reloadLocalDirectory();
}

bool MacViewModel::restoreLocalDirectory()
{
    const QString remembered = QSettings().value(bookmarkKey).toString();
    if (remembered.isEmpty())
        return false;
    const QString folder = normalizedPath(remembered);
    m_activeScopedURL = folder;
    openLocalDirectory(folder);
    return m_localDirectory == folder && m_localErrorMessage.isEmpty();
}

void MacViewModel::clearLocalDirectory()
{
    m_activeScopedURL.reset();
    setLocalDirectory(std::nullopt);
    m_localItems.setEntries({});
    setSelectedLocal({});
    assign(m_localErrorMessage, QString(), &MacViewModel::localErrorMessageChanged);
}

void MacViewModel::reloadLocalDirectory()
{
    if (!m_localDirectory)
        return;
    ++m_localListingGeneration; // a background listing still under way is out of date now
    Listing listing = listFolder(*m_localDirectory);
    if (!listing.failure)
        sortLocalEntries(listing.entries);
    applyLocalListing(std::move(listing.entries), listing.failure);
}

QCoro::Task<void> MacViewModel::reloadLocalDirectoryInBackground()
{
    if (!m_localDirectory)
        co_return;
    // Listing and sorting a large folder takes long enough to be felt: on the thread pool. The
    // answer is dropped if the pane has been listed again or has moved meanwhile.
    const QPointer<MacViewModel> alive(this);
    const QString folder = *m_localDirectory;
    const quint64 generation = ++m_localListingGeneration;
    auto listing = startOffThread([folder] {
        Listing listed = listFolder(folder);
        if (!listed.failure)
            sortLocalEntries(listed.entries);
        return listed;
    });
    Listing listed = resultOf(co_await listing);
    if (!alive || generation != m_localListingGeneration || m_localDirectory != folder)
        co_return;
    applyLocalListing(std::move(listed.entries), listed.failure);
}

void MacViewModel::applyLocalListing(QList<TransferEntry> entries, const std::optional<QString>& failure)
{
    if (failure) {
        m_localItems.setEntries({});
        assign(m_localErrorMessage, localizedFormat("读取目录失败：%@", {*failure}),
               &MacViewModel::localErrorMessageChanged);
        return;
    }
    assign(m_localErrorMessage, QString(), &MacViewModel::localErrorMessageChanged);
    m_localItems.setEntries(std::move(entries));
}

void MacViewModel::enterLocalDirectory(const QString& path)
{
    if (!m_localDirectory)
        return;
    const QString folder = normalizedPath(path);
    if (folder == *m_localDirectory)
        return;
    m_localStack << *m_localDirectory;
    setLocalDirectory(folder);
    setSelectedLocal({});
    reloadLocalDirectory();
}

void MacViewModel::goLocalBack()
{
    if (m_localStack.isEmpty())
        return;
    setLocalDirectory(m_localStack.takeLast());
    setSelectedLocal({});
    reloadLocalDirectory();
}

void MacViewModel::navigateLocalTo(const QString& path)
{
    const QString folder = normalizedPath(path);
    const qsizetype index = m_localStack.indexOf(folder);
    if (index >= 0)
        m_localStack.resize(index);
    else
        m_localStack.clear();
    setLocalDirectory(folder);
    setSelectedLocal({});
    reloadLocalDirectory();
}

void MacViewModel::goLocalRoot()
{
    m_localStack.clear();
    setLocalDirectory(normalizedPath(QDir::homePath()));
    setSelectedLocal({});
    reloadLocalDirectory();
}
