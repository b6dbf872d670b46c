#include "diagnostics.h"

#include <QCoroTimer>
#include <QTimer>

#include <cstdio>

namespace {

void writeLine(const QByteArray& prefix, const QString& line)
{
    const QByteArray bytes = prefix + line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

} // namespace

namespace Diagnostics {

void writeDiagnostic(const QString& line)
{
    writeLine(QByteArrayLiteral("[DIAG] "), line);
}

void writeVerification(const QString& line)
{
    writeLine(QByteArrayLiteral("[VERIFY] "), line);
}

} // namespace Diagnostics

QCoro::Task<void> pauseFor(std::chrono::milliseconds duration)
{
    QTimer timer;
    timer.setSingleShot(true);
    timer.start(duration);
    co_await timer;
}
