#include "media/MsfFormat.h"

#include <cstring>

namespace msf {

uint16_t ReadU16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}

uint32_t ReadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void WriteU16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void WriteU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = uint8_t(v >> (8 * i));
    }
}

ZMediaEntry ParseEntry(const uint8_t* bytes) {
    ZMediaEntry e;
    e.id = ReadU16(bytes);
    e.type = ReadU32(bytes + 2);
    std::memcpy(e.name, bytes + 6, sizeof e.name);
    e.offset = ReadU32(bytes + 14);
    e.size = ReadU32(bytes + 18);
    return e;
}

void WriteEntry(const ZMediaEntry& entry, uint8_t* bytes) {
    WriteU16(bytes, entry.id);
    WriteU32(bytes + 2, entry.type);
    std::memcpy(bytes + 6, entry.name, sizeof entry.name);
    WriteU32(bytes + 14, entry.offset);
    WriteU32(bytes + 18, entry.size);
}

std::string EntryName(const ZMediaEntry& entry) {
    return std::string(entry.name, strnlen(entry.name, sizeof entry.name));
}

bool LocateAppended(int64_t fileSize, const uint8_t* trailer, int32_t trailerBytes, int64_t& base,
                    int64_t& length) {
    if (trailerBytes != kTrailerSize || fileSize < kTrailerSize) {
        return false;
    }
    int64_t l = int32_t(ReadU32(trailer));  // a stored length is a signed 32-bit value
    if (l < 0 || l > fileSize - kTrailerSize) {
        return false;
    }
    base = fileSize - l - kTrailerSize;
    length = l;
    return true;
}

namespace {

// A type code for messages: bytes outside printable ASCII are written as \xNN.
std::string PrintableType(ZTypeCode code) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : TypeCodeText(code)) {
        auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F) {
            out += c;
        } else {
            out += std::string("\\x") + kHex[b >> 4] + kHex[b & 15];
        }
    }
    return out;
}

std::string Describe(size_t index, const ZMediaEntry& e) {
    return "entry " + std::to_string(index) + " (id " + std::to_string(e.id) + " \"" + PrintableType(e.type) +
           "\")";
}

}  // namespace

void CheckDirectory(const std::vector<ZMediaEntry>& entries, int64_t containerLength,
                    std::vector<std::string>& problems) {
    int64_t dataStart = DirectoryEnd(int64_t(entries.size()));
    for (size_t i = 0; i < entries.size(); ++i) {
        const ZMediaEntry& e = entries[i];
        if (i > 0 && e.id < entries[i - 1].id) {
            problems.push_back(Describe(i, e) + ": id smaller than the one before (" +
                               std::to_string(entries[i - 1].id) + "): the directory is not sorted");
        }
        if (int64_t(e.offset) < dataStart || int64_t(e.offset) + e.size > containerLength) {
            problems.push_back(Describe(i, e) + ": bytes " + std::to_string(e.offset) + ".." +
                               std::to_string(int64_t(e.offset) + e.size) + " lie outside the item data " +
                               std::to_string(dataStart) + ".." + std::to_string(containerLength));
        }
    }
}

void CheckVariantTable(const ZMediaEntry& entry, const std::vector<uint8_t>& table, int64_t containerLength,
                       std::vector<std::string>& problems) {
    std::string what = "variant table id " + std::to_string(entry.id);
    if (table.size() < 4) {
        problems.push_back(what + ": shorter than its count");
        return;
    }
    int64_t n = ReadU32(table.data());
    if (n == 0) {
        problems.push_back(what + ": no entries");
        return;
    }
    if (int64_t(entry.size) != kEntrySize * n + 4 || int64_t(table.size()) != int64_t(entry.size)) {
        problems.push_back(what + ": size " + std::to_string(entry.size) + " does not match " +
                           std::to_string(n) + " entries");
        return;
    }
    for (int64_t i = 0; i < n; ++i) {
        ZMediaEntry sub = ParseEntry(table.data() + 4 + kEntrySize * i);
        if (sub.type == kTypeMsf) {
            problems.push_back(what + ": entry " + std::to_string(i) + " is itself a variant table");
        }
        if (int64_t(sub.offset) + sub.size > containerLength) {
            problems.push_back(what + ": entry " + std::to_string(i) + " lies outside the container");
        }
    }
}

}  // namespace msf
