#include "relay.h"

#include "fakeadbformat.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

#include <unistd.h>

namespace {

constexpr int idleLimitMs = 120'000;

QString recordPath(const QString& stateFolder, quint16 port)
{
    return stateFolder + QLatin1Char('/') + QLatin1String(fakeadb::forwardsFolder) + QLatin1Char('/')
           + QString::number(port) + QStringLiteral(".json");
}

// One accepted connection and its way to the phone. Bytes from the client wait until the phone
// end is connected; either side closing closes the other once what it sent has gone through.
class Pipe : public QObject
{
public:
    Pipe(QTcpSocket* client, quint16 phonePort, QObject* parent)
        : QObject(parent)
        , m_client(client)
    {
        m_client->setParent(this);
        m_phone = new QTcpSocket(this);
        connect(m_client, &QTcpSocket::readyRead, this, &Pipe::forwardClient);
        connect(m_phone, &QTcpSocket::connected, this, &Pipe::forwardClient);
        connect(m_phone, &QTcpSocket::readyRead, this,
                [this] { m_client->write(m_phone->readAll()); });
        connect(m_client, &QTcpSocket::disconnected, this, &Pipe::close);
        connect(m_phone, &QTcpSocket::disconnected, this, &Pipe::close);
        connect(m_phone, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
            if (error != QAbstractSocket::RemoteHostClosedError)
                qWarning("phone end: %s", qPrintable(m_phone->errorString()));
            close();
        });
        m_phone->connectToHost(QStringLiteral("127.0.0.1"), phonePort);
    }

private:
    void forwardClient()
    {
        if (m_phone->state() == QAbstractSocket::ConnectedState)
            m_phone->write(m_client->readAll());
    }

    void close()
    {
        if (m_closing)
            return;
        m_closing = true;
        if (m_phone->state() == QAbstractSocket::ConnectedState && m_client->bytesAvailable() > 0)
            m_phone->write(m_client->readAll());
        if (m_client->state() == QAbstractSocket::ConnectedState && m_phone->bytesAvailable() > 0)
            m_client->write(m_phone->readAll());
        m_client->disconnectFromHost();
        m_phone->disconnectFromHost();
        deleteLater();
    }

    QTcpSocket* m_client;
    QTcpSocket* m_phone;
    bool m_closing = false;
};

} // namespace

Relay::Relay(QString stateFolder, quint16 localPort, QString serial, quint16 remotePort)
    : m_stateFolder(std::move(stateFolder))
    , m_localPort(localPort)
    , m_serial(std::move(serial))
    , m_remotePort(remotePort)
    , m_idleUntil(idleLimitMs)
{
    connect(&m_server, &QTcpServer::newConnection, this, &Relay::accept);
    connect(&m_watch, &QTimer::timeout, this, &Relay::checkStillWanted);
    // The record is written by the command that started us, just after it did; the first look
    // comes well after that.
    m_watch.start(500);
}

bool Relay::adopt(qintptr listeningSocket)
{
    return m_server.setSocketDescriptor(listeningSocket);
}

std::optional<quint16> Relay::phonePort() const
{
    if (m_remotePort != fakeadb::phoneAppPort)
        return std::nullopt;
    QFile file(m_stateFolder + QLatin1Char('/') + QLatin1String(fakeadb::stateFile));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QJsonArray devices = QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("devices")).toArray();
    for (const QJsonValue& device : devices) {
        const QJsonObject object = device.toObject();
        if (object.value(QStringLiteral("serial")).toString() == m_serial) {
            const int port = object.value(QStringLiteral("phonePort")).toInt();
            if (port > 0 && port < 65536)
                return quint16(port);
        }
    }
    return std::nullopt;
}

void Relay::accept()
{
    while (QTcpSocket* client = m_server.nextPendingConnection()) {
        const std::optional<quint16> port = phonePort();
        if (!port) {
            // Nothing listens on that port of the device: adb accepts and closes at once.
            client->close();
            client->deleteLater();
            continue;
        }
        ++m_openPipes;
        auto* pipe = new Pipe(client, *port, this);
        connect(pipe, &QObject::destroyed, this, [this] {
            --m_openPipes;
            m_idleUntil.setRemainingTime(idleLimitMs);
        });
    }
}

void Relay::checkStillWanted()
{
    const QString record = recordPath(m_stateFolder, m_localPort);
    bool wanted = QFileInfo::exists(m_stateFolder) && QFileInfo::exists(record);
    if (wanted) {
        QFile file(record);
        if (file.open(QIODevice::ReadOnly)) {
            const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
            wanted = object.value(QStringLiteral("pid")).toInteger() == qint64(::getpid());
        }
    }
    if (wanted && m_openPipes == 0 && m_idleUntil.hasExpired()) {
        qWarning("idle for too long, leaving");
        QFile::remove(record);
        wanted = false;
    }
    if (!wanted)
        QCoreApplication::exit(0);
}

// zorvane-fake-adb --relay STATE LOCAL SERIAL REMOTE, with the listening socket as descriptor 3.
int runRelay(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6)
        return 2;
    Relay relay(args[2], quint16(args[3].toUInt()), args[4], quint16(args[5].toUInt()));
    if (!relay.adopt(3)) {
        qWarning("cannot take over the listening socket");
        return 1;
    }
    return app.exec();
}
