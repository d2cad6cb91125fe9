// Captions of the user's photographs: the captions file ("file name<TAB>caption" lines, UTF-8), camera
// descriptions worth showing, file names made readable, and the Latin-1 bytes the caption font draws.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace captions {

// The longest caption kept, in bytes: two lines under a feature photograph.
constexpr size_t kMostCaptionBytes = 48;

// Reads a captions file's text into file name -> caption (UTF-8 as written). Blank lines and lines
// starting with '#' are ignored; a line without a name, a TAB and a caption gives "line N: ..." in
// problems and is skipped. A later line for the same name wins.
void Parse(std::string_view text, std::map<std::string, std::string>& captions,
           std::vector<std::string>& problems);

// The caption as stored: UTF-8 turned into Latin-1 bytes ('?' for a character outside Latin-1 or a
// broken sequence), control characters and runs of spaces made single spaces, trimmed, and cut to
// kMostCaptionBytes at a space where one is near.
std::string ToStored(std::string_view utf8);

// A camera's ImageDescription worth showing: not empty once trimmed and not one of the strings cameras
// write by themselves ("OLYMPUS DIGITAL CAMERA").
bool IsMeaningfulDescription(std::string_view description);

// A file name made readable: extension dropped, '_' and '-' as spaces ("IMG_2041-beach_day.jpg" ->
// "IMG 2041 beach day"); ToStored collapses the spaces.
std::string FromFileName(const std::string& name);

}  // namespace captions
