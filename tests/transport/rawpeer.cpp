#include "rawpeer.h"

#include <QTimer>

#include <memory>

#include <sys/socket.h>

RawPeer::RawPeer()
{
    m_server.listen(QHostAddress::LocalHost, 0);
    connect(&m_server, &QTcpServer::newConnection, this, &RawPeer::onNewConnection);
}

RawPeer::Script RawPeer::answer(int status, const QByteArray& body)
{
    return {send("HTTP/1.1 " + QByteArray::number(status) + " X\r\nContent-Length: " + QByteArray::number(body.size())
                 + "\r\n\r\n" + body),
            close()};
}

RawPeer::Script RawPeer::infoAnswer()
{
    return answer(200, R"({"name":"测试机","systemVersion":"iOS 17.5","storageFree":5000000000})");
}

QByteArray RawPeer::head(int connection) const
{
    const QByteArray all = received(connection);
    const qsizetype end = all.indexOf("\r\n\r\n");
    return end < 0 ? all : all.left(end + 4);
}

void RawPeer::onNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        const int index = int(m_received.size());
        m_received.append(QByteArray());
        m_started.append(false);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, index] { onReadyRead(socket, index); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void RawPeer::onReadyRead(QTcpSocket* socket, int index)
{
    m_received[index] += socket->readAll();
    if (m_started[index])
        return;
    const QByteArray& all = m_received[index];
    const qsizetype end = all.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    // Wait for the whole body the head announces before answering.
    qint64 length = 0;
    for (const QByteArray& line : all.left(end).split('\n')) {
        if (line.toLower().startsWith("content-length:"))
            length = line.mid(15).trimmed().toLongLong();
    }
    if (!m_answerAfterHead && all.size() - (end + 4) < length)
        return;
    m_started[index] = true;
    const Script script = m_scripts.isEmpty() ? Script{hold()} : m_scripts.value(index, m_scripts.last());
    runStep(socket, script, 0);
}

void RawPeer::runStep(QPointer<QTcpSocket> socket, Script script, int step)
{
    if (!socket || step >= script.size())
        return;
    const Step& s = script[step];
    switch (s.kind) {
    case Step::Kind::send:
        socket->write(s.bytes);
        socket->flush();
        runStep(socket, script, step + 1);
        break;
    case Step::Kind::pause:
        QTimer::singleShot(s.milliseconds, this, [this, socket, script, step] { runStep(socket, script, step + 1); });
        break;
    case Step::Kind::close:
        socket->disconnectFromHost();
        break;
    case Step::Kind::hold:
        break;
    case Step::Kind::endSending:
        socket->flush();
        ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
        break;
    case Step::Kind::flood:
        floodStep(socket, script, step);
        break;
    }
}

void RawPeer::floodStep(QPointer<QTcpSocket> socket, Script script, int step)
{
    auto left = std::make_shared<int>(script[step].times);
    auto connection = std::make_shared<QMetaObject::Connection>();
    const auto next = [this, socket, script, step, left, connection] {
        if (!socket || socket->bytesToWrite() > 0)
            return;
        if (*left == 0) {
            QObject::disconnect(*connection);
            runStep(socket, script, step + 1);
            return;
        }
        --*left;
        socket->write(script[step].bytes);
    };
    *connection = connect(socket, &QTcpSocket::bytesWritten, this, next);
    next();
}
