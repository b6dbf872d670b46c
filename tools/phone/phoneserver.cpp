#include "phoneserver.h"

#include "phoneconnection.h"

#include <QFileInfo>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStorageInfo>
#include <QTcpSocket>

namespace phone {

PhoneServer::PhoneServer(const PhoneOptions& options, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_root(options.root)
    , m_gate(options.pairingCode)
    , m_files(m_root, FileEndpoints::Switches{options.folderEndpoints, options.hashEndpoints,
                                              options.treePrefix})
{
    connect(&m_server, &QTcpServer::newConnection, this,
            &PhoneServer::acceptConnections);
}

bool PhoneServer::start(QString* error)
{
    if (!m_root.isValid() || !QFileInfo(m_root.path()).isDir()) {
        *error = QStringLiteral("--root '%1' is not a folder").arg(m_options.root);
        return false;
    }
    for (const QString& fault : std::as_const(m_options.faults)) {
        if (!m_faults.add(fault, error))
            return false;
    }
    QHostAddress address;
    if (!address.setAddress(m_options.host)) {
        *error = QStringLiteral("--host '%1' is not an IP address").arg(m_options.host);
        return false;
    }
    if (!m_server.listen(address, m_options.port)) {
        *error = QStringLiteral("cannot listen on %1:%2: %3")
                     .arg(m_options.host)
                     .arg(m_options.port)
                     .arg(m_server.errorString());
        return false;
    }
    return true;
}

QString PhoneServer::listeningAddress() const
{
    return m_server.serverAddress().toString() + QLatin1Char(':')
           + QString::number(m_server.serverPort());
}

void PhoneServer::acceptConnections()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        if (m_openConnections >= maxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++m_openConnections;
        auto* connection = new PhoneConnection(socket, this);
        connect(connection, &QObject::destroyed, this, [this] { --m_openConnections; });
    }
}

Dispatch PhoneServer::route(const RequestHead& head, const std::optional<Fault>& fault)
{
    const QString& endpoint = head.path;
    QByteArray method;
    if (endpoint == QLatin1String("/info"))
        method = "GET";
    else if (endpoint == QLatin1String("/pair"))
        method = "POST";
    else if (const std::optional<QByteArray> fileMethod = m_files.methodFor(endpoint))
        method = *fileMethod;
    else
        return Dispatch::now(HttpReply::text(404, QStringLiteral("没有这个接口")));

    // curl -T uploads with PUT; taking it too lets the plainest client store a file.
    const bool putUpload = endpoint == QLatin1String("/upload") && head.method == "PUT";
    if (head.method != method && !putUpload) {
        HttpReply reply = HttpReply::text(405, QStringLiteral("请求方法不对"));
        reply.headers.append({"Allow", method});
        return Dispatch::now(std::move(reply));
    }
    if (endpoint == QLatin1String("/pair"))
        return Dispatch::now(pair(head));
    if (!m_gate.admits(head.header("x-qvx-client")))
        return Dispatch::now(HttpReply::text(401, QStringLiteral("请先配对")));
    if (endpoint == QLatin1String("/info"))
        return Dispatch::now(info());
    return m_files.handle(head, fault);
}

HttpReply PhoneServer::info() const
{
    qint64 free = 0;
    if (m_options.storageFree) {
        free = *m_options.storageFree;
    } else {
        const QStorageInfo storage(m_root.path());
        free = storage.isValid() ? storage.bytesAvailable() : 0;
    }
    return HttpReply::json(QJsonDocument(QJsonObject{
        {QStringLiteral("name"), m_options.name},
        {QStringLiteral("systemVersion"), m_options.systemVersion},
        {QStringLiteral("storageFree"), free},
        {QStringLiteral("platform"), m_options.platform},
        {QStringLiteral("gzip"), false},
    }));
}

HttpReply PhoneServer::pair(const RequestHead& head)
{
    const QString code = head.queryItem(QStringLiteral("code")).value_or(QString());
    switch (m_gate.pair(head.header("x-qvx-client"), code)) {
    case PairingGate::Outcome::accepted:
        return HttpReply::text(200, QStringLiteral("OK"));
    case PairingGate::Outcome::wrongCode:
        return HttpReply::text(403, QStringLiteral("配对码不正确"));
    case PairingGate::Outcome::lockedOut:
        break;
    }
    return HttpReply::text(429, QStringLiteral("错误次数过多，请稍后再试"));
}

} // namespace phone
