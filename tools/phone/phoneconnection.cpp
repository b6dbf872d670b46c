#include "phoneconnection.h"

#include "phoneserver.h"
#include "requestsink.h"

#include <QTcpSocket>

#include <sys/socket.h>

#include <cstdio>
#include <cstring>

namespace phone {

namespace {

// How long each phase may go without any sign of life from the client.
constexpr int headLimitMs = 30000;      // the whole head, from the connection on
constexpr int bodyIdleMs = 60000;
constexpr int writeIdleMs = 60000;
constexpr int lingerIdleMs = 2000;      // after the answer, waiting for the client to close
constexpr int silentLimitMs = 600000;   // silent and stall faults do not hold a socket forever

} // namespace

PhoneConnection::PhoneConnection(QTcpSocket* socket, PhoneServer* server)
    : QObject(server), m_socket(socket), m_server(server)
{
    socket->setParent(this);
    // Bounded, so that Qt does not read ahead without limit while the disk (or a slow-read
    // fault) holds the body back: TCP then makes the sender wait.
    socket->setReadBufferSize(2 * pieceSize);
    connect(socket, &QTcpSocket::readyRead, this, &PhoneConnection::processInput);
    connect(socket, &QTcpSocket::bytesWritten, this, &PhoneConnection::onBytesWritten);
    connect(socket, &QTcpSocket::disconnected, this, &PhoneConnection::onDisconnected);

    m_idleTimer.setSingleShot(true);
    connect(&m_idleTimer, &QTimer::timeout, this, &PhoneConnection::onIdle);
    connect(&m_paceTimer, &QTimer::timeout, this, [this] {
        if (m_phase == Phase::body)
            readBody();
        else if (m_phase == Phase::writing)
            trickleTick();
    });

    // The head limit runs from the start: a client that dribbles a head never gets more.
    setIdleLimit(headLimitMs);
    if (socket->state() != QAbstractSocket::ConnectedState)
        QTimer::singleShot(0, this, &PhoneConnection::finish);
    else if (socket->bytesAvailable() > 0)
        scheduleInput();
}

PhoneConnection::~PhoneConnection() = default;

void PhoneConnection::setIdleLimit(int ms)
{
    m_idleTimer.start(ms);
}

void PhoneConnection::scheduleInput()
{
    if (m_inputScheduled)
        return;
    m_inputScheduled = true;
    QTimer::singleShot(0, this, &PhoneConnection::processInput);
}

void PhoneConnection::processInput()
{
    m_inputScheduled = false;
    switch (m_phase) {
    case Phase::head:
        readHead();
        break;
    case Phase::body:
        readBody();
        break;
    case Phase::closed:
        break;
    case Phase::lingering:
        if (m_socket->bytesAvailable() > 0 && !m_closeWhenFlushed)
            m_idleTimer.start();
        discardInput();
        break;
    case Phase::working:
    case Phase::writing:
    case Phase::silent:
        // Nothing more is wanted from the client; whatever it still sends is dropped so it
        // never blocks waiting for us to read.
        discardInput();
        break;
    }
}

void PhoneConnection::readHead()
{
    while (m_phase == Phase::head) {
        const QByteArray data = m_socket->read(16384);
        if (data.isEmpty())
            return;
        switch (m_parser.feed(data)) {
        case RequestParser::State::needMore:
            break;
        case RequestParser::State::failed:
            answer(HttpReply::text(m_parser.errorStatus(), m_parser.errorText()));
            return;
        case RequestParser::State::complete:
            m_bodyHead = m_parser.takeLeftover();
            startRequest();
            return;
        }
    }
}

void PhoneConnection::startRequest()
{
    const RequestHead& head = m_parser.head();
    m_method = head.method;
    m_target = head.target;
    m_bodyRemaining = head.contentLength;
    m_fault = m_server->takeFault(head.path);

    if (m_fault && m_fault->kind == Fault::Kind::silent) {
        m_phase = Phase::silent;
        setIdleLimit(silentLimitMs);
        discardInput();
        return;
    }
    if (m_fault && m_fault->kind == Fault::Kind::status) {
        answer(HttpReply::empty(int(m_fault->arg)));
        return;
    }

    Dispatch dispatch = m_server->route(head, m_fault);
    if (dispatch.sink) {
        m_sink = std::move(dispatch.sink);
        m_phase = Phase::body;
        setIdleLimit(bodyIdleMs);
        if (head.expectsContinue && m_bodyHead.isEmpty() && m_bodyRemaining > 0)
            m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
        readBody();
    } else if (dispatch.reply) {
        answer(std::move(*dispatch.reply));
    } else {
        await(std::move(dispatch.later));
    }
}

void PhoneConnection::readBody()
{
    if (m_phase != Phase::body || (m_paceTimer.isActive() && !m_peerGone))
        return;
    const bool slow = m_fault && m_fault->kind == Fault::Kind::slowRead && !m_peerGone;
    const qint64 wanted = qMin(slow ? slowReadPiece : pieceSize, m_bodyRemaining);
    QByteArrayView data;
    if (wanted > 0) {
        if (m_piece.size() < wanted)
            m_piece.resize(wanted);
        qint64 got = 0;
        if (!m_bodyHead.isEmpty()) {
            got = qMin<qint64>(wanted, m_bodyHead.size());
            std::memcpy(m_piece.data(), m_bodyHead.constData(), size_t(got));
            m_bodyHead.remove(0, got);
        } else {
            got = qMax<qint64>(0, m_socket->read(m_piece.data(), wanted));
        }
        data = QByteArrayView(m_piece.constData(), got);
    }
    if (!data.isEmpty()) {
        m_idleTimer.start();
        m_bodyRemaining -= data.size();
        if (std::optional<HttpReply> failure = m_sink->write(data)) {
            m_sink.reset();
            answer(std::move(*failure));
            return;
        }
    }
    if (m_bodyRemaining <= 0) {
        await(m_sink->finish());
        return;
    }
    if (data.isEmpty() || m_peerGone)
        return;
    if (slow) {
        m_paceTimer.setSingleShot(true);
        m_paceTimer.start(int(m_fault->arg));
    } else if (!m_bodyHead.isEmpty() || m_socket->bytesAvailable() > 0) {
        // One piece per event; the rest comes after other connections had their turn.
        scheduleInput();
    }
}

void PhoneConnection::await(QFuture<HttpReply> future)
{
    m_phase = Phase::working;
    m_idleTimer.stop();
    m_watcher = new QFutureWatcher<HttpReply>(this);
    connect(m_watcher, &QFutureWatcherBase::finished, this, [this] {
        if (m_peerGone) {
            finish();
            return;
        }
        HttpReply reply;
        try {
            reply = m_watcher->result();
        } catch (...) {
            reply = HttpReply::text(500, QStringLiteral("内部错误"));
        }
        answer(std::move(reply));
    });
    m_watcher->setFuture(std::move(future));
}

void PhoneConnection::answer(HttpReply reply)
{
    if (m_phase == Phase::closed)
        return;
    m_phase = Phase::writing;
    m_paceTimer.stop();
    setIdleLimit(writeIdleMs);
    m_reply = std::move(reply);
    if (m_server->verbose()) {
        std::fprintf(stderr, "%s %s from %s -> %d%s\n", m_method.constData(), m_target.constData(),
                     m_socket->peerAddress().toString().toLocal8Bit().constData(), m_reply.status,
                     m_fault ? " (fault)" : "");
        std::fflush(stderr);
    }

    m_bodyLimit = m_reply.body ? m_reply.bodySize() : 0;
    m_bodySent = 0;
    const std::optional<Fault::Kind> fault =
        m_fault ? std::optional(m_fault->kind) : std::nullopt;
    if (fault == Fault::Kind::close) {
        closeGracefully();
        return;
    }
    if (fault == Fault::Kind::headClose)
        m_bodyLimit = 0;
    if (fault == Fault::Kind::shortBody || fault == Fault::Kind::closeMid
        || fault == Fault::Kind::stallMid)
        m_bodyLimit = qMin(m_bodyLimit, m_fault->arg);
    m_stallAfterBody = fault == Fault::Kind::stallMid;
    if (fault == Fault::Kind::trickle) {
        m_paceTimer.setSingleShot(false);
        m_paceTimer.start(int(m_fault->arg));
        return;
    }
    m_socket->write(m_reply.headBytes());
    pump();
}

void PhoneConnection::pump()
{
    if (m_phase != Phase::writing || m_paceTimer.isActive())
        return;
    // Pieces are queued until a whole piece's worth waits to be sent: an archive of small files
    // comes in headers and files of a few hundred bytes, and one send per piece would cost a
    // system call and a turn of the event loop each.
    while (m_socket->bytesToWrite() < pieceSize) {
        if (m_bodySent >= m_bodyLimit) {
            endOfAnswer();
            return;
        }
        const QByteArray piece = m_reply.body->read(qMin(pieceSize, m_bodyLimit - m_bodySent));
        if (piece.isEmpty()) {
            // The source broke off (a file shrank): close, so the client sees the answer cut short.
            closeGracefully();
            return;
        }
        m_bodySent += piece.size();
        m_socket->write(piece);
    }
    // bytesWritten brings us back
}

void PhoneConnection::trickleTick()
{
    if (m_trickleQueue.isEmpty()) {
        if (!m_trickleHeadQueued) {
            m_trickleQueue = m_reply.headBytes();
            m_trickleHeadQueued = true;
        } else if (m_bodySent < m_bodyLimit) {
            m_trickleQueue = m_reply.body->read(qMin<qint64>(4096, m_bodyLimit - m_bodySent));
            if (m_trickleQueue.isEmpty()) {
                closeGracefully();
                return;
            }
            m_bodySent += m_trickleQueue.size();
        } else {
            m_paceTimer.stop();
            endOfAnswer();
            return;
        }
    }
    m_socket->write(m_trickleQueue.left(1));
    m_trickleQueue.remove(0, 1);
}

void PhoneConnection::endOfAnswer()
{
    if (m_stallAfterBody) {
        m_phase = Phase::silent;
        setIdleLimit(silentLimitMs);
        discardInput();
        return;
    }
    closeGracefully();
}

void PhoneConnection::closeGracefully()
{
    if (m_phase == Phase::closed)
        return;
    m_phase = Phase::lingering;
    m_paceTimer.stop();
    if (m_socket->bytesToWrite() > 0) {
        m_closeWhenFlushed = true;
        setIdleLimit(writeIdleMs);
        return;
    }
    m_closeWhenFlushed = false;
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        finish();
        return;
    }
    // Send our end-of-stream but keep reading until the client closes: closing with unread
    // request bytes would make the kernel reset the connection, and the client could lose
    // the answer it has not read yet.
    ::shutdown(int(m_socket->socketDescriptor()), SHUT_WR);
    setIdleLimit(lingerIdleMs);
    discardInput();
}

void PhoneConnection::discardInput()
{
    m_bodyHead.clear();
    while (m_socket->bytesAvailable() > 0)
        m_socket->read(pieceSize);
}

void PhoneConnection::onBytesWritten()
{
    if (m_phase == Phase::writing) {
        m_idleTimer.start();
        pump();
    } else if (m_closeWhenFlushed && m_socket->bytesToWrite() == 0) {
        closeGracefully();
    }
}

void PhoneConnection::onDisconnected()
{
    if (m_phase == Phase::closed)
        return;
    m_peerGone = true;
    if (m_phase == Phase::body) {
        m_paceTimer.stop();
        // Bytes that arrived before the close still count; the body may be complete.
        qint64 before = -1;
        while (m_phase == Phase::body && before != m_bodyRemaining) {
            before = m_bodyRemaining;
            readBody();
        }
        if (m_phase == Phase::body) {
            m_sink->abandon();
            m_sink.reset();
            finish();
        }
        return;
    }
    if (m_phase == Phase::working)
        return;   // the job finishes, its answer goes nowhere
    finish();
}

void PhoneConnection::onIdle()
{
    if (m_phase == Phase::working)
        return;
    finish();
}

void PhoneConnection::finish()
{
    if (m_phase == Phase::closed)
        return;
    if (m_phase == Phase::body && m_sink)
        m_sink->abandon();
    m_sink.reset();
    m_phase = Phase::closed;
    m_idleTimer.stop();
    m_paceTimer.stop();
    m_socket->abort();
    deleteLater();
}

} // namespace phone
