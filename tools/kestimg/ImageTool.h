// kestimg: looks at and converts images through the framework's own readers. Each command returns the
// process exit status (0 or 1) and reports a failure as one line on the error stream.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace imgtool {

// Runs the command line (without the program name). out receives normal output, err the messages.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace imgtool
