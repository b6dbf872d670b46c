#pragma once

#include <QJsonValue>

#include <optional>

// A JSON number that is a whole 64-bit integer, exactly: byte counts beyond 2^53 keep every digit
// (a round trip through double would not), and 1.5 or a string is not one.
inline std::optional<qint64> jsonInteger(const QJsonValue& value)
{
    if (!value.isDouble())
        return std::nullopt;
    // toInteger gives its fallback for anything that is not a whole number in range; two
    // different fallbacks tell that case from a real value.
    const qint64 first = value.toInteger(0);
    if (first != value.toInteger(1))
        return std::nullopt;
    return first;
}
