// Loads arbitrary bytes as a "RAX " alpha plane and as an "RCX " colour table from a container, and uses
// what loads the way the compositors will.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/FuzzContainer.h"
#include "graphics/ZAlphaChannel.h"
#include "graphics/ZColorTable.h"

namespace {

// The bytes twice: item 1 as "RAX ", item 2 as "RCX ".
std::vector<fuzzsupport::Item> Items(const uint8_t* data, size_t size) {
    std::string bytes = fuzzsupport::Bytes(data, size);
    return {{1, "RAX ", "", bytes}, {2, "RCX ", "", bytes}};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) {
        return 0;
    }
    fuzzsupport::OpenedContainer container(Items(data, size));
    if (!container.IsOpen()) {
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
    return 0;
}
