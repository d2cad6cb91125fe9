// Runs a command-line tool's entry point (Run(args, out, err)) in the test process and keeps what it
// printed.
#pragma once

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace testsupport {

struct ToolResult {
    int status;
    std::string out;
    std::string err;
};

inline ToolResult RunTool(int (*run)(const std::vector<std::string>&, std::ostream&, std::ostream&),
                          const std::vector<std::string>& args) {
    std::ostringstream out, err;
    int status = run(args, out, err);
    return ToolResult{status, out.str(), err.str()};
}

}  // namespace testsupport
