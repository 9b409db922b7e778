#pragma once
// The panel session's ticks without a window, for the commands that run it
// (monitor, auto). The ticker's thread writes one byte to a pipe for every
// tick; a thread of its own takes SIGINT, SIGTERM, SIGHUP and SIGQUIT (blocked everywhere
// else, the serial reader included) and writes another. The command's own
// thread sleeps on the pipe and runs each tick on the session, so the tick's
// work exists once, in the session, as in the window. A command that also
// waits for its operator (adjust test) has the loop watch standard input.
//
// Thread contract: construct, Start and Wait on the command's thread, before
// and after the link's reader thread exists; BlockStopSignals must come
// before any other thread is started, so that every thread inherits the mask.

#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "panelcore/PanelTicker.h"

namespace velmora::ctl {

// SIGINT, SIGTERM, SIGHUP and SIGQUIT blocked for the calling thread and
// every thread it starts afterwards (the tick loop's thread takes them as a
// stop); SIGPIPE ignored.
void BlockStopSignals();

// A write to standard output failed (its reader went, with SIGPIPE
// ignored): nobody reads what the command prints, so it ends as on a stop.
bool OutputGone();

class TickLoop {
public:
    enum class Wake { Tick, Stop, Input };

    explicit TickLoop(Clock& clock);
    ~TickLoop();
    TickLoop(const TickLoop&) = delete;
    TickLoop& operator=(const TickLoop&) = delete;

    // False when the pipe or a thread cannot be had.
    bool Start();
    // Wait also wakes when `fd` has something to read or has ended
    // (Wake::Input); the caller reads it. -1, the default, watches nothing.
    void WatchInput(int fd) { m_input = fd; }
    // Blocks until the next tick is due, a stop signal came or the watched
    // input can be read; a stop comes before the other two.
    Wake Wait();

private:
    PanelTicker m_ticker;
    int m_pipe[2] = {-1, -1};
    int m_input = -1;
    std::atomic<bool> m_bDone{false};
    std::thread m_signals;
};

} // namespace velmora::ctl
