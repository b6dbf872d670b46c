// zorvane-fake-adb: answers the adb command lines Zorvane uses, as adb does, from the state
// folder described in fakeadbformat.h. Forwards are real: each one is a relay process.

#include "fakeadbformat.h"
#include "relay.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString g_state;

QString statePath(const QString& name)
{
    return g_state + QLatin1Char('/') + name;
}

void print(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

int fail(const QString& message)
{
    print(stderr, QStringLiteral("adb: error: ") + message + QLatin1Char('\n'));
    return 1;
}

QJsonObject readState()
{
    QFile file(statePath(QLatin1String(fakeadb::stateFile)));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

void logCall(const QStringList& arguments)
{
    QFile file(statePath(QLatin1String(fakeadb::callsFile)));
    if (file.open(QIODevice::WriteOnly | QIODevice::Append))
        file.write(QJsonDocument(QJsonArray::fromStringList(arguments)).toJson(QJsonDocument::Compact) + '\n');
}

// How many times `key` has been asked for so far, this time included.
int countInvocation(const QString& key)
{
    QDir().mkpath(statePath(QLatin1String(fakeadb::countsFolder)));
    QString name = key;
    name.replace(QLatin1Char(' '), QLatin1Char('_')).replace(QLatin1Char('*'), QLatin1String("all"));
    QFile file(statePath(QLatin1String(fakeadb::countsFolder)) + QLatin1Char('/') + name);
    int count = 0;
    if (file.open(QIODevice::ReadOnly))
        count = file.readAll().trimmed().toInt();
    file.close();
    ++count;
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(QByteArray::number(count));
    return count;
}

// The behaviour that applies to this invocation, if any.
QJsonObject behaviourFor(const QJsonObject& state, const QStringList& words)
{
    const QJsonObject commands = state.value(QStringLiteral("commands")).toObject();
    QStringList keys;
    if (words.size() >= 2)
        keys << words[0] + QLatin1Char(' ') + words[1];
    if (!words.isEmpty())
        keys << words[0];
    keys << QStringLiteral("*");
    for (const QString& key : keys) {
        if (!commands.contains(key))
            continue;
        const QJsonObject behaviour = commands.value(key).toObject();
        if (behaviour.contains(QStringLiteral("times"))
            && countInvocation(key) > behaviour.value(QStringLiteral("times")).toInt())
            return {};
        return behaviour;
    }
    return {};
}

[[noreturn]] void hang()
{
    std::signal(SIGTERM, SIG_IGN);
    // Far past any limit; the folder going away means the test is over.
    for (int i = 0; i < 6000 && QFileInfo::exists(g_state); ++i)
        QThread::msleep(100);
    std::_Exit(0);
}

bool ensureServer()
{
    const QString marker = statePath(QLatin1String(fakeadb::serverMarker));
    if (QFileInfo::exists(marker))
        return false;
    QFile(marker).open(QIODevice::WriteOnly);
    print(stderr, QStringLiteral("* daemon not running; starting now at tcp:5037\n"
                                 "* daemon started successfully\n"));
    return true;
}

QList<QJsonObject> devices(const QJsonObject& state)
{
    QList<QJsonObject> list;
    for (const QJsonValue& value : state.value(QStringLiteral("devices")).toArray())
        list.append(value.toObject());
    return list;
}

int listDevices(const QJsonObject& state, bool longListing)
{
    QString out = QStringLiteral("List of devices attached\n");
    int transportId = 0;
    for (const QJsonObject& device : devices(state)) {
        ++transportId;
        const QString serial = device.value(QStringLiteral("serial")).toString();
        QString word = device.value(QStringLiteral("state")).toString(QStringLiteral("device"));
        if (word == QLatin1String("no permissions"))
            word += QStringLiteral(" (user in plugdev group; are your udev rules wrong?); "
                                   "see [http://developer.android.com/tools/device.html]");
        if (!longListing) {
            out += serial + QLatin1Char('\t') + word + QLatin1Char('\n');
            continue;
        }
        out += serial.leftJustified(22) + QLatin1Char(' ') + word;
        const QString model = device.value(QStringLiteral("model")).toString();
        if (model.isEmpty() && !serial.contains(QLatin1Char(':')))
            out += QStringLiteral(" usb:1-%1").arg(transportId);
        if (!model.isEmpty())
            out += QStringLiteral(" product:fake_product model:") + model + QStringLiteral(" device:fake_device");
        out += QStringLiteral(" transport_id:") + QString::number(transportId) + QLatin1Char('\n');
    }
    print(stdout, out + QLatin1Char('\n'));
    return 0;
}

QString forwardsPath()
{
    return statePath(QLatin1String(fakeadb::forwardsFolder));
}

QString recordPath(quint16 port)
{
    return forwardsPath() + QLatin1Char('/') + QString::number(port) + QStringLiteral(".json");
}

QList<QJsonObject> forwardRecords()
{
    QList<QJsonObject> records;
    const QFileInfoList files = QDir(forwardsPath()).entryInfoList({QStringLiteral("*.json")}, QDir::Files);
    for (const QFileInfo& info : files) {
        QFile file(info.filePath());
        if (file.open(QIODevice::ReadOnly))
            records.append(QJsonDocument::fromJson(file.readAll()).object());
    }
    std::sort(records.begin(), records.end(), [](const QJsonObject& a, const QJsonObject& b) {
        return a.value(QStringLiteral("created")).toInteger() < b.value(QStringLiteral("created")).toInteger();
    });
    return records;
}

int listForwards()
{
    QString out;
    for (const QJsonObject& record : forwardRecords()) {
        out += record.value(QStringLiteral("serial")).toString() + QStringLiteral(" tcp:")
               + QString::number(record.value(QStringLiteral("local")).toInt()) + QStringLiteral(" tcp:")
               + QString::number(record.value(QStringLiteral("remote")).toInt()) + QLatin1Char('\n');
    }
    print(stdout, out);
    return 0;
}

std::optional<quint16> tcpPort(const QString& name)
{
    if (!name.startsWith(QLatin1String("tcp:")))
        return std::nullopt;
    bool ok = false;
    const uint port = name.mid(4).toUInt(&ok);
    if (!ok || port > 65535)
        return std::nullopt;
    return quint16(port);
}

void stopRelay(const QJsonObject& record)
{
    const qint64 pid = record.value(QStringLiteral("pid")).toInteger();
    QFile::remove(recordPath(quint16(record.value(QStringLiteral("local")).toInt())));
    if (pid > 0)
        ::kill(pid_t(pid), SIGTERM);
}

int listeningSocket(quint16 port, quint16* bound)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    *bound = ntohs(address.sin_port);
    return fd;
}

int createForward(const QString& serial, const QString& localName, const QString& remoteName, const char* self)
{
    const std::optional<quint16> local = tcpPort(localName);
    const std::optional<quint16> remote = tcpPort(remoteName);
    if (!local || !remote)
        return fail(QStringLiteral("cannot bind listener: unknown address kind"));

    // An existing forward on the same port is replaced, as adb does without --no-rebind.
    bool replaced = false;
    for (const QJsonObject& record : forwardRecords()) {
        if (*local != 0 && record.value(QStringLiteral("local")).toInt() == *local) {
            stopRelay(record);
            replaced = true;
        }
    }
    quint16 bound = 0;
    int fd = listeningSocket(*local, &bound);
    // The relay just told to stop lets go of the port a moment later.
    for (int i = 0; fd < 0 && errno == EADDRINUSE && replaced && i < 40; ++i) {
        QThread::msleep(50);
        fd = listeningSocket(*local, &bound);
    }
    if (fd < 0)
        return fail(QStringLiteral("cannot bind listener: ") + QString::fromLocal8Bit(std::strerror(errno)));

    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fd);
        return fail(QStringLiteral("cannot start the relay"));
    }
    if (pid == 0) {
        ::setsid();
        ::dup2(fd, 3);
        if (fd != 3)
            ::close(fd);
        const int devNull = ::open("/dev/null", O_RDWR);
        ::dup2(devNull, 0);
        ::dup2(devNull, 1);
        const QByteArray log = statePath(QStringLiteral("relay-%1.log").arg(bound)).toLocal8Bit();
        const int logFd = ::open(log.constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(logFd >= 0 ? logFd : devNull, 2);
        for (int other = 4; other < 1024; ++other)
            ::close(other);
        const QByteArray stateArg = g_state.toLocal8Bit();
        const QByteArray localArg = QByteArray::number(bound);
        const QByteArray serialArg = serial.toLocal8Bit();
        const QByteArray remoteArg = QByteArray::number(*remote);
        const char* argv[] = {self, "--relay", stateArg.constData(), localArg.constData(),
                              serialArg.constData(), remoteArg.constData(), nullptr};
        ::execv(self, const_cast<char* const*>(argv));
        std::_Exit(127);
    }
    ::close(fd);

    QDir().mkpath(forwardsPath());
    QFile record(recordPath(bound));
    if (record.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        record.write(QJsonDocument(QJsonObject{{QStringLiteral("serial"), serial},
                                               {QStringLiteral("local"), int(bound)},
                                               {QStringLiteral("remote"), int(*remote)},
                                               {QStringLiteral("pid"), qint64(pid)},
                                               {QStringLiteral("created"), QDateTime::currentMSecsSinceEpoch()}})
                         .toJson(QJsonDocument::Compact));
    }
    if (*local == 0)
        print(stdout, QString::number(bound) + QLatin1Char('\n'));
    return 0;
}

int removeForward(const QString& localName)
{
    const std::optional<quint16> local = tcpPort(localName);
    for (const QJsonObject& record : forwardRecords()) {
        if (local && record.value(QStringLiteral("local")).toInt() == *local) {
            stopRelay(record);
            return 0;
        }
    }
    return fail(QStringLiteral("listener '%1' not found").arg(localName));
}

// The device a command with or without -s is meant for, or the failure adb gives.
std::optional<QJsonObject> targetDevice(const QJsonObject& state, const QString& serial, int* status)
{
    const QList<QJsonObject> all = devices(state);
    if (serial.isEmpty()) {
        if (all.size() == 1)
            return all.first();
        *status = fail(all.isEmpty() ? QStringLiteral("no devices/emulators found")
                                     : QStringLiteral("more than one device/emulator"));
        return std::nullopt;
    }
    for (const QJsonObject& device : all) {
        if (device.value(QStringLiteral("serial")).toString() != serial)
            continue;
        const QString word = device.value(QStringLiteral("state")).toString(QStringLiteral("device"));
        if (word == QLatin1String("device"))
            return device;
        if (word == QLatin1String("unauthorized"))
            *status = fail(QStringLiteral("device unauthorized.\nThis adb server's $ADB_VENDOR_KEYS is not set"));
        else if (word == QLatin1String("offline"))
            *status = fail(QStringLiteral("device offline"));
        else if (word == QLatin1String("no permissions"))
            *status = fail(QStringLiteral("insufficient permissions for device"));
        else
            *status = fail(QStringLiteral("device still connecting"));
        return std::nullopt;
    }
    *status = fail(QStringLiteral("device '%1' not found").arg(serial));
    return std::nullopt;
}

int runCommand(const QStringList& arguments, const char* self)
{
    QString serial;
    QStringList words = arguments;
    if (words.size() >= 2 && words[0] == QLatin1String("-s")) {
        serial = words[1];
        words = words.mid(2);
    }
    const QJsonObject state = readState();
    const QJsonObject behaviour = behaviourFor(state, words);
    if (behaviour.value(QStringLiteral("hang")).toBool())
        hang();
    if (const int delay = behaviour.value(QStringLiteral("delayMs")).toInt(); delay > 0)
        QThread::msleep(ulong(delay));
    if (behaviour.contains(QStringLiteral("exit"))) {
        print(stdout, behaviour.value(QStringLiteral("stdout")).toString());
        print(stderr, behaviour.value(QStringLiteral("stderr")).toString());
        return behaviour.value(QStringLiteral("exit")).toInt();
    }

    const QString command = words.value(0);
    if (command == QLatin1String("start-server")) {
        ensureServer();
        return 0;
    }
    if (command == QLatin1String("kill-server")) {
        if (!QFile::remove(statePath(QLatin1String(fakeadb::serverMarker))))
            return fail(QStringLiteral("cannot connect to daemon at tcp:5037: Connection refused"));
        return 0;
    }
    ensureServer();
    if (command == QLatin1String("devices") && words.size() <= 2)
        return listDevices(state, words.value(1) == QLatin1String("-l"));
    if (command == QLatin1String("forward")) {
        if (words.value(1) == QLatin1String("--list") && words.size() == 2)
            return listForwards();
        if (words.value(1) == QLatin1String("--remove") && words.size() == 3)
            return removeForward(words[2]);
        if (words.size() == 3 && !words[1].startsWith(QLatin1String("--"))) {
            int status = 1;
            if (!targetDevice(state, serial, &status))
                return status;
            return createForward(serial, words[1], words[2], self);
        }
    }
    print(stderr, QStringLiteral("adb: usage: unknown command %1\n").arg(command));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--relay") == 0)
        return runRelay(argc, argv);

    g_state = qEnvironmentVariable(fakeadb::stateVariable);
    if (g_state.isEmpty() || !QFileInfo(g_state).isDir()) {
        std::fprintf(stderr, "zorvane-fake-adb: %s does not name a state folder\n", fakeadb::stateVariable);
        return 2;
    }
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    logCall(arguments);
    // The relay is started by running this very file again.
    const QByteArray self = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget().toLocal8Bit();
    return runCommand(arguments, self.constData());
}
