#pragma once

#include <chrono>

// Every pause, period and frame time-out of the tool in one value. The
// defaults are the production numbers; tests shrink them so a whole job
// chain against the simulated unit takes well under a second of pacing.
struct TPacing {
    using ms = std::chrono::milliseconds;

    ms ComFrameTimeout{5000}; // each read or write on a COM port
    ms UsbFrameTimeout{3000}; // each read or write on the USB bridge
    ms RetryPause{200};       // between attempts of a retried exchange
    ms WorkerStep{1000};      // worker thread: one link step per period
    ms AfterDownload{500};    // after a reply was downloaded
    ms LiveTimer{1100};       // live-value reading tick (GUI thread)
    ms SignalTimer{1000};     // signal strength tick (GUI thread)
    ms SignalRepeat{115000};  // signal monitoring switch-on repeat
    // How long one store-and-forward cycle may see the unit in the same
    // state before the job is given up: 120 worker steps. The unit's modem
    // may take up to a minute to attach and open its GPRS session under poor
    // coverage, and a GPRS round trip to the server takes seconds, so a
    // sound unit always moves on well inside it.
    ms StoreForwardStall{120000};

    static TPacing Production() { return TPacing{}; }

    // Every period divided by `factor` (at least 1 ms each), for tests.
    static TPacing Shrunk(int factor)
    {
        auto s = [factor](ms v) { return v / factor > ms(0) ? v / factor : ms(1); };
        TPacing p;
        p.ComFrameTimeout = s(p.ComFrameTimeout);
        p.UsbFrameTimeout = s(p.UsbFrameTimeout);
        p.RetryPause = s(p.RetryPause);
        p.WorkerStep = s(p.WorkerStep);
        p.AfterDownload = s(p.AfterDownload);
        p.LiveTimer = s(p.LiveTimer);
        p.SignalTimer = s(p.SignalTimer);
        p.SignalRepeat = s(p.SignalRepeat);
        p.StoreForwardStall = s(p.StoreForwardStall);
        return p;
    }
};
