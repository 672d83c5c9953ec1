#pragma once
// Ends the program on SIGTERM, SIGINT and SIGHUP (a kill, Ctrl+C in a terminal, the end of
// the session) through the quit action, as the quit button does. The signal handler only
// writes a byte to a pipe; the GUI thread reads it and runs the action, also while a message
// box or another nested event loop is running. GUI thread only; install once.
#include <functional>

namespace plim {

void quitOnSignals(std::function<void()> quit);

// Also ends the program through the quit action when something else calls exit(): the
// toolkit does when the X server goes away or the session closes the connection. The action
// ends the process itself, so the windows are never torn down by static destructors in an
// arbitrary order afterwards (which crashed).
void quitAtExit(std::function<void()> quit);

}  // namespace plim
