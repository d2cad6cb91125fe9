// kestplay: plays a WAVE or raw sound through the framework's audio (device, mixer and sound channel),
// shows the position as it plays, and reports a file it cannot play in one line. Run returns the process
// exit status: 0 when played, 1 on a failure, 130 when stopped by an interrupt.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace playtool {

// Runs the command line (without the program name). out receives the progress and the summary, err the
// messages.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Asks a Run in progress to stop at once; safe to call from a signal handler.
void RequestStop();

// Whether out is a terminal, where the position is redrawn in place (else a line per second).
void SetInteractive(bool interactive);

}  // namespace playtool
