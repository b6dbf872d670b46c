#include "bytecountformat.h"

#include "languagemanager.h"
#include "texttemplate.h"

QString formatByteCount(qint64 bytes)
{
    if (bytes < 1000 && bytes > -1000)
        return localizedFormat("%lld 字节", {bytes});
    struct Unit { const char* name; double size; int decimals; };
    static constexpr Unit units[] = {{"KB", 1e3, 0}, {"MB", 1e6, 1}, {"GB", 1e9, 2}, {"TB", 1e12, 2}, {"PB", 1e15, 2}};
    const double value = double(bytes);
    const Unit* unit = &units[0];
    for (const Unit& candidate : units) {
        if (std::abs(value) >= candidate.size)
            unit = &candidate;
    }
    return QString::number(value / unit->size, 'f', unit->decimals) + QLatin1Char(' ') + QLatin1String(unit->name);
}
