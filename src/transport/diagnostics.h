#pragma once

#include <QCoroTask>
#include <QString>

#include <chrono>
#include <functional>

// The two kinds of line the program writes to standard output, each written whole and flushed
// at once so lines of concurrent requests never interleave.
namespace Diagnostics {

// Where "[DIAG] " lines go. The window and the tests keep them on standard output; the command
// line shows them only when asked (--verbose), and then on standard error.
enum class DiagnosticSink { standardOutput, standardError, nowhere };
void setDiagnosticSink(DiagnosticSink sink);

// Called on the writing thread before every line, e.g. to clear a progress bar drawn in place.
void setBeforeEachLine(std::function<void()> hook);

// "[DIAG] " + line: request and folder-transfer diagnostics.
void writeDiagnostic(const QString& line);
// "[VERIFY] " + line: transfer verification reports, always on standard output.
void writeVerification(const QString& line);

} // namespace Diagnostics

// Suspends the calling coroutine for `duration`, letting the event loop run.
QCoro::Task<void> pauseFor(std::chrono::milliseconds duration);
