#include "tools/kestdemo/Exif.h"

#include <cstring>

#include "core/ZByteCursor.h"

namespace exif {

namespace {

constexpr uint16_t kTagDescription = 0x010E;
constexpr uint16_t kTagOrientation = 0x0112;
constexpr uint16_t kTypeAscii = 2;
constexpr uint16_t kTypeShort = 3;
// Longer descriptions are notes, not captions; reading them costs nothing but memory.
constexpr uint32_t kMostDescriptionBytes = 4096;

// Typed reads in the byte order the TIFF header declared.
struct Reader {
    ZByteCursor cursor;
    bool bigEndian;
    uint16_t U16() { return bigEndian ? cursor.U16BE() : cursor.U16LE(); }
    uint32_t U32() { return bigEndian ? cursor.U32BE() : cursor.U32LE(); }
};

// One IFD entry's fields; value is the position of its 4-byte value field in the TIFF data.
struct Entry {
    uint16_t tag, type;
    uint32_t count;
    size_t value;
};

void ReadDescription(const Reader& tiff, const Entry& e, Info& info) {
    if (e.type != kTypeAscii || e.count == 0 || e.count > kMostDescriptionBytes) {
        return;
    }
    Reader r = tiff;
    // Up to four bytes sit in the entry itself; longer strings are elsewhere, at an offset.
    r.cursor.Seek(e.value);
    if (e.count > 4) {
        r.cursor.Seek(r.U32());
    }
    std::string text(e.count, '\0');
    if (!r.cursor.Read(text.data(), text.size())) {
        return;
    }
    info.description = text.substr(0, text.find('\0'));
}

void ReadOrientation(const Reader& tiff, const Entry& e, Info& info) {
    if (e.type != kTypeShort || e.count == 0) {
        return;
    }
    Reader r = tiff;
    r.cursor.Seek(e.value);
    uint16_t value = r.U16();
    if (r.cursor.Ok() && value >= 1 && value <= 8) {
        info.orientation = value;
    }
}

}  // namespace

bool Parse(const uint8_t* data, size_t size, Info& info) {
    info = Info{};
    ZByteCursor segment(data, size);
    char magic[6];
    if (!segment.Read(magic, sizeof magic) || std::memcmp(magic, "Exif\0\0", sizeof magic) != 0) {
        return false;
    }
    // Offsets in the TIFF structure count from its byte-order mark.
    Reader tiff{segment.Sub(segment.Remaining()), false};
    uint16_t order = tiff.cursor.U16LE();
    if (order != 0x4949 && order != 0x4D4D) {  // "II" or "MM"
        return false;
    }
    tiff.bigEndian = order == 0x4D4D;
    if (tiff.U16() != 42) {
        return false;
    }
    tiff.cursor.Seek(tiff.U32());
    uint16_t count = tiff.U16();
    if (!tiff.cursor.Need(size_t(count) * 12)) {
        return false;
    }
    for (uint16_t i = 0; i < count; ++i) {
        Entry e{tiff.U16(), tiff.U16(), tiff.U32(), tiff.cursor.Position()};
        tiff.cursor.Skip(4);
        if (e.tag == kTagOrientation) {
            ReadOrientation(tiff, e, info);
        } else if (e.tag == kTagDescription) {
            ReadDescription(tiff, e, info);
        }
    }
    return tiff.cursor.Ok();
}

}  // namespace exif
