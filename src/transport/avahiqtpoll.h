#pragma once

#include <avahi-common/watch.h>

// Avahi's event-loop interface served by the Qt event loop of the calling thread: file watches
// become socket notifiers and timeouts become timers, so Avahi's clients run on the GUI thread
// with everything else and need no thread of their own.
class AvahiQtPoll
{
public:
    // The interface for avahi_client_new(); valid for the life of the process. Watches and
    // timeouts it creates belong to the thread that creates them.
    static const AvahiPoll* api();
};
