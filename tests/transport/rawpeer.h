#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// A hand-made HTTP peer on loopback for the client's tests: it records every request byte for
// byte and answers each connection with a script of raw steps, so a test can send exactly the
// bytes (and the silences and closes) a misbehaving phone would.
class RawPeer : public QObject
{
    Q_OBJECT

public:
    struct Step
    {
        enum class Kind { send, pause, close, hold, endSending, flood };
        Kind kind;
        QByteArray bytes;
        int milliseconds = 0;
        int times = 0;
    };
    using Script = QList<Step>;

    static Step send(const QByteArray& bytes) { return {Step::Kind::send, bytes, 0, 0}; }
    // Sends `bytes` `times` times over, each time once the last went out, as fast as the client reads.
    static Step flood(const QByteArray& bytes, int times) { return {Step::Kind::flood, bytes, 0, times}; }
    static Step pause(int ms) { return {Step::Kind::pause, {}, ms, 0}; }
    static Step close() { return {Step::Kind::close, {}, 0, 0}; }
    static Step hold() { return {Step::Kind::hold, {}, 0, 0}; }
    // Ends our direction only and keeps reading what the client still sends: its end of the
    // connection sees a clean close, without a reset that would race with the answer.
    static Step endSending() { return {Step::Kind::endSending, {}, 0, 0}; }
    // A complete answer with a Content-Length, then a close.
    static Script answer(int status, const QByteArray& body);
    // The /info answer of a plain phone.
    static Script infoAnswer();

    RawPeer();
    quint16 port() const { return m_server.serverPort(); }

    // Connection i runs scripts[i]; connections past the end run the last script.
    void setScripts(QList<Script> scripts) { m_scripts = std::move(scripts); }
    // Answer as soon as the request head is in, without waiting for the body it announces (a
    // phone that refuses an upload early).
    void setAnswerAfterHead(bool early) { m_answerAfterHead = early; }
    int connectionCount() const { return int(m_received.size()); }
    QByteArray received(int connection) const { return m_received.value(connection); }
    // The request head of a connection (up to and including the blank line).
    QByteArray head(int connection) const;

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket* socket, int index);
    void runStep(QPointer<QTcpSocket> socket, Script script, int step);
    void floodStep(QPointer<QTcpSocket> socket, Script script, int step);

    QTcpServer m_server;
    QList<Script> m_scripts;
    QList<QByteArray> m_received;
    QList<bool> m_started;
    bool m_answerAfterHead = false;
};

Q_DECLARE_METATYPE(RawPeer::Script)
