// Builds media containers in memory for tests: items in id order behind a sorted directory.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace testsupport {

struct Item {
    uint16_t id;
    std::string type;  // four characters
    std::string name;  // at most 8
    std::string bytes;
};

inline void PutU16(std::vector<uint8_t>& out, size_t at, uint16_t v) {
    out[at] = uint8_t(v);
    out[at + 1] = uint8_t(v >> 8);
}

inline void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out[at + size_t(i)] = uint8_t(v >> (8 * i));
    }
}

// Items must be given in id order.
inline std::vector<uint8_t> BuildContainer(const std::vector<Item>& items) {
    size_t dirEnd = 8 + 22 * items.size();
    std::vector<uint8_t> out(dirEnd, 0);
    PutU16(out, 0, 5);
    PutU16(out, 2, uint16_t(items.size()));
    size_t offset = dirEnd;
    for (size_t i = 0; i < items.size(); ++i) {
        size_t at = 8 + 22 * i;
        PutU16(out, at, items[i].id);
        std::memcpy(&out[at + 2], items[i].type.data(), 4);
        std::memcpy(&out[at + 6], items[i].name.data(), std::min<size_t>(items[i].name.size(), 8));
        PutU32(out, at + 14, uint32_t(offset));
        PutU32(out, at + 18, uint32_t(items[i].bytes.size()));
        offset += items[i].bytes.size();
    }
    for (const Item& item : items) {
        out.insert(out.end(), item.bytes.begin(), item.bytes.end());
    }
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
