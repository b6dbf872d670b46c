#include "wifitransport.h"

#include "clientidentity.h"
#include "transporterror.h"

#include "ui/languagemanager.h"

#include <QCoroSignal>

#include <memory>

WiFiTransport::WiFiTransport(TransportTimings timings, QObject* parent)
    : QObject(parent), m_timings(timings)
{
}

QString WiFiTransport::connectionLabel() const
{
    return m_connectionKind == ConnectionKind::wifi ? QStringLiteral("WiFi") : localized("数据线");
}

QCoro::Task<HttpResponse> WiFiTransport::performRequest(QString method, QString apiPath,
                                                        std::optional<QString> remotePath, QueryItems extraQuery,
                                                        std::optional<qint64> bodyLength,
                                                        BodyProvider bodyProvider, qint64 expectedTotal,
                                                        BodyConsumer onBody, ProgressCallback progress)
{
    if (!m_endpoint)
        throw TransportError::deviceNotConnected();
    const QString target = QueryEncoding::requestTarget(apiPath, remotePath, extraQuery);

    HttpRequestSpec spec;
    spec.endpoint = *m_endpoint;
    spec.pinnedInterface = m_pinnedInterface;
    spec.head = HttpExchange::requestHead(method, target, ClientIdentity::id(),
                                          QueryEncoding::encode(ClientIdentity::computerName()), bodyLength);
    spec.bodyLength = bodyLength;
    spec.bodyProvider = std::move(bodyProvider);
    spec.expectedTotal = expectedTotal;
    spec.onBody = std::move(onBody);
    spec.progress = std::move(progress);
    spec.overCable = m_connectionKind == ConnectionKind::adbTunnel;
    spec.idleLimit = spec.overCable ? m_timings.idleLimitTunnel : m_timings.idleLimitWiFi;
    spec.watchdogTick = m_timings.watchdogTick;

    const std::unique_ptr<HttpExchange, void (*)(HttpExchange*)> exchange(
        new HttpExchange(std::move(spec)), [](HttpExchange* e) { e->deleteLater(); });
    exchange->start();
    co_await qCoro(exchange.get(), &HttpExchange::finished);
    co_return exchange->takeResult();
}
