#pragma once

#include <QString>

// What the bound TAP's tunnel just did, for watchers outside the windows (tray icon, desktop
// notifications). Watching changes nothing the windows do.
enum class TunnelEvent {
    Launching,        // a tunnel program was started (first connection or a reconnect attempt)
    Connected,        // CONNECTED/SUCCESS
    Dropped,          // the drop event: connection reset, or a new TCP connect
    ReconnectAttempt, // a reconnect tick launched attempt `attempt`
    RestartRequested, // the platform was asked to restart the far end
    ConnectTimeout,   // a first connection stayed silent for 30 s
    SwitchedOff,      // switched off, reconnecting cancelled, or the binding released
    Down,             // torn down without a reconnect cycle (watchdog, unreachable platform, launch failure)
};

struct TunnelStatus {
    QString tapSerial;
    bool connected = false;
    bool reconnecting = false; // a reconnect cycle runs
    int attempt = 0;           // reconnect attempts in the current cycle (before a Connected: how many it took)
};

class TunnelObserver {
public:
    virtual ~TunnelObserver() = default;
    virtual void tunnelEvent(TunnelEvent event, const TunnelStatus &status) = 0;
    // The tunnel's facts (address, traffic, last failure) changed.
    virtual void tunnelFactsChanged() {}
};
