#include "media/ZMediaServer.h"

#include <algorithm>

namespace {
ZMediaServer gTheMediaServer;
}  // namespace

ZMediaServer* gMediaServer = &gTheMediaServer;

bool ZMediaServer::Fail() {
    primary_.SetFileObject(nullptr);
    directory_.clear();
    length_ = 0;
    return false;
}

bool ZMediaServer::OpenContainer(ZFileSpec& spec, bool appended) {
    if (IsOpen()) {
        return true;
    }
    primary_.SetFileSpec(spec);
    if (!primary_.Open(ZFileObject::kModeRead)) {
        return Fail();
    }
    int64_t fileSize = primary_.GetSize();
    int64_t base = 0;
    int64_t length = fileSize;
    if (appended) {
        uint8_t trailer[msf::kTrailerSize];
        int32_t got = 0;
        if (fileSize >= msf::kTrailerSize) {
            primary_.Seek(int32_t(fileSize - msf::kTrailerSize), true);
            got = primary_.Read(trailer, msf::kTrailerSize);
        }
        if (!msf::LocateAppended(fileSize, trailer, got, base, length)) {
            return Fail();
        }
    }
    primary_.SetBase(int32_t(base));
    primary_.SetLength(int32_t(length));
    length_ = int32_t(length);
    return ReadDirectory() ? true : Fail();
}

bool ZMediaServer::ReadDirectory() {
    uint8_t header[msf::kHeaderSize];
    primary_.Seek(0, true);
    if (primary_.Read(header, msf::kHeaderSize) != msf::kHeaderSize) {
        return false;
    }
    int32_t count = int16_t(msf::ReadU16(header + 2));
    if (count <= 0 || msf::DirectoryEnd(count) > length_) {
        return false;
    }
    std::vector<uint8_t> bytes(size_t(count) * msf::kEntrySize);
    if (primary_.Read(bytes.data(), int32_t(bytes.size())) != int32_t(bytes.size())) {
        return false;
    }
    std::vector<ZMediaEntry> entries(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        entries[size_t(i)] = msf::ParseEntry(bytes.data() + size_t(i) * msf::kEntrySize);
    }
    std::vector<std::string> problems;
    msf::CheckDirectory(entries, length_, problems);
    if (!problems.empty()) {
        return false;
    }
    directory_ = std::move(entries);
    return true;
}

void ZMediaServer::CloseContainer() {
    // Dropping our reference (rather than closing a handle that items may share) leaves nothing behind
    // for the next OpenContainer to mistake for an open container.
    primary_.SetFileObject(nullptr);
    primary_.SetBase(0);
    primary_.SetLength(ZFile::kUnbounded);
    directory_.clear();
    length_ = 0;
}

int32_t ZMediaServer::FindEntry(uint16_t id, ZTypeCode type) const {
    if (directory_.empty()) {
        return -1;
    }
    auto first = std::lower_bound(directory_.begin(), directory_.end(), id,
                                  [](const ZMediaEntry& e, uint16_t wanted) { return e.id < wanted; });
    if (first == directory_.end() || first->id != id) {
        return -1;
    }
    for (auto it = first; it != directory_.end() && it->id == id; ++it) {
        if (it->type == type) {
            return int32_t(it - directory_.begin());
        }
    }
    return int32_t(first - directory_.begin());
}

bool ZMediaServer::ReadTableBytes(const ZMediaEntry& entry, std::vector<uint8_t>& bytes) {
    // A table never needs more entries than a directory can hold; a larger size is not read into memory.
    constexpr uint32_t kMaxTableBytes = 4 + msf::kEntrySize * 65536u;
    if (int64_t(entry.offset) + entry.size > length_ || entry.size > kMaxTableBytes) {
        return false;
    }
    ZFile table(primary_);  // its own position: lookups never move the server's
    table.Seek(int32_t(entry.offset), true);
    bytes.resize(entry.size);
    return entry.size == 0 || table.Read(bytes.data(), int32_t(entry.size)) == int32_t(entry.size);
}

bool ZMediaServer::GetEntry(uint16_t id, ZTypeCode type, ZMediaEntry& out) {
    int32_t index = FindEntry(id, type);
    if (index < 0) {
        return false;
    }
    const ZMediaEntry& entry = directory_[size_t(index)];
    if (entry.type != kTypeMsf || type == kTypeMsf) {
        out = entry;
        return true;
    }
    std::vector<uint8_t> table;
    std::vector<std::string> problems;
    if (!ReadTableBytes(entry, table)) {
        return false;
    }
    msf::CheckVariantTable(entry, table, length_, problems);
    if (!problems.empty()) {
        return false;
    }
    int32_t count = int32_t(msf::ReadU32(table.data()));
    std::vector<ZMediaEntry> subEntries(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        subEntries[size_t(i)] = msf::ParseEntry(table.data() + 4 + size_t(i) * msf::kEntrySize);
    }
    int32_t k = ChooseVariant(subEntries.data(), count);
    out = subEntries[size_t(k >= 0 && k < count ? k : 0)];
    return true;
}

int32_t ZMediaServer::ChooseVariant(const ZMediaEntry* entries, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        if (entries[i].id == variantNumber_) {
            return i;
        }
    }
    return 0;
}

bool ZMediaServer::OpenItem(uint16_t id, ZFile& file, ZTypeCode& type, ZMediaEntry* out) {
    ZMediaEntry entry;
    if (!GetEntry(id, type, entry) || int64_t(entry.offset) + entry.size > length_) {
        return false;
    }
    if (out != nullptr) {
        *out = entry;
    }
    type = entry.type;
    file.SetFileObject(primary_.GetFileObject());
    file.SetBase(primary_.GetBase() + int32_t(entry.offset));
    file.SetLength(int32_t(entry.size));
    file.Seek(0, true);  // positions are absolute: the item starts at the window's base
    return true;
}

bool ZMediaServer::ReadTextItem(uint16_t id, ZString& text) {
    ZFile file;
    ZTypeCode type = 0;
    if (!OpenItem(id, file, type)) {
        return false;
    }
    return file.ReadAppend(text, file.GetSize()) > 0;
}
