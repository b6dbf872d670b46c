#include "httpexchange.h"
#include "diagnostics.h"

#include "transporterror.h"
#include "common/zorvaneerror.h"

#include "common/languagemanager.h"
#include "common/texttemplate.h"

#include <QNetworkInterface>
#include <QTcpSocket>

#include <sys/socket.h>

#include <cstdio>
#include <optional>

namespace {

// Requires the connection to leave through the named interface: bind to its IPv4 address, and
// to the device itself where the system permits it (that needs privileges we usually lack, so
// the address is what holds). False when the interface is gone or cannot be bound: the request
// must then fail rather than quietly leave through another link.
bool bindToInterface(QTcpSocket& socket, const QString& interfaceName)
{
    const QNetworkInterface iface = QNetworkInterface::interfaceFromName(interfaceName);
    for (const QNetworkAddressEntry& entry : iface.addressEntries()) {
        if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        if (!socket.bind(entry.ip(), 0))
            return false;
        const QByteArray name = interfaceName.toUtf8();
        ::setsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_BINDTODEVICE, name.constData(),
                     socklen_t(name.size()));
        return true;
    }
    return false;
}

// The common socket failures in the user's words; others keep the platform's text.
std::optional<QString> socketErrorReason(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return localized("连接被拒绝");
    case QAbstractSocket::HostNotFoundError:
        return localized("找不到这个主机");
    case QAbstractSocket::SocketTimeoutError:
        return localized("连接超时");
    case QAbstractSocket::NetworkError:
        return localized("网络不可达");
    case QAbstractSocket::SocketAccessError:
        return localized("没有权限建立连接");
    default:
        return std::nullopt;
    }
}

} // namespace

HttpExchange::HttpExchange(HttpRequestPlan plan, QObject* parent)
    : QObject(parent), m_plan(std::move(plan))
{
    m_watchdog.setTimerType(Qt::PreciseTimer);
    m_watchdog.setInterval(m_plan.watchdogTick);
    connect(&m_watchdog, &QTimer::timeout, this, &HttpExchange::onWatchdog);
}

HttpExchange::~HttpExchange()
{
    if (m_socket)
        m_socket->abort();
}

QByteArray HttpExchange::requestHead(const QString& method, const QString& target, const QString& clientId,
                                     const QString& computerName, std::optional<qint64> bodyLength)
{
    QString head = method + QLatin1Char(' ') + target + QStringLiteral(" HTTP/1.1\r\n");
    head += QStringLiteral("Host: tarnivox\r\n");
    head += QStringLiteral("X-QVX-Client: ") + clientId + QStringLiteral("\r\n");
    head += QStringLiteral("X-QVX-Name: ") + computerName + QStringLiteral("\r\n");
    if (bodyLength)
        head += QStringLiteral("Content-Length: ") + QString::number(*bodyLength) + QStringLiteral("\r\n");
    head += QStringLiteral("Connection: close\r\n\r\n");
    return head.toUtf8();
}

void HttpExchange::start()
{
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &HttpExchange::onConnected);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &HttpExchange::onBytesWritten);
    connect(m_socket, &QTcpSocket::readyRead, this, &HttpExchange::onReadyRead);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &HttpExchange::onSocketError);
    connect(m_socket, &QTcpSocket::disconnected, this, &HttpExchange::onDisconnected);

    m_state.touch();
    m_watchdog.start();

    if (m_plan.pinnedInterface && !bindToInterface(*m_socket, *m_plan.pinnedInterface)) {
        abandon(localizedFormat("无法通过网络接口 %@ 连接手机", {*m_plan.pinnedInterface}));
        return;
    }
    m_socket->connectToHost(m_plan.endpoint.host, m_plan.endpoint.port);
}

void HttpExchange::cancel()
{
    abandon(std::make_exception_ptr(CancelledError()));
}

HttpResponse HttpExchange::takeResult()
{
    if (m_error)
        std::rethrow_exception(m_error);
    return std::move(m_response).value_or(HttpResponse{});
}

void HttpExchange::onConnected()
{
    m_state.touch();
    m_phase = Phase::writingHead;
    m_socket->write(m_plan.head);
}

void HttpExchange::onBytesWritten()
{
    m_state.touch();
    if (m_state.isFinished() || m_socket->bytesToWrite() > 0)
        return;
    if (m_phase == Phase::writingHead)
        afterHead();
    else if (m_phase == Phase::uploading)
        continueUpload();
}

void HttpExchange::afterHead()
{
    if (!m_plan.options.bodyProvider || !m_plan.options.bodyLength) {
        m_phase = Phase::reading;
        readAvailable();
        return;
    }
    m_phase = Phase::uploading;
    m_sent = 0;
    continueUpload();
}

void HttpExchange::continueUpload()
{
    const qint64 total = *m_plan.options.bodyLength;
    if (m_sent >= total) {
        m_phase = Phase::reading;
        readAvailable();
        return;
    }
    std::optional<QByteArray> chunk;
    try {
        chunk = m_plan.options.bodyProvider(m_sent);
    } catch (...) {
        abandon(std::current_exception());
        return;
    }
    if (!chunk || chunk->isEmpty()) {
        abandon(localized("生成上传数据失败"));
        return;
    }
    if (m_sent == 0)
        Diagnostics::writeDiagnostic(QStringLiteral("streamUpload first chunk size=") + QString::number(chunk->size())
                                     + QStringLiteral(" total=") + QString::number(total));
    m_sent = std::min(total, m_sent + qint64(chunk->size()));
    if (!report(double(m_sent) / double(std::max<qint64>(total, 1))))
        return;
    m_socket->write(*chunk);
}

void HttpExchange::onReadyRead()
{
    if (m_phase == Phase::reading)
        readAvailable();
}

void HttpExchange::readAvailable()
{
    while (!m_state.isFinished() && m_socket && m_socket->bytesAvailable() > 0)
        handleRead(m_socket->read(std::min<qint64>(m_socket->bytesAvailable(), maxReadSize)));
    if (!m_state.isFinished() && m_ended)
        handleEnd(false, {});
}

void HttpExchange::handleRead(const QByteArray& data)
{
    if (!data.isEmpty())
        m_state.append(data);
    if (!m_state.headerParsed()) {
        switch (m_state.tryParseHeader()) {
        case HTTPClientState::ParseResult::headTooLarge:
            abandon(localizedFormat("手机的应答头过长（超过 %ld 字节），已中止", {qint64(HTTPClientState::maxHeadSize)}));
            return;
        case HTTPClientState::ParseResult::badContentLength:
            abandon(localizedFormat("手机的应答无效：长度“%@”不是有效的字节数", {m_state.badContentLength()}));
            return;
        case HTTPClientState::ParseResult::needMore:
            return;
        case HTTPClientState::ParseResult::parsed:
            break;
        }
        if (m_plan.options.onHead) {
            const qint64 announced = m_state.archiveTotalBytes();
            const std::optional<qint64> total =
                announced == HTTPClientState::notGiven ? std::nullopt : std::optional<qint64>(announced);
            if (!guarded([&] { m_plan.options.onHead(m_state.status(), total); }))
                return;
        }
    }
    if (!takeBody())
        return;
    if (m_plan.options.onBody && m_plan.options.progress) {
        qint64 total = m_plan.options.expectedTotal;
        if (m_state.contentLength() != HTTPClientState::notGiven)
            total = m_state.contentLength();
        else if (m_state.archiveTotalBytes() != HTTPClientState::notGiven)
            total = m_state.archiveTotalBytes();
        if (total >= 1 && !report(std::min(double(m_state.bodyReceived()) / double(total), 0.99)))
            return;
    }
    if (m_state.bodyReceived() >= m_state.contentLength() && m_state.finish()) {
        stopConnection();
        complete();
    }
}

bool HttpExchange::takeBody()
{
    const QByteArray chunk = m_state.takePending();
    if (m_plan.options.onBody)
        return chunk.isEmpty() || deliver(chunk);
    // Kept in memory: a peer that keeps sending must not grow it without bound (each read keeps
    // the watchdog quiet). An announced length past the limit is refused before it arrives.
    const qint64 limit = m_plan.options.maxCollectedBody;
    const qint64 announced = m_state.contentLength() == HTTPClientState::notGiven ? 0 : m_state.contentLength();
    if (std::max(announced, m_state.bodyReceived()) > limit) {
        abandon(localizedFormat("手机的应答过大（超过 %lld 字节），已中止", {limit}));
        return false;
    }
    m_state.collectedBody += chunk;
    return true;
}

void HttpExchange::onSocketError()
{
    const auto error = m_socket->error();
    if (error == QAbstractSocket::RemoteHostClosedError) {
        onDisconnected();
        return;
    }
    const QString text = m_socket->errorString();
    if (m_state.isFinished())
        return;
    if (m_phase == Phase::reading) {
        m_ended = true;
        while (m_socket->bytesAvailable() > 0 && !m_state.isFinished())
            handleRead(m_socket->read(std::min<qint64>(m_socket->bytesAvailable(), maxReadSize)));
        handleEnd(true, text);
        return;
    }
    // Connecting, writing the head or uploading: what was tried and why it failed, in words a
    // user can act on ("无法连接 127.0.0.1:1：连接被拒绝").
    const QString address = m_plan.endpoint.debugDescription();
    const QString reason = socketErrorReason(error).value_or(text);
    abandon(std::make_exception_ptr(PlatformError(
        m_phase == Phase::connecting ? localizedFormat("无法连接 %@：%@", {address, reason})
                                     : localizedFormat("与 %@ 的连接中断：%@", {address, reason}))));
}

void HttpExchange::onDisconnected()
{
    if (m_ended || m_state.isFinished())
        return;
    m_ended = true;
    if (m_phase == Phase::reading) {
        readAvailable();
        return;
    }
    // The peer went away before it could have answered our request.
    if (m_phase == Phase::writingHead || m_phase == Phase::uploading) {
        // Whatever it did send before closing is still the answer, if any: a phone that refuses
        // an upload early (no space, no such folder) says why. But the upload did not finish, so
        // that answer cannot report it as stored.
        m_uploadCut = m_plan.options.bodyProvider && m_plan.options.bodyLength && *m_plan.options.bodyLength > 0;
        m_phase = Phase::reading;
        readAvailable();
        return;
    }
    handleEnd(false, {});
}

void HttpExchange::handleEnd(bool withError, const QString& errorText)
{
    if (!m_state.finish())
        return;
    Diagnostics::writeDiagnostic(QStringLiteral("响应结束 isComplete=")
                                 + (withError ? QStringLiteral("false") : QStringLiteral("true"))
                                 + QStringLiteral(" error=") + (withError ? errorText : QStringLiteral("nil"))
                                 + QStringLiteral(" 已收=") + QString::number(m_state.bodyReceived())
                                 + QStringLiteral(" 字节"));
    stopConnection();
    if (!m_state.headerParsed()) {
        failWith(std::make_exception_ptr(TransportError::operationFailed(localized("连接手机失败（无响应）"))));
        return;
    }
    if (m_state.contentLength() == HTTPClientState::notGiven) {
        // The close marks the end of the body; after an error there is no "done" to report.
        if (withError)
            m_reportCompletion = false;
        complete();
        return;
    }
    // The answer announced more than arrived: handing the short body on as complete would pass a
    // truncated file off as whole.
    failWith(std::make_exception_ptr(TransportError::operationFailed(
        localizedFormat("手机的应答不完整：连接在收到 %lld / %lld 字节后中断",
                        {m_state.bodyReceived(), m_state.contentLength()}))));
}

void HttpExchange::onWatchdog()
{
    if (m_state.isFinished())
        return;
    const qint64 idle = m_state.idleMilliseconds();
    if (idle <= m_plan.idleLimit.count())
        return;
    const qint64 seconds = idle / 1000;
    const char* templ = m_plan.overCable
        ? "数据线通道无响应（%ld 秒）。手机端 App 可能被系统挂起：请把 Zorvane 切回前台，或在 Mac 上断开后重新连接"
        : "WiFi 传输超时（%ld 秒无响应）。通常是手机锁屏、切走了 Zorvane 或断开 WiFi——手机端保持 Zorvane 在前台后重试";
    abandon(localizedFormat(templ, {seconds}));
}

void HttpExchange::stopConnection()
{
    m_watchdog.stop();
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

bool HttpExchange::report(double fraction)
{
    if (!m_plan.options.progress)
        return true;
    m_state.touch();
    return guarded([&] { m_plan.options.progress(fraction); });
}

bool HttpExchange::deliver(const QByteArray& chunk)
{
    m_state.touch();
    return guarded([&] { m_plan.options.onBody(chunk); });
}

bool HttpExchange::guarded(const std::function<void()>& callback)
{
    try {
        callback();
        return true;
    } catch (...) {
        // The caller's own failure (a local write that failed, say) ends the request at once
        // rather than after the rest of the body has been received for nothing.
        abandon(std::current_exception());
        return false;
    }
}

void HttpExchange::complete()
{
    if (m_uploadCut && m_state.status() == 200) {
        failWith(std::make_exception_ptr(TransportError::operationFailed(localizedFormat(
            "上传未完成：手机在收到全部 %lld 字节前关闭了连接", {*m_plan.options.bodyLength}))));
        return;
    }
    if (m_reportCompletion && m_plan.options.progress) {
        try {
            m_plan.options.progress(1.0);
        } catch (...) {
            failWith(std::current_exception());
            return;
        }
    }
    completeWith(HttpResponse{m_state.status(), std::move(m_state.collectedBody)});
}

void HttpExchange::completeWith(HttpResponse response)
{
    m_response = std::move(response);
    m_done = true;
    QMetaObject::invokeMethod(this, &HttpExchange::finished, Qt::QueuedConnection);
}

void HttpExchange::abandon(std::exception_ptr error)
{
    if (!m_state.finish())
        return;
    stopConnection();
    failWith(std::move(error));
}

void HttpExchange::abandon(const QString& text)
{
    abandon(std::make_exception_ptr(TransportError::operationFailed(text)));
}

void HttpExchange::failWith(std::exception_ptr error)
{
    m_error = std::move(error);
    m_done = true;
    QMetaObject::invokeMethod(this, &HttpExchange::finished, Qt::QueuedConnection);
}
