#pragma once

#include <QCollator>

// The order a file browser shows names in: letter case ignored, digit runs compared by value
// (file1, File2, file10). Qt's collator for the "C" locale ignores both settings, so a process
// without a locale uses the root collation (which English is).
QCollator fileBrowserCollator();
