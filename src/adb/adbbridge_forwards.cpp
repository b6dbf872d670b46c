#include "adbbridge.h"

#include "common/languagemanager.h"

#include <QRegularExpression>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString tcpArgument(quint16 port)
{
    return QStringLiteral("tcp:") + QString::number(port);
}

// "tcp:N" with N a decimal port number; anything else (another socket kind, no digits, a number
// past 16 bits) is not a forward this app uses.
std::optional<quint16> tcpPort(const QString& token)
{
    if (!token.startsWith(QLatin1String("tcp:")))
        return std::nullopt;
    const QStringView digits = QStringView(token).mid(4);
    if (digits.isEmpty())
        return std::nullopt;
    for (QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    bool ok = false;
    const uint value = digits.toUInt(&ok);
    if (!ok || value > 65535)
        return std::nullopt;
    return quint16(value);
}

} // namespace

QList<AdbBridge::Forward> AdbBridge::listForwards()
{
    const std::optional<QString> binary = locateBinary();
    if (!binary)
        return {};
    const RunResult listing =
        run(*binary, {QStringLiteral("forward"), QStringLiteral("--list")}, m_timeouts.listForwards);
    if (listing.status != 0)
        return {};
    return parseForwards(listing.standardOutput);
}

QList<AdbBridge::Forward> AdbBridge::parseForwards(const QString& listing)
{
    QList<Forward> forwards;
    const QStringList lines = listing.split(QRegularExpression(QStringLiteral("\\R")));
    for (const QString& rawLine : lines) {
        const QStringList tokens = rawLine.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (tokens.size() < 3)
            continue;
        const std::optional<quint16> local = tcpPort(tokens[1]);
        const std::optional<quint16> remote = tcpPort(tokens[2]);
        if (!local || !remote)
            continue;
        forwards.append(Forward{tokens[0], *local, *remote});
    }
    return forwards;
}

bool AdbBridge::hasForward(const QString& serial, quint16 localPort)
{
    const QList<Forward> forwards = listForwards();
    return std::any_of(forwards.begin(), forwards.end(), [&](const Forward& forward) {
        return forward.serial == serial && forward.localPort == localPort;
    });
}

quint16 AdbBridge::createForward(const QString& serial, quint16 remotePort, std::optional<quint16> preferPort)
{
    const QString binary = startedBinary();

    const QList<Device> devices = listDevices();
    const auto device = std::find_if(devices.begin(), devices.end(),
                                     [&](const Device& listed) { return listed.serial == serial; });
    if (device == devices.end())
        throw AdbError(AdbError::Kind::noDevice);
    switch (device->state) {
    case DeviceState::ready:
        break;
    case DeviceState::unauthorized:
        throw AdbError(AdbError::Kind::unauthorized);
    case DeviceState::offline:
        throw AdbError(AdbError::Kind::offline);
    case DeviceState::noPermissions:
    case DeviceState::unknown:
        // The whole sentence is the table's key, one per state word.
        throw AdbError(AdbError::Kind::commandFailed,
                       localized(QStringLiteral("安卓设备状态异常：") + rawValue(device->state)));
    }

    // The free ports are only free at this moment, so a few spares are kept for a port that gets
    // taken before adb binds it.
    constexpr int maxCandidates = 6;
    constexpr int maxPortQueries = 40;
    QList<quint16> candidates;
    if (preferPort)
        candidates.append(*preferPort);
    for (int query = 0; query < maxPortQueries && candidates.size() < maxCandidates; ++query) {
        const std::optional<quint16> port = freeLocalPort();
        if (!port)
            break;
        if (!candidates.contains(*port))
            candidates.append(*port);
    }

    QString lastError;
    for (quint16 port : candidates) {
        const RunResult created = run(binary,
                                      {QStringLiteral("-s"), serial, QStringLiteral("forward"),
                                       tcpArgument(port), tcpArgument(remotePort)},
                                      m_timeouts.createForward);
        if (created.status == 0)
            return port;
        lastError = created.standardError.isEmpty() ? created.standardOutput : created.standardError;
    }
    throw AdbError(AdbError::Kind::commandFailed,
                   lastError.isEmpty() ? localized("adb forward 建立失败") : lastError);
}

void AdbBridge::removeForward(const QString& serial, quint16 localPort)
{
    const std::optional<QString> binary = locateBinary();
    if (!binary)
        return;
    run(*binary,
        {QStringLiteral("-s"), serial, QStringLiteral("forward"), QStringLiteral("--remove"),
         tcpArgument(localPort)},
        m_timeouts.removeForward);
}

std::optional<quint16> AdbBridge::freeLocalPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return std::nullopt;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = 0; // the system picks
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    ::close(fd);
    return quint16(ntohs(address.sin_port));
}
