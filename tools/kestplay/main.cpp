#include <signal.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "tools/kestplay/PlayTool.h"

namespace {

void OnInterrupt(int) {
    playtool::RequestStop();
}

}  // namespace

int main(int argc, char** argv) {
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    playtool::SetInteractive(isatty(STDOUT_FILENO) != 0);
    std::vector<std::string> args(argv + 1, argv + argc);
    return playtool::Run(args, std::cout, std::cerr);
}
