#pragma once

#include "faultplan.h"
#include "httpreply.h"
#include "requestparser.h"

#include <QByteArray>
#include <QFutureWatcher>
#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

class QTcpSocket;

namespace phone {

class PhoneServer;
class RequestSink;

// One client connection carrying one request: reads the head and the body, lets the server
// route it, writes the answer (shaped by a fault when one applies) and closes. Files move at
// most one 256 KiB piece per event so that many connections progress together, and only as
// fast as the socket takes them, so memory stays flat for any size.
class PhoneConnection : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 pieceSize = 262144;
    static constexpr qint64 slowReadPiece = 16384;

    PhoneConnection(QTcpSocket* socket, PhoneServer* server);
    ~PhoneConnection() override;

private:
    enum class Phase { head, body, working, writing, lingering, silent, closed };

    void processInput();
    void scheduleInput();
    void readHead();
    void startRequest();
    void readBody();
    void await(QFuture<HttpReply> future);
    void answer(HttpReply reply);
    void pump();
    void trickleTick();
    void endOfAnswer();
    void closeGracefully();
    void discardInput();
    void onBytesWritten();
    void onDisconnected();
    void onIdle();
    void finish();
    void setIdleLimit(int ms);

    QTcpSocket* m_socket;
    PhoneServer* m_server;
    Phase m_phase = Phase::head;
    RequestParser m_parser;
    QByteArray m_method;
    QByteArray m_target;
    std::optional<Fault> m_fault;

    // Request body.
    QByteArray m_bodyHead;   // body bytes that came with the head
    QByteArray m_piece;      // one piece of the body, reused: no allocation per piece
    qint64 m_bodyRemaining = 0;
    std::shared_ptr<RequestSink> m_sink;
    bool m_inputScheduled = false;
    bool m_peerGone = false;

    // Answer.
    HttpReply m_reply;
    qint64 m_bodyLimit = 0;
    qint64 m_bodySent = 0;
    bool m_stallAfterBody = false;
    bool m_closeWhenFlushed = false;
    QByteArray m_trickleQueue;
    bool m_trickleHeadQueued = false;

    QTimer m_idleTimer;
    QTimer m_paceTimer;
    QFutureWatcher<HttpReply>* m_watcher = nullptr;
};

} // namespace phone
