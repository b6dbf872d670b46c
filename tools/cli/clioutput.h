#pragma once

#include <QString>

#include <functional>

// One line of results on standard output, or of failure on standard error, written at once.
void printOut(const QString& text);
void printError(const QString& text);

// Called before every line printed, e.g. to clear a progress bar drawn in place.
void setBeforeEachPrint(std::function<void()> hook);
