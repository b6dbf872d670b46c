#include "adbbridge.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringDecoder>

#include <algorithm>

namespace {

// Invalid UTF-8 gives nothing rather than a text full of replacement characters.
QString decodeStrictly(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}

int clampedMilliseconds(std::chrono::milliseconds duration)
{
    return int(std::clamp<std::chrono::milliseconds::rep>(duration.count(), 0, 24 * 3600 * 1000));
}

} // namespace

AdbBridge::RunResult AdbBridge::run(const QString& binary, const QStringList& arguments,
                                    std::chrono::milliseconds limit)
{
    QMutexLocker runLocker(&m_runLock);

    QProcess process;
    process.setProgram(binary);
    process.setArguments(arguments);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Trace output would land in the streams we parse.
    environment.remove(QStringLiteral("ADB_TRACE"));
    environment.insert(QStringLiteral("HOME"), QDir::homePath());
    process.setProcessEnvironment(environment);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);

    RunResult result;
    process.start();
    if (!process.waitForStarted()) {
        result.standardError = process.errorString();
        return result;
    }

    // The blocking waits need no event loop, so this works on any pool thread; they also keep
    // both pipes drained while they wait.
    if (!process.waitForFinished(clampedMilliseconds(limit)) && process.state() != QProcess::NotRunning) {
        // One polite request only: an adb that ignores it is left to the QProcess destructor,
        // which kills it outright when `process` goes out of scope below.
        process.terminate();
        process.waitForFinished(clampedMilliseconds(m_timeouts.afterLimit));
    }

    result.status = process.state() == QProcess::NotRunning ? process.exitCode() : -1;
    result.standardOutput = decodeStrictly(process.readAllStandardOutput());
    result.standardError = decodeStrictly(process.readAllStandardError());
    return result;
}
