// Colour-table readers: the base reads a header, then the table. "RCX " is the only colour-table format;
// its parsing lives with ZColorTable, which the application also loads before any reader is installed.
#pragma once

#include <cstdint>

#include "media/ZTypeCode.h"

class ZColorTable;
class ZFile;

// What a colour-table read is asked for: the entries, the inverse table and the blend table.
enum : int32_t {
    kReadEntries = 0x04,
    kReadInverseTable = 0x08,
    kReadBlendTable = 0x20,
};

class ZColorTableReader {
  public:
    explicit ZColorTableReader(ZFile* file) : file_(file) {}
    virtual ~ZColorTableReader() = default;
    ZColorTableReader(const ZColorTableReader&) = delete;
    ZColorTableReader& operator=(const ZColorTableReader&) = delete;

    virtual int32_t ReadTableHeader() { return 0; }
    virtual int32_t ReadTable(ZColorTable& table, int32_t flags) = 0;
    // The header, then the table when the header is good.
    int32_t Read(ZColorTable& table, int32_t flags);

  protected:
    ZFile* file_ = nullptr;
};

class ZRawColorTableReader : public ZColorTableReader {
  public:
    using ZColorTableReader::ZColorTableReader;
    // Reads the entries and whichever lookup tables the data hold (every caller wants all of them); -1 for
    // malformed or short data, which leave the table empty.
    int32_t ReadTable(ZColorTable& table, int32_t flags) override;
};

// The reader for a colour-table type, or null.
ZColorTableReader* CreateColorTableReader(ZFile* file, ZTypeCode type);
