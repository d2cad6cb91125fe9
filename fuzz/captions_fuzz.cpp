// Reads arbitrary bytes as a kestdemo captions file and stores each caption as the show would.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "tools/kestdemo/Captions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16)) {
        return 0;
    }
    std::map<std::string, std::string> captions;
    std::vector<std::string> problems;
    captions::Parse(std::string_view(reinterpret_cast<const char*>(data), size), captions, problems);
    for (const auto& [name, caption] : captions) {
        if (captions::ToStored(caption).size() > captions::kMostCaptionBytes ||
            captions::ToStored(captions::FromFileName(name)).size() > captions::kMostCaptionBytes) {
            __builtin_trap();  // stored captions never pass the caption box's limit
        }
    }
    return 0;
}
