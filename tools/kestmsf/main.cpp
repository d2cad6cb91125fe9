#include <iostream>
#include <string>
#include <vector>

#include "tools/kestmsf/MsfTool.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return msftool::Run(args, std::cout, std::cerr);
}
