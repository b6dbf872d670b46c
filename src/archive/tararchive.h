#pragma once

#include "common/zorvaneerror.h"
#include "common/filedigest.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>

#include <exception>
#include <memory>
#include <string>

// The tar archive a folder travels in: the stream source that produces it without a temporary
// file, and the extractor that unpacks it (and the variants other writers produce). No instances.
//
// File-system failures are thrown as std::system_error, keeping the platform's own text.
class TarArchive
{
public:
    TarArchive() = delete;

    // Largest piece read or produced at once; also the largest chunk nextChunk() returns.
    static constexpr qint64 pieceSize = 262144;
    static constexpr int blockSize = 512;

    class TarError : public ZorvaneError
    {
    public:
        enum class Kind { unsafePath, truncated };

        static TarError unsafePath(const QString& name);
        static TarError truncated();

        Kind kind() const { return m_kind; }
        // The entry name as read from the archive (unsafePath only).
        const QString& path() const { return m_path; }
        // The user-facing text; the template is looked up before it is filled.
        QString description() const override;
        const char* what() const noexcept override;

    private:
        TarError(Kind kind, QString path);
        Kind m_kind;
        QString m_path;
        std::string m_what;
    };

    // A folder's archive, planned up front (so its exact length is known before the first byte)
    // and produced piece by piece. Planning touches only the file system, so it may run on any
    // thread; afterwards one consumer at a time drives it.
    class TarStreamSource
    {
    public:
        struct Entry
        {
            QByteArray path;  // native path to read the item from
            QString name;     // name inside the archive; empty for the folder itself
            bool isDir = false;
            bool hasContent = false;
            qint64 size = 0;
            qint64 mtime = 0;
            // A "__MACOSX" folder (or file), or inside one: planned only when asked for, never archived.
            bool macLeftover = false;
        };

        enum class Leftovers { leaveOut, keep };

        // The items of `folder` in archive order, the folder itself first: hidden items (names
        // starting with "."), links, pipes, sockets and devices are left out, linked folders not
        // entered. The "__MACOSX" folders the Finder leaves in zip files are left out too, or with
        // Leftovers::keep planned and marked. `hiddenLeftOut`, when given, receives how many hidden
        // names were passed over (a hidden folder counts once). Touches only the file system: any
        // thread may plan.
        static QList<Entry> plan(const QString& folder, Leftovers leftovers = Leftovers::leaveOut,
                                 qsizetype* hiddenLeftOut = nullptr);
        // Names left out of the archive with everything inside them, besides hidden ones.
        static bool isMacLeftover(QByteArrayView name) { return name == "__MACOSX"; }

        explicit TarStreamSource(const QString& folder);
        // The archive of entries planned earlier by plan(), leftovers left out.
        explicit TarStreamSource(const QList<Entry>& planned);
        ~TarStreamSource();
        TarStreamSource(const TarStreamSource&) = delete;
        TarStreamSource& operator=(const TarStreamSource&) = delete;

        qint64 totalSize() const { return m_totalSize; }
        const QList<Entry>& entries() const { return m_entries; }

        // The next piece of the archive, or an empty array once it is complete. Throws
        // TarError::truncated when a file ended before its planned size, std::system_error when
        // it cannot be opened or read; the source can then be rewound with reset().
        QByteArray nextChunk();
        // Appends pieces to `into` until it holds at least `size` bytes or the archive is
        // complete: headers and small files come a few hundred bytes at a time, too small to
        // send one by one. Throws as nextChunk() does; what was appended before stays.
        void appendChunks(QByteArray& into, qint64 size);
        // Rewinds to the start; the digests kept so far go too.
        void reset();
        // Hashes each file as it is read into the archive, so a check after the transfer need not
        // read the files again: digests() then maps the name of every file archived so far to the
        // SHA-256 of the bytes that went out. Call before the first chunk.
        void keepDigests() { m_keepDigests = true; }
        const QMap<QString, QString>& digests() const { return m_digests; }

    private:
        enum class Phase { header, mainHeader, longData, longPad, content, pad, end, done };

        void closeFile();
        int openContent(const QByteArray& path);
        void closeFolder();
        void advance();
        void beginDigest();
        void endDigest(const QString& name);

        QList<Entry> m_entries;
        qint64 m_totalSize = 0;
        qsizetype m_index = 0;
        Phase m_phase = Phase::header;
        QByteArray m_longData;
        qint64 m_longOffset = 0;
        qint64 m_padCount = 0;
        int m_fd = -1;
        int m_folderFd = -1;
        QByteArray m_folderPath;
        qint64 m_remaining = 0;
        bool m_keepDigests = false;
        std::unique_ptr<FileDigest::Stream> m_digest;
        QMap<QString, QString> m_digests;
    };

    // Unpacks an archive that arrives in pieces, as it arrives: feed it with write() and call
    // finish() at the end of the input. Entries never leave the target folder: names with ".."
    // are refused, leading "/" is dropped, no symbolic link already inside the target is followed
    // (such an entry is refused with unsafePath) and link entries are skipped, never created.
    // Each file is written under a hidden part name beside its own and renamed over any old file
    // only once all its bytes are in: the files extracted before a failure stay in place, the
    // one cut off leaves the old file as it was and no part file behind.
    class TarExtractor
    {
    public:
        // Creates the target folder with its missing parents.
        explicit TarExtractor(const QString& folder);
        ~TarExtractor();
        TarExtractor(const TarExtractor&) = delete;
        TarExtractor& operator=(const TarExtractor&) = delete;

        void write(QByteArrayView data);
        // Throws TarError::truncated unless the two closing zero blocks have been seen.
        void finish();
        // The two closing zero blocks have been read; anything after them is ignored.
        bool isComplete() const { return m_state == State::complete; }
        // Hashes each file as it is written, so a check after the unpacking need not read the
        // files back: digests() then maps the path of every file put in place ("a/b.txt", as the
        // archive names it) to the SHA-256 of its bytes. Call before the first write.
        void keepDigests() { m_keepDigests = true; }
        const QMap<QString, QString>& digests() const { return m_digests; }

    private:
        enum class State { header, fileData, longName, extended, skip, complete };

        void takeHeader(const char* block);
        void clearPending();
        void beginFile(const QString& rawName);
        void makeDirectory(const QString& rawName);
        void writeFileData(const char* data, qint64 count);
        void endFile();
        // Removes the file being written, if any; the old file at its name stays.
        void dropPartFile();
        void endMetadata();
        QStringList safeParts(const QString& rawName) const;
        int openDirectory(const QStringList& parts, qsizetype count, const QString& rawName);
        void closeCachedDirectory();

        int m_rootFd = -1;
        QString m_folder;
        State m_state = State::header;
        QByteArray m_block;           // a header block not yet complete
        QByteArray m_metadata;        // a long-name record or extended header being collected
        qint64 m_remaining = 0;       // data bytes of the current entry still to come
        qint64 m_pad = 0;             // zero bytes after them
        bool m_previousZero = false;
        bool m_hasPendingName = false;
        QString m_pendingName;
        qint64 m_pendingSize = -1;    // a size from an extended header, -1 when none
        int m_fileFd = -1;
        int m_fileParentFd = -1;      // the root's or the cached folder's handle, not owned
        QByteArray m_filePart;        // its part name, beside m_fileLeaf
        QByteArray m_fileLeaf;
        QString m_fileName;
        QString m_fileKey;            // its path below the folder, for digests()
        QString m_cachedDirKey;
        int m_cachedDirFd = -1;
        QSet<QString> m_madeFolders;  // folders this extractor created ("" for the target itself)
        bool m_keepDigests = false;
        std::unique_ptr<FileDigest::Stream> m_digest;
        QMap<QString, QString> m_digests;
    };

    // Unpacks the archive file at `archive` into `folder` (see TarExtractor).
    static void extractTar(const QString& archive, const QString& folder);
};
