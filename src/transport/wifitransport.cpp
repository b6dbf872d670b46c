#include "wifitransport.h"

#include "clientidentity.h"
#include "servicebrowser.h"
#include "transporterror.h"

#include "common/languagemanager.h"

#include <QCoroSignal>

#include <memory>

WiFiTransport::WiFiTransport(TransportTimings timings, QObject* parent)
    : QObject(parent), m_timings(timings)
{
    m_refreshTimer.setSingleShot(true);
    QObject::connect(&m_refreshTimer, &QTimer::timeout, this, &WiFiTransport::restartBrowsing);
    m_retryTimer.setSingleShot(true);
    QObject::connect(&m_retryTimer, &QTimer::timeout, this, &WiFiTransport::restartBrowsing);
}

WiFiTransport::~WiFiTransport() = default;

QString WiFiTransport::connectionLabel() const
{
    return m_connectionKind == ConnectionKind::wifi ? QStringLiteral("WiFi") : localized("数据线");
}

QCoro::Task<HttpResponse> WiFiTransport::performRequest(QString method, QString apiPath,
                                                        std::optional<QString> remotePath, RequestOptions options)
{
    if (!m_endpoint)
        throw TransportError::deviceNotConnected();
    const QString target = QueryEncoding::requestTarget(apiPath, remotePath, options.query);

    const std::optional<QString> pinned = m_pinnedInterface;
    const quint64 cancelSerial = m_cancelSerial;
    HttpRequestPlan plan;
    plan.endpoint = co_await requestTarget();
    if (options.cancellable && cancelSerial != m_cancelSerial)
        throw CancelledError();
    const bool cancellable = options.cancellable;
    plan.pinnedInterface = pinned;
    plan.head = HttpExchange::requestHead(method, target, ClientIdentity::id(),
                                          QueryEncoding::encode(ClientIdentity::computerName()), options.bodyLength);
    plan.options = std::move(options);
    plan.overCable = m_connectionKind == ConnectionKind::adbTunnel;
    plan.idleLimit = plan.overCable ? m_timings.idleLimitTunnel : m_timings.idleLimitWiFi;
    plan.watchdogTick = m_timings.watchdogTick;

    const std::unique_ptr<HttpExchange, void (*)(HttpExchange*)> exchange(
        new HttpExchange(std::move(plan)), [](HttpExchange* e) { e->deleteLater(); });
    const QPointer<HttpExchange> tracked(exchange.get());
    if (cancellable) {
        m_cancellable.removeIf([](const QPointer<HttpExchange>& e) { return e.isNull(); });
        m_cancellable.append(tracked);
    }
    exchange->start();
    co_await qCoro(exchange.get(), &HttpExchange::finished);
    if (cancellable)
        m_cancellable.removeAll(tracked);
    co_return exchange->takeResult();
}

void WiFiTransport::cancelTransferRequests()
{
    ++m_cancelSerial;
    // cancel() only records the outcome; each request's own coroutine takes it off the list.
    for (const QPointer<HttpExchange>& exchange : std::as_const(m_cancellable)) {
        if (exchange)
            exchange->cancel();
    }
}
