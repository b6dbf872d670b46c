#pragma once

#include <QString>

// One line of results on standard output, or of failure on standard error, written at once.
void printOut(const QString& text);
void printError(const QString& text);
