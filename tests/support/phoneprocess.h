#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Runs the zorvane-phone stand-in as a real child process for one test, on loopback,
// serving a temporary folder (or a given one). The binary comes from ZORVANE_PHONE_BIN.
class PhoneProcess
{
public:
    PhoneProcess() = default;
    ~PhoneProcess();
    PhoneProcess(const PhoneProcess&) = delete;
    PhoneProcess& operator=(const PhoneProcess&) = delete;

    // Starts the server with `extraArgs`; serves `root` when given, else a fresh temporary folder.
    // Returns false (with errorText()) when it did not report "listening on" within a few seconds.
    bool start(const QStringList& extraArgs = {}, const QString& root = {});
    void kill();

    QString host() const { return m_host; }
    quint16 port() const { return m_port; }
    QString root() const { return m_root; }
    QString address() const { return m_host + QLatin1Char(':') + QString::number(m_port); }
    QString errorText() const { return m_error; }
    QByteArray standardError();

    static QString binaryPath();

private:
    QProcess m_process;
    QTemporaryDir m_tempRoot;
    QString m_root;
    QString m_host;
    quint16 m_port = 0;
    QString m_error;
};
