#pragma once

#include <QString>

// A byte count as a file manager shows it: decimal units (1 KB = 1000 bytes), whole kilobytes,
// one decimal for megabytes, two for gigabytes and above.
QString formatByteCount(qint64 bytes);
