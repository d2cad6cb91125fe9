// The demo media: every item of the show's container rendered procedurally (photographs, the looping
// animation, ring ripples, the bubble and its burst, captions, the caption font, preview, mosaic tiles and
// logos), and the kestdemo command that writes them as a container. The same run gives the same bytes.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "media/MsfWriter.h"
#include "tools/kestdemo/DemoDraw.h"

namespace demo {

// The shared item of the container writer, under the name the demo's callers know.
using Item = msf::Item;

// The caption font's pixel size.
constexpr int kCaptionFontSize = 16;

// Frame k (0..79) of the looping animation, 250 x 220.
Canvas LoopFrame(int k);
// The alpha plane (0..63) shared by every frame of a ring kind of the given size.
std::vector<uint8_t> RingAlpha(int size);
// Frame k of n of a ring: the first and the last show the ring at rest, the ones between a ripple.
Canvas RingFrame(int size, int k, int n);

// Every item, in id order ("RAX " before "FONT" under the font's id). False with a reason when the
// caption font cannot be opened.
bool RenderItems(std::vector<Item>& items, std::string& error);
// Renders the items and writes them as a container file at path.
bool WriteContainer(const std::string& path, std::string& error);
// kestdemo's command line (without the program name): -o OUT.MSF or --help. Returns the exit status.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace demo
