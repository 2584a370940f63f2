// The window server that AwaitRequest calls while a request is pending, shared
// by the POSIX and Win32 waits.
#pragma once

namespace platform::detail {

// A served window answers within this long while a request is pending (the
// desktop gives up on a window after about 5 s, Windows wants its queue served
// at least every 100 ms).
constexpr unsigned kServeEveryMs = 20;

// Whether AwaitRequest has windows to serve: a server is registered and this
// is not a wait started from within it.
bool WindowsToServe();

// Serves the windows when `now` or once kServeEveryMs have passed since the
// last time, so that the time-slice polls do not call the toolkit each pass.
void ServeWindows(bool now);

} // namespace platform::detail
