#pragma once

#include <QCoroTask>
#include <QString>

#include <chrono>

// The two kinds of line the program writes to standard output, each written whole and flushed
// at once so lines of concurrent requests never interleave.
namespace Diagnostics {

// "[DIAG] " + line: request and folder-transfer diagnostics.
void writeDiagnostic(const QString& line);
// "[VERIFY] " + line: transfer verification reports.
void writeVerification(const QString& line);

} // namespace Diagnostics

// Suspends the calling coroutine for `duration`, letting the event loop run.
QCoro::Task<void> pauseFor(std::chrono::milliseconds duration);
