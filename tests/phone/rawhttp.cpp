#include "rawhttp.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTcpSocket>

QByteArray RawHttp::Reply::header(const QByteArray& lowerName) const
{
    for (const auto& [name, value] : headers) {
        if (name == lowerName)
            return value;
    }
    return {};
}

bool RawHttp::Reply::hasHeader(const QByteArray& lowerName) const
{
    for (const auto& item : headers) {
        if (item.first == lowerName)
            return true;
    }
    return false;
}

RawHttp::Reply RawHttp::exchange(const QString& host, quint16 port, const QByteArray& request,
                                 int timeoutMs)
{
    Reply reply;
    QElapsedTimer clock;
    clock.start();
    QTcpSocket socket;
    socket.connectToHost(host, port);
    if (!socket.waitForConnected(timeoutMs))
        return reply;
    socket.write(request);
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (socket.state() != QAbstractSocket::ConnectedState && socket.bytesAvailable() == 0) {
            reply.closedByPeer = true;
            break;
        }
        if (socket.bytesAvailable() == 0)
            socket.waitForReadyRead(int(qMax<qint64>(1, qMin<qint64>(deadline.remainingTime(), 100))));
        reply.raw += socket.readAll();
    }
    reply.raw += socket.readAll();
    reply.elapsedMs = clock.elapsed();

    const qsizetype end = reply.raw.indexOf("\r\n\r\n");
    if (end < 0)
        return reply;
    const QList<QByteArray> lines = reply.raw.left(end).split('\n');
    const QList<QByteArray> statusLine = lines.first().trimmed().split(' ');
    if (statusLine.size() >= 2)
        reply.status = statusLine[1].toInt();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            reply.headers.append({lines[i].left(colon).trimmed().toLower(),
                                  lines[i].mid(colon + 1).trimmed()});
    }
    reply.body = reply.raw.mid(end + 4);
    return reply;
}

QByteArray RawHttp::request(const QByteArray& method, const QByteArray& target,
                            const QByteArray& clientId, const QByteArray& body)
{
    QByteArray head = method + ' ' + target + " HTTP/1.1\r\nHost: tarnivox\r\n";
    if (!clientId.isEmpty())
        head += "X-QVX-Client: " + clientId + "\r\n";
    head += "X-QVX-Name: test\r\n";
    if (method == "POST" || !body.isEmpty())
        head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    return head + "Connection: close\r\n\r\n" + body;
}
