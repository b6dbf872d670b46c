#include "fakeadbstate.h"

#include "fakeadb/fakeadbformat.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QThread>

#include <csignal>
#include <cstdio>

namespace {

// The relays are not our children, so their end is seen as their port coming free.
void waitUntilFree(quint16 port)
{
    const QDeadlineTimer deadline(3000);
    while (!deadline.hasExpired()) {
        QTcpServer probe;
        if (probe.listen(QHostAddress::LocalHost, port))
            return;
        QThread::msleep(20);
    }
}

} // namespace

FakeAdbState::FakeAdbState()
{
    qputenv(fakeadb::stateVariable, m_dir.path().toLocal8Bit());
    write();
}

FakeAdbState::~FakeAdbState()
{
    stopAllRelays();
    qunsetenv(fakeadb::stateVariable);
    if (m_setAdb) {
        if (m_previousAdb)
            qputenv("ZORVANE_ADB", *m_previousAdb);
        else
            qunsetenv("ZORVANE_ADB");
    }
}

QString FakeAdbState::binaryPath()
{
    return qEnvironmentVariable("ZORVANE_FAKE_ADB_BIN");
}

void FakeAdbState::useAsAdb()
{
    if (!m_setAdb) {
        m_setAdb = true;
        if (qEnvironmentVariableIsSet("ZORVANE_ADB"))
            m_previousAdb = qgetenv("ZORVANE_ADB");
    }
    qputenv("ZORVANE_ADB", binaryPath().toLocal8Bit());
}

void FakeAdbState::setDevices(const QList<Device>& devices)
{
    m_devices = devices;
    write();
}

void FakeAdbState::setBehaviour(const QString& command, const Behaviour& behaviour)
{
    m_behaviours.removeIf([&](const auto& entry) { return entry.first == command; });
    m_behaviours.append({command, behaviour});
    QDir(m_dir.filePath(QLatin1String(fakeadb::countsFolder))).removeRecursively();
    write();
}

void FakeAdbState::clearBehaviours()
{
    m_behaviours.clear();
    QDir(m_dir.filePath(QLatin1String(fakeadb::countsFolder))).removeRecursively();
    write();
}

void FakeAdbState::write()
{
    QJsonArray devices;
    for (const Device& device : m_devices) {
        QJsonObject object{{QStringLiteral("serial"), device.serial}, {QStringLiteral("state"), device.state}};
        if (!device.model.isEmpty())
            object.insert(QStringLiteral("model"), device.model);
        if (device.phonePort != 0)
            object.insert(QStringLiteral("phonePort"), int(device.phonePort));
        devices.append(object);
    }
    QJsonObject commands;
    for (const auto& [command, behaviour] : m_behaviours) {
        QJsonObject object;
        if (behaviour.hang)
            object.insert(QStringLiteral("hang"), true);
        if (behaviour.delayMs > 0)
            object.insert(QStringLiteral("delayMs"), behaviour.delayMs);
        if (behaviour.exitStatus) {
            object.insert(QStringLiteral("exit"), *behaviour.exitStatus);
            object.insert(QStringLiteral("stdout"), behaviour.standardOutput);
            object.insert(QStringLiteral("stderr"), behaviour.standardError);
        }
        if (behaviour.times > 0)
            object.insert(QStringLiteral("times"), behaviour.times);
        commands.insert(command, object);
    }
    // Written aside and renamed, so a run never reads half a file.
    const QString target = m_dir.filePath(QLatin1String(fakeadb::stateFile));
    const QString aside = target + QStringLiteral(".new");
    QFile file(aside);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", qPrintable(aside));
    file.write(QJsonDocument(QJsonObject{{QStringLiteral("devices"), devices},
                                         {QStringLiteral("commands"), commands}})
                   .toJson());
    file.close();
    ::rename(QFile::encodeName(aside).constData(), QFile::encodeName(target).constData());
}

QList<QStringList> FakeAdbState::calls() const
{
    QList<QStringList> calls;
    QFile file(m_dir.filePath(QLatin1String(fakeadb::callsFile)));
    if (!file.open(QIODevice::ReadOnly))
        return calls;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.isEmpty())
            continue;
        QStringList arguments;
        for (const QJsonValue& value : QJsonDocument::fromJson(line).array())
            arguments << value.toString();
        calls << arguments;
    }
    return calls;
}

void FakeAdbState::clearCalls()
{
    QFile::remove(m_dir.filePath(QLatin1String(fakeadb::callsFile)));
}

bool FakeAdbState::serverRunning() const
{
    return QFileInfo::exists(m_dir.filePath(QLatin1String(fakeadb::serverMarker)));
}

QList<FakeAdbState::Forward> FakeAdbState::forwards() const
{
    QList<Forward> forwards;
    const QDir folder(m_dir.filePath(QLatin1String(fakeadb::forwardsFolder)));
    for (const QFileInfo& info : folder.entryInfoList({QStringLiteral("*.json")}, QDir::Files)) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject record = QJsonDocument::fromJson(file.readAll()).object();
        forwards.append(Forward{record.value(QStringLiteral("serial")).toString(),
                                quint16(record.value(QStringLiteral("local")).toInt()),
                                quint16(record.value(QStringLiteral("remote")).toInt()),
                                record.value(QStringLiteral("pid")).toInteger()});
    }
    return forwards;
}

bool FakeAdbState::dropForward(quint16 localPort)
{
    for (const Forward& forward : forwards()) {
        if (forward.localPort != localPort)
            continue;
        QFile::remove(m_dir.filePath(QStringLiteral("%1/%2.json").arg(QLatin1String(fakeadb::forwardsFolder)).arg(localPort)));
        if (forward.relayPid > 0)
            ::kill(pid_t(forward.relayPid), SIGKILL);
        waitUntilFree(localPort);
        return true;
    }
    return false;
}

void FakeAdbState::stopAllRelays()
{
    for (const Forward& forward : forwards())
        dropForward(forward.localPort);
}
