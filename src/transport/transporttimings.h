#pragma once

#include <chrono>

// The clocks of talking to a phone: the request watchdog, the keep-alive ping while a transfer
// runs, and the pause before a folder transfer's second attempt. The defaults are the product's;
// tests shorten them.
struct TransportTimings
{
    std::chrono::milliseconds idleLimitWiFi{30'000};
    std::chrono::milliseconds idleLimitTunnel{120'000};
    std::chrono::milliseconds watchdogTick{5'000};
    std::chrono::milliseconds keepAliveInterval{30'000};
    std::chrono::milliseconds retryPause{1'500};
};
