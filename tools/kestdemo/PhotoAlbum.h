// kestdemo --photos: a show container from a folder of the user's photographs. The folder's JPEG and PNG
// files, in name order, fill the two sets of 20 (repeated in order when there are fewer than 40); the 41st
// and 42nd become the background and the mosaic picture, or the first photographs serve again. Everything
// else in the show is the demo's.
#pragma once

#include <ostream>
#include <string>

namespace album {

struct Options {
    std::string folder;
    std::string captionsFile;  // empty: none
    std::string output;
    bool terminal = false;  // the error stream is a terminal: progress is redrawn in place
};

// Builds and writes the container; progress, skipped files and a summary go to err. Returns the exit
// status: 1 (with nothing written) when no photograph in the folder can be read.
int Run(const Options& options, std::ostream& err);

}  // namespace album
