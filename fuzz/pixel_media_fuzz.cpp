// Loads arbitrary bytes as a "RAX " alpha plane and as an "RCX " colour table from a container, and uses
// what loads the way the compositors will.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "graphics/ZAlphaChannel.h"
#include "graphics/ZColorTable.h"
#include "media/MsfFormat.h"
#include "media/ZMediaServer.h"
#include "platform/File.h"

namespace {

// One container holding the bytes twice: item 1 as "RAX ", item 2 as "RCX ".
std::vector<uint8_t> Wrap(const uint8_t* data, size_t size) {
    const int32_t count = 2;
    std::vector<uint8_t> out(size_t(msf::DirectoryEnd(count)), 0);
    msf::WriteU16(out.data(), msf::kVersion);
    msf::WriteU16(out.data() + 2, count);
    ZMediaEntry rax{1, kTypeRax, {}, uint32_t(out.size()), uint32_t(size)};
    ZMediaEntry rcx{2, kTypeRcx, {}, uint32_t(out.size() + size), uint32_t(size)};
    msf::WriteEntry(rax, out.data() + msf::kHeaderSize);
    msf::WriteEntry(rcx, out.data() + msf::kHeaderSize + msf::kEntrySize);
    out.insert(out.end(), data, data + size);
    out.insert(out.end(), data, data + size);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) {
        return 0;
    }
    std::vector<uint8_t> container = Wrap(data, size);
    platform::MemoryFile file(container.data(), container.size());
    ZFileSpec spec(file.GetPath().c_str());
    if (!file.IsValid() || !gMediaServer->OpenContainer(spec, false)) {
        return 0;
    }
    ZAlphaChannel* alpha = new ZAlphaChannel(uint16_t(1));
    int32_t sum = alpha->GetAlphaAt(0, 0) + alpha->GetAlphaAt(5000, 5000) + alpha->GetAlphaAt(-1, 3);
    ZAlphaChannel* copy = new ZAlphaChannel(*alpha, nullptr);
    alpha->CombineInto(*copy, nullptr, nullptr, sum & 63);
    copy->Release();
    alpha->Release();

    ZColorTable* table = ZColorTable::CreateFromMedia(2);
    if (table != nullptr) {
        const uint8_t grey[3] = {128, 128, 128};
        table->FindColor(grey, true);
        table->FindRunnerUp(grey);
        table->GetBlendTable();
        table->Release();
    }
    gMediaServer->CloseContainer();
    return 0;
}
