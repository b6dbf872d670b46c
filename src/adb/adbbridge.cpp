#include "adbbridge.h"

#include "common/languagemanager.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

QString AdbBridge::AdbError::description() const
{
    switch (m_kind) {
    case Kind::commandFailed:
        break;
    case Kind::sandboxed:
        return localized("当前是 Mac App Store 沙盒构建，无法启动 adb。安卓数据线传输仅支持官网下载的非沙盒版本。");
    case Kind::binaryNotFound:
        return localized("未找到 adb：请确认安装包完整，或本机已安装 Android platform-tools。");
    case Kind::unauthorized:
        return localized("手机尚未授权此电脑：请在手机上点「允许 USB 调试」并勾选「一律允许」，然后重试。");
    case Kind::offline:
        return localized("安卓设备当前离线：请重新插拔数据线，并确认手机已解锁。");
    case Kind::noDevice:
        return localized("未检测到安卓设备：请确认数据线已连接、手机已开启「开发者选项 → USB 调试」。");
    }
    return m_message;
}

AdbBridge& AdbBridge::shared()
{
    static AdbBridge instance;
    return instance;
}

AdbBridge::AdbBridge()
    : AdbBridge(Timeouts{})
{
}

AdbBridge::AdbBridge(Timeouts timeouts)
    : m_timeouts(timeouts)
{
}

bool AdbBridge::isSandboxed()
{
    return qEnvironmentVariableIsSet("APP_SANDBOX_CONTAINER_ID");
}

QString AdbBridge::rawValue(DeviceState state)
{
    switch (state) {
    case DeviceState::ready:
        return QStringLiteral("device");
    case DeviceState::unauthorized:
        return QStringLiteral("unauthorized");
    case DeviceState::offline:
        return QStringLiteral("offline");
    case DeviceState::noPermissions:
        return QStringLiteral("no permissions");
    case DeviceState::unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QStringList AdbBridge::candidatePaths()
{
    QStringList paths;
    const QString chosen = qEnvironmentVariable("ZORVANE_ADB");
    if (!chosen.isEmpty())
        paths << chosen;
    // Without an application object there is no application folder to look in.
    if (QCoreApplication::instance()) {
        const QString appDir = QCoreApplication::applicationDirPath();
        paths << appDir + QStringLiteral("/adb")
              << QDir::cleanPath(appDir + QStringLiteral("/../share/zorvane/android/adb"));
    }
    paths << QDir::homePath() + QStringLiteral("/Android/Sdk/platform-tools/adb")
          << QStringLiteral("/usr/bin/adb") << QStringLiteral("/usr/local/bin/adb");
    return paths;
}

std::optional<QString> AdbBridge::locateBinary()
{
    QMutexLocker locker(&m_lock);
    if (m_cachedBinary)
        return m_cachedBinary;
    const QStringList candidates = m_testCandidates.value_or(candidatePaths());
    for (const QString& candidate : candidates) {
        if (!QFileInfo(candidate).isFile())
            continue;
        if (std::optional<QString> runnable = makeExecutable(candidate)) {
            m_cachedBinary = runnable;
            return runnable;
        }
    }
    // Nothing is remembered, so a tool installed later is found by the next call.
    return std::nullopt;
}

namespace {

constexpr QFileDevice::Permissions mode0755 = QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                              | QFileDevice::ExeOwner | QFileDevice::ReadUser
                                              | QFileDevice::WriteUser | QFileDevice::ExeUser
                                              | QFileDevice::ReadGroup | QFileDevice::ExeGroup
                                              | QFileDevice::ReadOther | QFileDevice::ExeOther;

bool isExecutable(const QString& path)
{
    return QFileInfo(path).isExecutable();
}

} // namespace

std::optional<QString> AdbBridge::makeExecutable(const QString& path)
{
    if (isExecutable(path))
        return path;
    if (QFile::setPermissions(path, mode0755) && isExecutable(path))
        return path;

    // The file cannot be made runnable where it is (a read-only volume, someone else's file):
    // run a private copy instead, refreshed on every search that gets here.
    const QString dataFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (dataFolder.isEmpty() || !QDir().mkpath(dataFolder))
        return std::nullopt;
    const QString binFolder = dataFolder + QStringLiteral("/bin");
    QDir().mkpath(binFolder);
    const QString copy = binFolder + QStringLiteral("/adb");
    QFile::remove(copy);
    if (!QFile::copy(path, copy))
        return std::nullopt;
    if (!QFile::setPermissions(copy, mode0755))
        return std::nullopt;
    return isExecutable(copy) ? std::optional<QString>(copy) : std::nullopt;
}

void AdbBridge::ensureServer(const QString& binary)
{
    // Two callers that both find it false start the server twice; adb takes that calmly.
    if (m_serverStarted.load())
        return;
    run(binary, {QStringLiteral("start-server")}, m_timeouts.serverStart);
    m_serverStarted.store(true);
}

QString AdbBridge::startedBinary()
{
    if (isSandboxed())
        throw AdbError(AdbError::Kind::sandboxed);
    const std::optional<QString> binary = locateBinary();
    if (!binary)
        throw AdbError(AdbError::Kind::binaryNotFound);
    ensureServer(*binary);
    return *binary;
}

QList<AdbBridge::Device> AdbBridge::listDevices()
{
    const QString binary = startedBinary();

    const QStringList arguments{QStringLiteral("devices"), QStringLiteral("-l")};
    RunResult listing = run(binary, arguments, m_timeouts.listDevices);
    if (listing.status == 0)
        return parseDevices(listing.standardOutput);

    // A failed listing usually means the server died under us: start it again and ask once more.
    m_serverStarted.store(false);
    run(binary, {QStringLiteral("start-server")}, m_timeouts.serverStart);
    m_serverStarted.store(true);
    listing = run(binary, arguments, m_timeouts.listDevices);
    if (listing.status == 0)
        return parseDevices(listing.standardOutput);
    throw AdbError(AdbError::Kind::commandFailed, listing.standardError.isEmpty()
                                                      ? localized("adb devices 执行失败")
                                                      : listing.standardError);
}

QList<AdbBridge::Device> AdbBridge::parseDevices(const QString& listing)
{
    QList<Device> devices;
    const QStringList lines = listing.split(QRegularExpression(QStringLiteral("\\R")));
    for (const QString& rawLine : lines) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1String("List of devices"))
            || line.startsWith(QLatin1Char('*')))
            continue;
        // adb separates the columns of its long listing with spaces; a tab is part of a token.
        const QStringList tokens = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (tokens.size() < 2)
            continue;
        Device device;
        device.serial = tokens[0];
        QString stateWord = tokens[1];
        if (stateWord == QLatin1String("no") && tokens.size() > 2
            && tokens[2].startsWith(QLatin1String("permissions")))
            stateWord = QStringLiteral("no permissions");
        for (qsizetype i = 1; i < tokens.size(); ++i) {
            if (tokens[i].startsWith(QLatin1String("model:")))
                device.model = tokens[i].mid(6).replace(QLatin1Char('_'), QLatin1Char(' '));
        }
        device.state = DeviceState::unknown;
        for (DeviceState state : {DeviceState::ready, DeviceState::unauthorized, DeviceState::offline,
                                  DeviceState::noPermissions}) {
            if (rawValue(state) == stateWord)
                device.state = state;
        }
        // A device reached over the network (host:port) is not on the cable.
        if (device.serial.contains(QLatin1Char(':')))
            continue;
        devices.append(device);
    }
    return devices;
}
