#ifndef QUORVANE_SHARED_EVENTWAIT_H
#define QUORVANE_SHARED_EVENTWAIT_H

// How a dialogue waits: the calling (GUI) thread keeps serving the window meanwhile -
// painting, answering the window manager, taking a close request - so that a wait of
// seconds never leaves the window grey and unanswered. Timers are not served during a
// wait: the poll timer, the status bar's message time-out and every other timer are
// handled once the cycle has returned, as when the waits blocked the thread. Keyboard
// and mouse reach a window that does nothing with them.
//
// The tool stops in order: a close of the window or a stop signal (SIGINT, SIGTERM, SIGHUP)
// during a dialogue asks for the stop; the wait running then ends at once (a USB transfer
// runs to its own time-out), the dialogue ends after that step, and the window closes once
// the cycle has returned.

#include <functional>

namespace eventwait {

// Serves the window until `done` holds (true), `timeoutMs` has passed or a stop has been
// asked for (false). `done` is looked at first, and again after every event; the time is
// measured from the call.
bool until(const std::function<bool()> &done, int timeoutMs);

// A fixed pause of `ms` that serves the window. False when it ended because a stop has
// been asked for: the dialogue is to end there.
bool pause(int ms);

// Handles the window's pending events once, without waiting: for loops that wait on
// something Qt does not watch (libusb's events) in short slices.
void serve();

// Whether the tool is to stop: a close during a cycle, or one of the stop signals.
bool stopping();
void requestStop();

// From now on SIGINT, SIGTERM and (where the system has it) SIGHUP ask for the stop
// instead of ending the process at once. SIGKILL cannot be caught.
void stopOnSignals();

} // namespace eventwait

#endif // QUORVANE_SHARED_EVENTWAIT_H
