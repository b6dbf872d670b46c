#pragma once

#include <QByteArray>
#include <QString>

// A download on its way to its target: written to a hidden file beside the target (named by
// partFileName()), put over the target in one step by place(), and removed if it never gets
// there. A failed or cut-off download must not cost the user the file they had. Plain POSIX
// writes, so the cause of a failed write is known (Qt reports a short write as "Unknown error").
class PartFile
{
public:
    // Creates the folders up to the target and the hidden file; throws when it cannot.
    explicit PartFile(const QString& targetPath);
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    QString path() const { return m_path; }
    // Appends all of `bytes`; throws the cause at the first write that fails.
    void append(const QByteArray& bytes);
    // Closes the file and renames it over the target.
    void place();

    // Writes all of `bytes` to `fd`, throwing the cause, in words naming `fileName`, on failure.
    static void writeAll(int fd, const QByteArray& bytes, const QString& fileName);
    // The user's text for a failed write with the given errno.
    static QString writeFailureText(int error, const QString& fileName);

private:
    void close();

    QString m_target;
    QString m_path;
    int m_fd = -1;
    bool m_placed = false;
};
