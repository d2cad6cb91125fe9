// The media container format. All integers are little-endian. A container starts with an 8-byte header
// (version u16, entry count i16, reserved u32), then the directory of 22-byte entries sorted by id, then the
// items' bytes. In the appended form a host file ends with the container and a 4-byte trailer holding the
// container's length. An entry of type "MSF " points at a variant table: a u32 count n and n entries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/ZTypeCode.h"

struct ZMediaEntry {
    uint16_t id = 0;
    ZTypeCode type = 0;
    char name[8] = {};    // NUL-padded; kept, never used for lookup
    uint32_t offset = 0;  // from the start of the container
    uint32_t size = 0;
};

namespace msf {

constexpr int32_t kHeaderSize = 8;
constexpr int32_t kEntrySize = 22;
constexpr int32_t kTrailerSize = 4;
constexpr uint16_t kVersion = 5;

uint16_t ReadU16(const uint8_t* p);
uint32_t ReadU32(const uint8_t* p);
void WriteU16(uint8_t* p, uint16_t v);
void WriteU32(uint8_t* p, uint32_t v);

ZMediaEntry ParseEntry(const uint8_t* bytes);
void WriteEntry(const ZMediaEntry& entry, uint8_t* bytes);
// The entry's name up to its first NUL.
std::string EntryName(const ZMediaEntry& entry);

// Where the appended container lies in a host file, from the file's size and its trailer: false unless the
// whole trailer was read and 0 <= length <= size - 4.
bool LocateAppended(int64_t fileSize, const uint8_t* trailer, int32_t trailerBytes, int64_t& base,
                    int64_t& length);

// The bytes a directory of count entries takes, header included (64-bit: no wrap-around).
inline int64_t DirectoryEnd(int64_t count) {
    return kHeaderSize + kEntrySize * count;
}

// Appends a line for every problem of a container's directory: ids out of order and entries that lie
// outside the item data. A directory without problems can be searched and every entry read.
void CheckDirectory(const std::vector<ZMediaEntry>& entries, int64_t containerLength,
                    std::vector<std::string>& problems);

// Appends a line for every problem of a variant table entry whose table bytes are given.
void CheckVariantTable(const ZMediaEntry& entry, const std::vector<uint8_t>& table, int64_t containerLength,
                       std::vector<std::string>& problems);

}  // namespace msf
