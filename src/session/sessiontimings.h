#pragma once

#include "autoreconnect.h"

// Waits of the wake loop, ensureConnected, the keepalive and the background reconnect; the
// defaults are the real values, tests shorten them.
struct SessionTimings {
    double keepaliveInterval = 5.0; // a ping on each socket while ready
    double keepaliveTimeout = 10.0; // silence after which a socket counts as closed
    AutoReconnect::Timings reconnect = {};
    double wakePause = 3.0; // before each wake attempt
    double wakePoll = 0.2; // while an attempt is connecting
    int wakeAttempts = 10;
    double ensurePoll = 0.1; // ensureConnected
    int moveFlushMs = 16; // pointer motion coalescing
    double selfTestWaitScale = 1.0; // factor on every wait of the self-test
};
