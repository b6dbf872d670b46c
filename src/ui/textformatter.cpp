#include "textformatter.h"

#include "bytecountformat.h"

QString TextFormatter::fileSize(qint64 bytes) const
{
    return formatByteCount(bytes);
}
