#pragma once

#include <chrono>

// The request watchdog's clock. The defaults are the product's; tests shorten them.
struct TransportTimings
{
    std::chrono::milliseconds idleLimitWiFi{30'000};
    std::chrono::milliseconds idleLimitTunnel{120'000};
    std::chrono::milliseconds watchdogTick{5'000};
};
