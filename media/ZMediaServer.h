// The media server: opens the one media container of the program, keeps its directory, and hands items
// out by id as ZFiles whose window is the item's byte range.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/ZString.h"
#include "media/MsfFormat.h"
#include "media/ZFile.h"
#include "media/ZFileSpec.h"

class ZMediaServer {
  public:
    ZMediaServer() = default;
    ZMediaServer(const ZMediaServer&) = delete;
    ZMediaServer& operator=(const ZMediaServer&) = delete;
    virtual ~ZMediaServer() { CloseContainer(); }

    // Opens the container in the named file (appended: at the end of a host file, located by the trailer).
    // The directory must be sorted and every entry must lie inside the container, else the file is
    // refused. True when a container is (already or now) open.
    bool OpenContainer(ZFileSpec& spec, bool appended);
    // Forgets the container; items handed out keep their own reference to the file and stay readable.
    void CloseContainer();
    bool IsOpen() const { return !directory_.empty(); }

    // The index of the entry with id, preferring one of the given type; -1 when the id is missing.
    int32_t FindEntry(uint16_t id, ZTypeCode type) const;
    // The entry with id (preferring type); variant tables are resolved unless "MSF " is asked for.
    bool GetEntry(uint16_t id, ZTypeCode type, ZMediaEntry& out);
    // Points file at the item's bytes. type holds the wanted type and receives the type found. A missing
    // item leaves file as it was.
    bool OpenItem(uint16_t id, ZFile& file, ZTypeCode& type, ZMediaEntry* out = nullptr);
    // Appends a "TEXT" item's text (up to its NUL) to text; true when at least one byte was read.
    bool ReadTextItem(uint16_t id, ZString& text);
    // Which entry of a variant table stands in for it: the first whose id is the variant number, else 0.
    virtual int32_t ChooseVariant(const ZMediaEntry* entries, int32_t count);

    const std::vector<ZMediaEntry>& GetDirectory() const { return directory_; }
    int32_t GetBase() const { return primary_.GetBase(); }
    int32_t GetLength() const { return length_; }
    // A variant table's bytes; false when they cannot be read whole.
    bool ReadTableBytes(const ZMediaEntry& entry, std::vector<uint8_t>& bytes);

  private:
    bool Fail();
    bool ReadDirectory();

    ZFile primary_;
    std::vector<ZMediaEntry> directory_;
    int32_t length_ = 0;
    uint16_t variantNumber_ = 0;
};

// The process's media server; media objects reach the container through it.
extern ZMediaServer* gMediaServer;
