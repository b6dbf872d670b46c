#pragma once

#include <QByteArrayView>
#include <QMap>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

// SHA-256 digests of local files and folder trees, written as 64 lower-case hex characters.
// Both ends of a transfer hash the same way, so the phone stand-in uses these too.
class FileDigest
{
public:
    FileDigest() = delete;

    // The digest of the file's bytes, or nothing when it is not a regular file or cannot be
    // opened. A read error also gives nothing: the digest of the bytes before it would pass for
    // the whole file's.
    //
    // `abandon`, when given and set, stops the work early (nothing comes back): the caller no
    // longer needs the digest.
    static std::optional<QString> sha256Hex(const QString& filePath, const std::atomic<bool>* abandon = nullptr);

    // Relative path ("a/b.txt", no leading or trailing "/") → digest of every regular file
    // below the folder. Hidden items (and everything inside a hidden folder) are left out, and so
    // are files that cannot be read and anything that is neither a file nor a folder (pipes,
    // sockets, devices: never opened). Empty when the folder cannot be listed.
    //
    // Symbolic links are left out, unless `admitLink` (asked with each link's own path) lets
    // one in: then a link to a file counts as that file. Linked folders are never entered.
    // `leaveOut` (asked with each name) leaves out further items, with everything inside them.
    using LinkFilter = std::function<bool(const QString& linkPath)>;
    using NameFilter = std::function<bool(QByteArrayView name)>;
    static QMap<QString, QString> sha256Manifest(const QString& dirPath, const std::atomic<bool>* abandon = nullptr,
                                                 const LinkFilter& admitLink = {}, const NameFilter& leaveOut = {});

    // The digest of bytes handed over piece by piece as they pass by (a download as it is
    // written), so they need not be read back afterwards. Stopped, it ignores what follows and
    // gives nothing: the caller no longer needs it.
    class Stream
    {
    public:
        Stream();
        ~Stream();
        Stream(const Stream&) = delete;
        Stream& operator=(const Stream&) = delete;

        void add(QByteArrayView bytes);
        void stop() { m_stopped = true; }
        // Starts over, stopped or not: the next bytes added begin a new digest.
        void restart();
        // The digest of everything added; nothing once stopped. Ends the stream.
        std::optional<QString> finish();

    private:
        struct Context;
        std::unique_ptr<Context> m_context;
        bool m_stopped = false;
    };
};
