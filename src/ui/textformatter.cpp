#include "textformatter.h"

#include "common/bytecountformat.h"

QString TextFormatter::fileSize(qint64 bytes) const
{
    return formatByteCount(bytes);
}
