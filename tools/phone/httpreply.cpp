#include "httpreply.h"

#include "requestsink.h"

#include <QJsonDocument>

namespace phone {

HttpReply HttpReply::empty(int status)
{
    HttpReply reply;
    reply.status = status;
    return reply;
}

HttpReply HttpReply::text(int status, const QString& text)
{
    HttpReply reply;
    reply.status = status;
    reply.contentType = "text/plain; charset=utf-8";
    reply.body = ResponseBody::fromBytes(text.toUtf8());
    return reply;
}

HttpReply HttpReply::json(const QJsonDocument& document)
{
    HttpReply reply;
    reply.contentType = "application/json";
    reply.body = ResponseBody::fromBytes(document.toJson(QJsonDocument::Compact));
    return reply;
}

QByteArray HttpReply::headBytes() const
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    if (!contentType.isEmpty())
        head += "Content-Type: " + contentType + "\r\n";
    if (!closeDelimited)
        head += "Content-Length: " + QByteArray::number(bodySize()) + "\r\n";
    for (const auto& [name, value] : headers)
        head += name + ": " + value + "\r\n";
    head += "Connection: close\r\n\r\n";
    return head;
}

QByteArray HttpReply::reasonPhrase(int status)
{
    switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 409: return "Conflict";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 417: return "Expectation Failed";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
    case 507: return "Insufficient Storage";
    default: return "Status";
    }
}

Dispatch Dispatch::now(HttpReply reply)
{
    Dispatch dispatch;
    dispatch.reply = std::move(reply);
    return dispatch;
}

Dispatch Dispatch::deferred(QFuture<HttpReply> future)
{
    Dispatch dispatch;
    dispatch.later = std::move(future);
    return dispatch;
}

Dispatch Dispatch::takeBody(std::shared_ptr<RequestSink> sink)
{
    Dispatch dispatch;
    dispatch.sink = std::move(sink);
    return dispatch;
}

} // namespace phone
