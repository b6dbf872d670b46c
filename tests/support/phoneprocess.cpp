#include "phoneprocess.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

PhoneProcess::~PhoneProcess()
{
    kill();
}

QString PhoneProcess::binaryPath()
{
    return qEnvironmentVariable("ZORVANE_PHONE_BIN");
}

bool PhoneProcess::start(const QStringList& extraArgs, const QString& root)
{
    const QString bin = binaryPath();
    if (bin.isEmpty()) {
        m_error = QStringLiteral("ZORVANE_PHONE_BIN is not set");
        return false;
    }
    m_root = root.isEmpty() ? m_tempRoot.path() : root;
    QStringList args{QStringLiteral("--root"), m_root, QStringLiteral("--port"), QStringLiteral("0")};
    args += extraArgs;
    m_process.setProgram(bin);
    m_process.setArguments(args);
    m_process.start();
    if (!m_process.waitForStarted(5000)) {
        m_error = m_process.errorString();
        return false;
    }
    static const QRegularExpression listening(QStringLiteral("^listening on (.+):(\\d+)$"));
    QDeadlineTimer deadline(10000);
    QByteArray seen;
    while (!deadline.hasExpired()) {
        if (m_process.canReadLine() || m_process.waitForReadyRead(int(deadline.remainingTime()))) {
            while (m_process.canReadLine()) {
                const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
                seen += line.toUtf8() + '\n';
                const auto match = listening.match(line);
                if (match.hasMatch()) {
                    m_host = match.captured(1);
                    m_port = quint16(match.captured(2).toUInt());
                    return true;
                }
            }
        }
        if (m_process.state() != QProcess::Running)
            break;
    }
    m_error = QStringLiteral("zorvane-phone did not start: ") + QString::fromUtf8(seen)
              + QString::fromUtf8(m_process.readAllStandardError());
    return false;
}

QByteArray PhoneProcess::standardError()
{
    return m_process.readAllStandardError();
}

void PhoneProcess::kill()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}
