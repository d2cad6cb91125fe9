// Writing media containers: the one place that lays out a header, a directory and the items' bytes. The
// authoring tools and the tests build their containers here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace msf {

// An item to be written.
struct Item {
    uint16_t id = 0;
    std::string type;  // exactly four bytes ("RIX ")
    std::string name;  // at most 8 bytes; kept in the directory, never used for lookup
    std::string bytes;
};

enum class WriteResult {
    kOk,
    kNoItems,       // readers refuse a container without entries
    kTooManyItems,  // the entry count is a signed 16-bit value
    kTooLarge,      // a container's length is a signed 32-bit value
    kBadType,       // not four bytes
    kNameTooLong,
};

constexpr int32_t kMostItems = 32767;
constexpr int64_t kMostBytes = INT32_MAX;

// Where each item of the given sizes starts when the items follow the directory in this order.
WriteResult PlaceItems(const std::vector<int64_t>& sizes, std::vector<uint32_t>& offsets);

// The container holding the items in the order given. A reader searches the directory by id, so callers
// sort first (SortById) unless they mean to write an unsorted container. out is empty after a failure.
WriteResult WriteContainer(const std::vector<Item>& items, std::vector<uint8_t>& out);

// Puts the items in id order, items of one id keeping their order. False when two items share id and type:
// first and second are then their positions before sorting, and the items stay as they were.
bool SortById(std::vector<Item>& items, size_t& first, size_t& second);

}  // namespace msf
