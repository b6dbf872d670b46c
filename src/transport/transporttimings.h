#pragma once

#include <chrono>

// The clocks of talking to a phone: the request watchdog, the keep-alive ping while a transfer
// runs, the pause before a folder transfer's second attempt, and discovery's. The defaults are the product's;
// tests shorten them.
struct TransportTimings
{
    std::chrono::milliseconds idleLimitWiFi{30'000};
    std::chrono::milliseconds idleLimitTunnel{120'000};
    std::chrono::milliseconds watchdogTick{5'000};
    std::chrono::milliseconds keepAliveInterval{30'000};
    std::chrono::milliseconds retryPause{1'500};
    // Discovery starts over this often, and this long after a failure.
    std::chrono::milliseconds discoveryRefresh{12'000};
    std::chrono::milliseconds discoveryRetry{2'000};
    // How long a discovered phone's address may take to look up, per interface tried.
    std::chrono::milliseconds resolveLimit{5'000};
    // Android devices on a cable are listed this often.
    std::chrono::milliseconds adbPoll{2'000};
};
