#pragma once

#include "responsebody.h"

#include <QByteArray>
#include <QFuture>
#include <QList>
#include <QPair>
#include <QString>

#include <memory>
#include <optional>

class QJsonDocument;

namespace phone {

class RequestSink;

// One answer: status, headers and a body to stream.
struct HttpReply
{
    int status = 200;
    QByteArray contentType;
    std::shared_ptr<ResponseBody> body;             // none: empty body
    QList<QPair<QByteArray, QByteArray>> headers;   // beyond Content-Type/-Length, Connection
    bool closeDelimited = false;                    // no Content-Length; the close ends the body

    static HttpReply empty(int status);
    static HttpReply text(int status, const QString& text);
    static HttpReply json(const QJsonDocument& document);

    qint64 bodySize() const { return body ? body->size() : 0; }
    // Status line and headers, ending with the blank line.
    QByteArray headBytes() const;
    static QByteArray reasonPhrase(int status);
};

// What a route makes of a request: an answer now, an answer later (work on the thread pool),
// or a sink that must first take the request body.
struct Dispatch
{
    std::optional<HttpReply> reply;
    QFuture<HttpReply> later;
    std::shared_ptr<RequestSink> sink;

    static Dispatch now(HttpReply reply);
    static Dispatch deferred(QFuture<HttpReply> future);
    static Dispatch takeBody(std::shared_ptr<RequestSink> sink);
};

} // namespace phone
