#include "diagnostics.h"

#include <QCoroTimer>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace {

std::atomic<Diagnostics::DiagnosticSink> diagnosticSink{Diagnostics::DiagnosticSink::standardOutput};
// Set once at start-up; the mutex also keeps a line and the hook before it together.
std::mutex writing;
std::function<void()> beforeEachLine;

void writeLine(std::FILE* stream, const QByteArray& prefix, const QString& line)
{
    const QByteArray bytes = prefix + line.toUtf8() + '\n';
    const std::lock_guard lock(writing);
    if (beforeEachLine)
        beforeEachLine();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

namespace Diagnostics {

void setDiagnosticSink(DiagnosticSink sink)
{
    diagnosticSink = sink;
}

void setBeforeEachLine(std::function<void()> hook)
{
    const std::lock_guard lock(writing);
    beforeEachLine = std::move(hook);
}

void writeDiagnostic(const QString& line)
{
    switch (diagnosticSink.load()) {
    case DiagnosticSink::standardOutput:
        writeLine(stdout, QByteArrayLiteral("[DIAG] "), line);
        return;
    case DiagnosticSink::standardError:
        writeLine(stderr, QByteArrayLiteral("[DIAG] "), line);
        return;
    case DiagnosticSink::nowhere:
        return;
    }
}

void writeVerification(const QString& line)
{
    writeLine(stdout, QByteArrayLiteral("[VERIFY] "), line);
}

} // namespace Diagnostics

QCoro::Task<void> pauseFor(std::chrono::milliseconds duration)
{
    QTimer timer;
    timer.setSingleShot(true);
    timer.start(duration);
    co_await timer;
}
