#pragma once

#include "cabinroot.h"
#include "faultplan.h"
#include "fileendpoints.h"
#include "httpreply.h"
#include "pairinggate.h"
#include "phoneoptions.h"
#include "requestparser.h"

#include <QObject>
#include <QTcpServer>

#include <optional>

namespace phone {

// Listens for clients and decides what each request gets: the handshake endpoints here,
// pairing, the faults asked for, and the file endpoints.
class PhoneServer : public QObject
{
    Q_OBJECT

public:
    // More open connections than this are refused at once: each holds buffers and maybe a
    // file, and a client that opens them without end must not exhaust the process.
    static constexpr int maxConnections = 256;

    explicit PhoneServer(const PhoneOptions& options, QObject* parent = nullptr);

    // False with `error` set when the root is unusable, a fault does not parse, or the
    // address cannot be bound.
    bool start(QString* error);
    QString listeningAddress() const;
    quint16 listeningPort() const { return m_server.serverPort(); }

    std::optional<Fault> takeFault(const QString& endpoint) { return m_faults.take(endpoint); }
    Dispatch route(const RequestHead& head, const std::optional<Fault>& fault);
    bool verbose() const { return m_options.verbose; }

private:
    void acceptConnections();
    HttpReply info() const;
    HttpReply pair(const RequestHead& head);

    PhoneOptions m_options;
    CabinRoot m_root;
    PairingGate m_gate;
    FaultPlan m_faults;
    FileEndpoints m_files;
    QTcpServer m_server;
    int m_openConnections = 0;
};

} // namespace phone
