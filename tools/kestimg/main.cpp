#include <iostream>
#include <string>
#include <vector>

#include "tools/kestimg/ImageTool.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return imgtool::Run(args, std::cout, std::cerr);
}
