#pragma once

#include "common/zorvaneerror.h"

#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <optional>

// Runs the Android Debug Bridge tool (`adb`) for the Android cable path: finds it, runs it without
// a shell under a time limit with both output streams captured (one run at a time per process),
// lists the attached devices and manages the port forwards that carry the phone app's HTTP
// traffic. Every call blocks while the tool runs: callers use it from the thread pool, except the
// two removals of a forward the view model makes on purpose on the GUI thread.
class AdbBridge
{
public:
    enum class DeviceState { ready, unauthorized, offline, noPermissions, unknown };

    struct Device
    {
        QString serial;
        QString model; // "_" shown as spaces; empty when adb prints none
        DeviceState state = DeviceState::unknown;
        friend bool operator==(const Device&, const Device&) = default;
    };

    struct Forward
    {
        QString serial;
        quint16 localPort = 0;
        quint16 remotePort = 0;
        friend bool operator==(const Forward&, const Forward&) = default;
    };

    struct RunResult
    {
        int status = -1;      // -1: did not start, or still running when the run gave up
        QString standardOutput;
        QString standardError; // the launch failure's text when it did not start
    };

    class AdbError : public ZorvaneError
    {
    public:
        enum class Kind { commandFailed, sandboxed, binaryNotFound, unauthorized, offline, noDevice };
        explicit AdbError(Kind kind, QString message = {}) : m_kind(kind), m_message(std::move(message)) {}
        Kind kind() const { return m_kind; }
        // Looked up each time it is asked for; commandFailed carries its finished message.
        QString description() const override;

    private:
        Kind m_kind;
        QString m_message;
    };

    // The tool's time limits. The defaults are the product's; tests shorten them.
    struct Timeouts
    {
        std::chrono::milliseconds serverStart{8'000};
        std::chrono::milliseconds listDevices{8'000};
        std::chrono::milliseconds createForward{8'000};
        std::chrono::milliseconds listForwards{5'000};
        std::chrono::milliseconds removeForward{3'000};
        // After the limit (and the terminate request), how long the output is still waited for.
        std::chrono::milliseconds afterLimit{2'000};
    };

    static AdbBridge& shared();
    // Two constructors, not a defaulted argument: GCC cannot use Timeouts' member initializers
    // before AdbBridge is complete.
    AdbBridge();
    explicit AdbBridge(Timeouts timeouts);
    AdbBridge(const AdbBridge&) = delete;
    AdbBridge& operator=(const AdbBridge&) = delete;

    // The phone app's server port on the device, and the host of the tunnel's local end.
    static constexpr quint16 phoneAppPort = 8765;
    static QString tunnelHost() { return QStringLiteral("127.0.0.1"); }

    // A sandboxed process ("APP_SANDBOX_CONTAINER_ID" in its environment) may not start programs.
    static bool isSandboxed();
    static QString rawValue(DeviceState state);

    // Where adb is looked for, in order: $ZORVANE_ADB, the application's own folder, its resource
    // folder (../share/zorvane/android/adb), ~/Android/Sdk/platform-tools/adb, /usr/bin/adb,
    // /usr/local/bin/adb.
    static QStringList candidatePaths();
    // Tests: search these places instead (this machine may have a real adb in the usual ones).
    void setCandidatePathsForTesting(const QStringList& paths) { m_testCandidates = paths; }
    // A runnable adb (cached once found), or nothing.
    std::optional<QString> locateBinary();

    // Throws AdbError.
    QList<Device> listDevices();
    static QList<Device> parseDevices(const QString& listing);

    // Never fail: nothing (or false) on any problem.
    QList<Forward> listForwards();
    static QList<Forward> parseForwards(const QString& listing);
    bool hasForward(const QString& serial, quint16 localPort);
    // The local port used; `preferPort` is tried first. Throws AdbError.
    quint16 createForward(const QString& serial, quint16 remotePort, std::optional<quint16> preferPort);
    void removeForward(const QString& serial, quint16 localPort);
    // A local TCP port free at this moment, or nothing.
    static std::optional<quint16> freeLocalPort();

    // One run of the tool; never throws (failures are in the result).
    RunResult run(const QString& binary, const QStringList& arguments, std::chrono::milliseconds limit);

private:
    // `path` itself when it can be run (after trying to make it so), else a runnable private copy
    // under <AppDataLocation>/bin, else nothing.
    std::optional<QString> makeExecutable(const QString& path);
    void ensureServer(const QString& binary);
    // The tool, its server started: the common first step of listing devices and forwarding.
    // Throws AdbError (sandboxed, binaryNotFound).
    QString startedBinary();

    Timeouts m_timeouts;
    QMutex m_lock;    // the search and the cached binary
    QMutex m_runLock; // held for the whole of every run
    std::optional<QString> m_cachedBinary;
    std::optional<QStringList> m_testCandidates;
    std::atomic<bool> m_serverStarted{false};
};
