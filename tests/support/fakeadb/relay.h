#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTimer>

#include <optional>

// A forward's local end: accepts on the listening socket it was handed and pipes every
// connection to the device's phone port, looked up in state.json when the connection arrives.
class Relay : public QObject
{
    Q_OBJECT

public:
    Relay(QString stateFolder, quint16 localPort, QString serial, quint16 remotePort);
    bool adopt(qintptr listeningSocket);

private:
    void accept();
    void checkStillWanted();
    std::optional<quint16> phonePort() const;

    QString m_stateFolder;
    quint16 m_localPort;
    QString m_serial;
    quint16 m_remotePort;
    QTcpServer m_server;
    QTimer m_watch;
    int m_openPipes = 0;
    QDeadlineTimer m_idleUntil;
};

int runRelay(int argc, char** argv);
