// The demo media: every item of the show's container rendered procedurally (photographs, the looping
// animation, ring ripples, the bubble and its burst, captions, the caption font, preview, mosaic tiles and
// logos), and the kestdemo command that packs them into a container. The same run gives the same bytes.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace demo {

struct Item {
    uint16_t id;
    std::string type;  // four characters
    std::string name;  // at most 8
    std::string bytes;
};

// The caption font's pixel size.
constexpr int kCaptionFontSize = 16;

// Every item, in id order ("RAX " before "FONT" under the font's id). False with a reason when the
// caption font cannot be opened.
bool RenderItems(std::vector<Item>& items, std::string& error);
// Renders the items and packs them into a container file at path.
bool WriteContainer(const std::string& path, std::string& error);
// kestdemo's command line (without the program name): -o OUT.MSF or --help. Returns the exit status.
int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace demo
