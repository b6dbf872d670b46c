#pragma once

#include "adb/adbbridge.h"

#include <QString>

#include <functional>
#include <optional>

// Short limits, so a test about a hung adb does not take the product's eight seconds.
inline AdbBridge::Timeouts quickTimeouts(std::chrono::milliseconds limit = std::chrono::milliseconds(5000),
                                         std::chrono::milliseconds afterLimit = std::chrono::milliseconds(1000))
{
    AdbBridge::Timeouts timeouts;
    timeouts.serverStart = timeouts.listDevices = timeouts.createForward = limit;
    timeouts.listForwards = timeouts.removeForward = limit;
    timeouts.afterLimit = afterLimit;
    return timeouts;
}

struct CaughtAdbError
{
    AdbBridge::AdbError::Kind kind;
    QString description;
};

// The AdbError `operation` threw, or nothing when it returned.
inline std::optional<CaughtAdbError> adbErrorOf(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const AdbBridge::AdbError& error) {
        return CaughtAdbError{error.kind(), error.description()};
    }
    return std::nullopt;
}
