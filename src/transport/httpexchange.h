#pragma once

#include "httpclientstate.h"
#include "networkendpoint.h"
#include "requestoptions.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <exception>
#include <functional>
#include <optional>

class QTcpSocket;

struct HttpResponse
{
    int status = 0;
    QByteArray body; // empty when the body went to a consumer
};

// Everything one request needs, fixed when it starts (a request in flight keeps the address it
// began with, whatever the transport does meanwhile).
struct HttpRequestPlan
{
    NetworkEndpoint endpoint;
    std::optional<QString> pinnedInterface;
    QByteArray head;
    RequestOptions options; // its query is already part of the head
    std::chrono::milliseconds idleLimit{30'000};
    std::chrono::milliseconds watchdogTick{5'000};
    bool overCable = false; // picks the cable text for a stalled request
};

// One HTTP/1.1 exchange on a TCP connection of its own: connect, write the head, stream the body
// one chunk at a time, read and parse the answer, and give up after a stretch without any sign of
// life. Runs on the thread that owns it; emits finished() once, later, from the event loop.
class HttpExchange : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 maxReadSize = 262144;

    explicit HttpExchange(HttpRequestPlan plan, QObject* parent = nullptr);
    ~HttpExchange() override;

    void start();
    // Ends the request at once with a CancelledError, unless it has ended already.
    void cancel();
    bool isDone() const { return m_done; }
    // The answer, or rethrows the failure. Only after finished().
    HttpResponse takeResult();

    // The request head, byte for byte.
    static QByteArray requestHead(const QString& method, const QString& target, const QString& clientId,
                                  const QString& computerName, std::optional<qint64> bodyLength);

signals:
    void finished();

private:
    enum class Phase { connecting, writingHead, uploading, reading };

    void onConnected();
    void onBytesWritten();
    void onReadyRead();
    void onSocketError();
    void onDisconnected();
    void onWatchdog();

    void afterHead();
    void continueUpload();
    void readAvailable();
    void handleRead(const QByteArray& data);
    void handleEnd(bool withError, const QString& errorText);
    // Hands on what arrived of the body; false when that ended the request.
    bool takeBody();
    // Progress and body callbacks; false when one threw, which has failed the request.
    bool report(double fraction);
    bool deliver(const QByteArray& chunk);
    bool guarded(const std::function<void()>& callback);
    // Ends a finished request with the answer it got.
    void complete();
    void completeWith(HttpResponse response);
    void failWith(std::exception_ptr error);
    // Ends the request with `error`, unless it has ended already.
    void abandon(std::exception_ptr error);
    void abandon(const QString& text);
    void stopConnection();

    HttpRequestPlan m_plan;
    HTTPClientState m_state;
    QTcpSocket* m_socket = nullptr;
    QTimer m_watchdog;
    Phase m_phase = Phase::connecting;
    qint64 m_sent = 0;
    bool m_ended = false;
    bool m_uploadCut = false;        // the peer closed before the whole body was sent
    bool m_reportCompletion = true;  // false once the body ended with a connection error
    bool m_done = false;
    std::optional<HttpResponse> m_response;
    std::exception_ptr m_error;
};
