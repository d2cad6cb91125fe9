#include "media/MsfWriter.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "media/MsfFormat.h"

namespace msf {

WriteResult PlaceItems(const std::vector<int64_t>& sizes, std::vector<uint32_t>& offsets) {
    offsets.clear();
    if (sizes.empty()) {
        return WriteResult::kNoItems;
    }
    if (sizes.size() > size_t(kMostItems)) {
        return WriteResult::kTooManyItems;
    }
    int64_t offset = DirectoryEnd(int64_t(sizes.size()));
    for (int64_t size : sizes) {
        if (size < 0 || size > kMostBytes - offset) {
            offsets.clear();
            return WriteResult::kTooLarge;
        }
        offsets.push_back(uint32_t(offset));
        offset += size;
    }
    return WriteResult::kOk;
}

WriteResult WriteContainer(const std::vector<Item>& items, std::vector<uint8_t>& out) {
    out.clear();
    std::vector<int64_t> sizes;
    for (const Item& item : items) {
        if (item.type.size() != 4) {
            return WriteResult::kBadType;
        }
        if (item.name.size() > sizeof ZMediaEntry::name) {
            return WriteResult::kNameTooLong;
        }
        sizes.push_back(int64_t(item.bytes.size()));
    }
    std::vector<uint32_t> offsets;
    WriteResult placed = PlaceItems(sizes, offsets);
    if (placed != WriteResult::kOk) {
        return placed;
    }
    out.resize(size_t(DirectoryEnd(int64_t(items.size()))));
    WriteU16(out.data(), kVersion);
    WriteU16(out.data() + 2, uint16_t(items.size()));
    for (size_t i = 0; i < items.size(); ++i) {
        ZMediaEntry entry;
        entry.id = items[i].id;
        ParseTypeCode(items[i].type, entry.type);
        std::memcpy(entry.name, items[i].name.data(), items[i].name.size());
        entry.offset = offsets[i];
        entry.size = uint32_t(items[i].bytes.size());
        WriteEntry(entry, out.data() + kHeaderSize + i * kEntrySize);
    }
    for (const Item& item : items) {
        out.insert(out.end(), item.bytes.begin(), item.bytes.end());
    }
    return WriteResult::kOk;
}

bool SortById(std::vector<Item>& items, size_t& first, size_t& second) {
    std::vector<size_t> order(items.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return items[a].id < items[b].id; });
    for (size_t i = 1; i < order.size(); ++i) {
        const Item& item = items[order[i]];
        for (size_t j = i; j-- > 0 && items[order[j]].id == item.id;) {
            if (items[order[j]].type == item.type) {
                first = order[j];
                second = order[i];
                return false;
            }
        }
    }
    std::vector<Item> sorted;
    sorted.reserve(items.size());
    for (size_t k : order) {
        sorted.push_back(std::move(items[k]));
    }
    items = std::move(sorted);
    return true;
}

}  // namespace msf
