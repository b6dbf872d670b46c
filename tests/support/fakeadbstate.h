#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

// A state folder for zorvane-fake-adb (format: fakeadb/fakeadbformat.h), live for one test.
// Creating it points $ZORVANE_FAKE_ADB_STATE at it; every change is written at once, so the next
// adb run sees it. The binary comes from $ZORVANE_FAKE_ADB_BIN.
class FakeAdbState
{
public:
    struct Device
    {
        QString serial{};
        QString state = QStringLiteral("device");
        QString model{};        // as adb prints it, "_" for spaces; empty: none printed
        quint16 phonePort = 0;  // where the device's port 8765 leads; 0: nothing listens there
    };

    struct Behaviour
    {
        bool hang = false;      // ignores the terminate request
        int delayMs = 0;        // a slow adb
        std::optional<int> exitStatus{}; // answer with this status and the texts below instead
        QString standardOutput{};
        QString standardError{};
        int times = 0;          // misbehave this many times only; 0: always

        static Behaviour hanging() { return {.hang = true}; }
        static Behaviour slow(int ms) { return {.delayMs = ms}; }
        static Behaviour failing(int status, const QString& err = {}, const QString& out = {})
        {
            return {.exitStatus = status, .standardOutput = out, .standardError = err};
        }
    };

    struct Forward
    {
        QString serial;
        quint16 localPort = 0;
        quint16 remotePort = 0;
        qint64 relayPid = 0;
    };

    FakeAdbState();
    ~FakeAdbState(); // stops the relays and restores the environment
    FakeAdbState(const FakeAdbState&) = delete;
    FakeAdbState& operator=(const FakeAdbState&) = delete;

    static QString binaryPath();
    QString folder() const { return m_dir.path(); }
    // Makes the fake the adb AdbBridge finds first ($ZORVANE_ADB).
    void useAsAdb();

    void setDevices(const QList<Device>& devices);
    // `command`: "devices -l", "forward --list", "forward", "start-server", ... or "*" for all.
    void setBehaviour(const QString& command, const Behaviour& behaviour);
    void clearBehaviours();

    // The argument lists of every run so far, oldest first.
    QList<QStringList> calls() const;
    void clearCalls();
    bool serverRunning() const;

    QList<Forward> forwards() const;
    // Takes a forward away behind the app's back: kills its relay and forgets it.
    bool dropForward(quint16 localPort);
    void stopAllRelays();

private:
    void write();

    QTemporaryDir m_dir;
    QList<Device> m_devices;
    QList<std::pair<QString, Behaviour>> m_behaviours;
    std::optional<QByteArray> m_previousAdb;
    bool m_setAdb = false;
};
