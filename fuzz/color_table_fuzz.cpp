// Reads arbitrary bytes as an "RCX " colour table through its reader, then uses the table.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "graphics/ZColorTable.h"
#include "imaging/ZColorTableReader.h"
#include "media/ZFile.h"
#include "platform/File.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 18)) {
        return 0;
    }
    platform::MemoryFile bytes(data, size);
    ZFileSpec spec(bytes.GetPath().c_str());
    ZFile file(spec);
    if (!bytes.IsValid() || !file.Open(ZFileObject::kModeRead)) {
        return 0;
    }
    std::unique_ptr<ZColorTableReader> reader(CreateColorTableReader(&file, kTypeRcx));
    auto* table = new ZColorTable();
    if (reader->Read(*table, kReadEntries | kReadInverseTable | kReadBlendTable) == 0) {
        table->Realize();
        const uint8_t grey[3] = {128, 128, 128};
        table->FindColor(grey, true);
        table->FindRunnerUp(grey);
    }
    table->Release();
    return 0;
}
