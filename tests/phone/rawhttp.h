#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// A deliberately dumb HTTP client for tests: writes exactly the given bytes and records
// exactly what comes back, so malformed requests and misbehaving answers can be seen as is.
class RawHttp
{
public:
    struct Reply
    {
        QByteArray raw;           // every byte received
        bool closedByPeer = false; // the server closed (rather than our timeout ending it)
        int status = 0;           // 0 when no complete head arrived
        QList<QPair<QByteArray, QByteArray>> headers;   // names in lower case
        QByteArray body;          // bytes after the head
        qint64 elapsedMs = 0;

        QByteArray header(const QByteArray& lowerName) const;
        bool hasHeader(const QByteArray& lowerName) const;
    };

    // Sends `request` and reads until the server closes or `timeoutMs` pass.
    static Reply exchange(const QString& host, quint16 port, const QByteArray& request,
                          int timeoutMs = 10000);

    // A well-formed request as the client sends it, with Host, client identity and,
    // for POST, a Content-Length.
    static QByteArray request(const QByteArray& method, const QByteArray& target,
                              const QByteArray& clientId = "TEST-CLIENT",
                              const QByteArray& body = {});
};
