#include "imaging/ZColorTableReader.h"

#include <new>

#include "graphics/ZColorTable.h"
#include "media/ZFile.h"

int32_t ZColorTableReader::Read(ZColorTable& table, int32_t flags) {
    int32_t error = ReadTableHeader();
    return error != 0 ? error : ReadTable(table, flags);
}

int32_t ZRawColorTableReader::ReadTable(ZColorTable& table, int32_t) {
    return file_ != nullptr && table.ReadRcx(*file_) ? 0 : -1;
}

ZColorTableReader* CreateColorTableReader(ZFile* file, ZTypeCode type) {
    return type == kTypeRcx ? new (std::nothrow) ZRawColorTableReader(file) : nullptr;
}
