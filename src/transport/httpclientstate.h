#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <limits>
#include <optional>

// What one request has received so far: the head while it is incomplete, then the body bytes not
// yet handed on, and the few response headers the client acts on. Pure bookkeeping, no socket.
class HTTPClientState
{
public:
    static constexpr qint64 notGiven = std::numeric_limits<qint64>::max();
    // A head larger than this is refused: a peer that never sends the blank line would otherwise
    // grow memory without bound while every read keeps the watchdog quiet.
    static constexpr qsizetype maxHeadSize = 64 * 1024;

    // badContentLength: the head announces a length that is negative or not a number, so the end
    // of the body cannot be known.
    enum class ParseResult { needMore, parsed, headTooLarge, badContentLength };

    HTTPClientState();

    // True the first time only: whoever gets true completes the request.
    bool finish();
    bool isFinished() const { return m_finished; }

    // Received bytes: into the head buffer until the head is parsed, then into the body.
    void append(const QByteArray& data);
    // The body bytes not yet handed on; never more than an announced Content-Length in all (what
    // a peer sends past it is dropped).
    QByteArray takePending();
    ParseResult tryParseHeader();

    void touch() { m_lastActivity.restart(); }
    qint64 idleMilliseconds() const { return m_lastActivity.elapsed(); }

    bool headerParsed() const { return m_headerParsed; }
    int status() const { return m_status; }
    qint64 contentLength() const { return m_contentLength; }
    // The refused Content-Length value, after badContentLength.
    QString badContentLength() const { return m_badContentLength; }
    qint64 archiveTotalBytes() const { return m_archiveTotalBytes; }
    std::optional<QString> serverVerified() const { return m_serverVerified; }
    qint64 bodyReceived() const { return m_bodyReceived; }
    qsizetype bufferedHeadBytes() const { return m_buffer.size(); }

    QByteArray collectedBody;

private:
    QByteArray m_buffer;
    QByteArray m_pending;
    bool m_headerParsed = false;
    bool m_headUnparseable = false;
    QString m_badContentLength;
    int m_status = 0;
    qint64 m_contentLength = notGiven;
    qint64 m_archiveTotalBytes = notGiven;
    std::optional<QString> m_serverVerified;
    qint64 m_bodyReceived = 0;
    bool m_finished = false;
    QElapsedTimer m_lastActivity;
};
