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

// The photographs in each of the two sets.
constexpr int kSetSize = 20;

// One photograph of a set: its feature (252 x 224) and bubble (60 x 60) pictures and its caption in
// Latin-1 bytes.
struct SetPhoto {
    Canvas feature;
    Canvas bubble;
    std::string caption;
};

// The pictures that make one show different from another: the background (800 x 600, shrunk for the
// preview), the picture the mosaic tiles cut up (800 x 600) and kSetSize photographs per set. The demo
// draws them; kestdemo --photos takes them from the user's photographs.
struct ShowPictures {
    Canvas background;
    Canvas mosaic;
    std::vector<SetPhoto> sets[2];
    const char* logos[2] = {"Shapes", "Scenes"};  // the names of the two sets, shown in the corner
};

// The demo's own pictures.
ShowPictures DemoPictures();

// Every item, in id order ("RAX " before "FONT" under the font's id): the given pictures and the demo's
// animations, font and logos. False with a reason when the caption font cannot be opened.
bool RenderItems(const ShowPictures& pictures, std::vector<Item>& items, std::string& error);
// The same with the demo's pictures.
bool RenderItems(std::vector<Item>& items, std::string& error);
// False with a reason when path's folder does not exist, checked before the seconds of rendering.
bool CheckOutputFolder(const std::string& path, std::string& error);
// Renders the items and writes them as a container file at path, atomically.
bool WriteContainer(const ShowPictures& pictures, const std::string& path, std::string& error);
bool WriteContainer(const std::string& path, std::string& error);
// kestdemo's command line (without the program name): -o OUT.MSF, --photos DIR [--captions FILE] -o
// OUT.MSF, or --help. errIsTerminal: progress is redrawn in place. Returns the exit status.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool errIsTerminal);
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace demo
