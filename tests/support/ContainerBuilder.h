// Builds media containers in memory for tests, through the writer the tools use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/MsfWriter.h"

namespace testsupport {

using Item = msf::Item;

inline void PutU16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
    out[at] = uint8_t(v);
    out[at + 1] = uint8_t(v >> 8);
}

inline void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out[at + size_t(i)] = uint8_t(v >> (8 * i));
    }
}

// The items in the order given, so a test may write an unsorted directory on purpose; empty when the
// writer refuses them.
inline std::vector<uint8_t> BuildContainer(const std::vector<Item>& items) {
    std::vector<uint8_t> out;
    msf::WriteContainer(items, out);
    return out;
}

// host followed by container and its 4-byte length.
inline std::vector<uint8_t> AppendContainer(std::vector<uint8_t> host,
                                            const std::vector<uint8_t>& container) {
    host.insert(host.end(), container.begin(), container.end());
    size_t at = host.size();
    host.resize(at + 4);
    PutU32(host, at, uint32_t(container.size()));
    return host;
}

}  // namespace testsupport
